#!/usr/bin/env bash
# Start and stop by Enter and Space with the clicks recorded where the user hears them, the
# tempo stepped with keypad plus and minus, and what is written at close.
# Usage: test_keys_sound.sh <tiktakon> <wmclose> <clicks> <sound scripts dir>
source "$(dirname "$0")/lib.sh"
BINARY=$1
WMCLOSE=$2
CLICKS=$3
SOUND_SCRIPTS=$4

start_xvfb
start_pulse
APPDIR="$E2E_TMP/app"
install_copy "$BINARY" "$APPDIR"
printf '[metro]\ntempo=120\nrytmus=4\n' >"$APPDIR/tiktakon.ini"

start_app "$APPDIR"
record_start "$E2E_TMP/beat.wav"
focus_and_key Return          # the focus starts in the name edit: Enter is Start
sleep 3.25
focus_and_key Tab space        # the rhythm box has the focus now: Space is Stop
sleep 1.5
record_stop

"$CLICKS" "$E2E_TMP/beat.wav" >"$E2E_TMP/clicks.txt"
count=$(sed -n 's/^count //p' "$E2E_TMP/clicks.txt")
echo "clicks heard: $count"
# Ticks come every 500 ms from 500 ms after Start; about 6 before the stop, none after it.
[ "$count" -ge 5 ] && [ "$count" -le 7 ] || fail "expected about 6 clicks at 120 BPM, heard $count"
awk '/^click/ { if (prev != "") { gap = ($2 - prev) * 1000; if (gap < 497 || gap > 503) bad = bad " " gap }
                prev = $2; if ($3 < 430 || $3 > 450) pitch = pitch " " $3 }
     END { if (bad != "") { print "intervals off 500 ms:" bad; exit 1 }
           if (pitch != "") { print "not 440 Hz:" pitch; exit 1 } }' "$E2E_TMP/clicks.txt" ||
  fail "the clicks are not 440 Hz at 500 ms: $(cat "$E2E_TMP/clicks.txt")"

focus_and_key KP_Add KP_Add KP_Add KP_Subtract
close_app 5
[ "$(ini_value "$APPDIR/tiktakon.ini" tempo)" = 122 ] || fail "tempo at close: $(cat "$APPDIR/tiktakon.ini")"
[ "$(ini_value "$APPDIR/tiktakon.ini" rytmus)" = 4 ] || fail "rhythm at close"
echo "PASS"
