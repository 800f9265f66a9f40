#!/usr/bin/env bash
# Start and stop by Enter and Space with the clicks recorded where the user hears them, the
# tempo stepped with keypad plus and minus, and what is written at close.
# Usage: test_keys_sound.sh <tiktakon> <wmclose> <clicks> <sound scripts dir>
source "$(dirname "$0")/lib.sh"
start_sound_test pulse "$@"
printf '[metro]\ntempo=120\nrytmus=4\n' >"$APPDIR/tiktakon.ini"

start_app "$APPDIR"

# One run of the beat: Enter starts it (in the name edit, where the focus starts, and in the
# rhythm box on the second run), Space stops it from the rhythm box. Ticks come every 500 ms from
# 500 ms after Start: about 6 clicks of 440 Hz, each exactly 24000 samples after the one before,
# none after Stop.
beat_run() {
  local wav="$E2E_TMP/beat$1.wav" out="$E2E_TMP/clicks$1.txt"
  record_start "$wav"
  focus_and_key Return
  sleep 3.25
  if [ "$1" = 1 ]; then
    focus_and_key Tab space
  else
    focus_and_key space
  fi
  sleep 1.5
  record_stop
  "$CLICKS" --frames "$wav" >"$out"
  awk '/^click / && ($3 < 430 || $3 > 450) { print "not 440 Hz: " $0; bad = 1 } END { exit bad }' "$out" ||
    fail "run $1: a click of another pitch"
  check_spacing "$out" 24000 5 7 || fail "run $1: the clicks are not every 500 ms to the sample"
}

beat_run 1
beat_run 2

focus_and_key KP_Add KP_Add KP_Add KP_Subtract
close_app 5
[ "$(ini_value "$APPDIR/tiktakon.ini" tempo)" = 122 ] || fail "tempo at close: $(cat "$APPDIR/tiktakon.ini")"
[ "$(ini_value "$APPDIR/tiktakon.ini" rytmus)" = 4 ] || fail "rhythm at close"
echo "PASS"
