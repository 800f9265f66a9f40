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

# One run of the beat: Enter starts it (in the name edit, where the focus starts, and in the
# rhythm box on later runs), Space stops it from the rhythm box. Ticks come every 500 ms from
# 500 ms after Start: about 6 clicks of 440 Hz, none after Stop.
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
  "$CLICKS" "$wav" >"$out"
  local count
  count=$(sed -n 's/^count //p' "$out")
  echo "run $1: $count clicks"
  [ "$count" -ge 5 ] && [ "$count" -le 7 ] || return 1
  # The tempo from the median spacing, so that one click moved by a dropout of the sound
  # server does not decide; the spacing's precision is the timing benchmark's business.
  awk '/^click/ { if (prev != "") gaps[n++] = ($2 - prev) * 1000; prev = $2; if ($3 < 430 || $3 > 450) bad = 1 }
       END { if (n < 4 || bad) exit 1
             for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) if (gaps[j] < gaps[i]) { t = gaps[i]; gaps[i] = gaps[j]; gaps[j] = t }
             median = gaps[int(n / 2)]; exit (median < 498 || median > 502) }' "$out"
}

# A loaded machine can starve the sound server itself (a dropout in the recording, not in the
# program): a run is tried again up to three times; a fault of the program fails them all.
ok=0
for run in 1 2 3; do
  if beat_run "$run"; then ok=1; break; fi
  cat "$E2E_TMP/clicks$run.txt"
done
[ "$ok" = 1 ] || fail "no run gave clean clicks of 440 Hz every 500 ms"

focus_and_key KP_Add KP_Add KP_Add KP_Subtract
close_app 5
[ "$(ini_value "$APPDIR/tiktakon.ini" tempo)" = 122 ] || fail "tempo at close: $(cat "$APPDIR/tiktakon.ini")"
[ "$(ini_value "$APPDIR/tiktakon.ini" rytmus)" = 4 ] || fail "rhythm at close"
echo "PASS"
