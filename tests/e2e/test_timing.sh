#!/usr/bin/env bash
# The beat as the user hears it: 30 s at 120 BPM from the real window, recorded from a sound
# server at its stock settings, every click exactly 24000 samples (500 ms) after the one before.
# Usage: test_timing.sh pulse|pipewire <tiktakon> <wmclose> <clicks> <sound scripts dir>
source "$(dirname "$0")/lib.sh"
SERVER=$1
start_sound_test "$@"

# Sound mode 1 is the PC generator's square tone.
printf '[metro]\ntempo=120\nrytmus=4\n[zvuk]\nmode=1\n' >"$APPDIR/tiktakon.ini"
start_app "$APPDIR"

WAV="$E2E_TMP/beat.wav"
record_start "$WAV"
# Enter starts the beat and Enter stops it. 30.25 s between them hold 60 beats (61 when the first
# sounds at Start): one beat either way at the edges, where the keys' moments are not exact.
focus_and_key Return
sleep 30.25
focus_and_key Return
sleep 1
record_stop

"$CLICKS" --frames "$WAV" >"$E2E_TMP/clicks.txt"
check_spacing "$E2E_TMP/clicks.txt" 24000 59 61 ||
  fail "the beat on $SERVER is not exact to the sample"
echo "PASS"
