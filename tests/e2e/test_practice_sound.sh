#!/usr/bin/env bash
# The practice page as heard from the real program on PulseAudio at its stock settings:
# a count-in bar before bar 1 (its first click at the accent's 500 Hz, the others and the
# unaccented bar at 440 Hz), and silent bars by pattern (one bar heard, one silent), every
# click still on the beat's frames.
# Usage: test_practice_sound.sh <tiktakon> <wmclose> <clicks> <sound scripts dir>
source "$(dirname "$0")/lib.sh"
start_sound_test pulse "$@"

# run_beat INI SECONDS: the program with these settings, started with Enter, stopped after
# SECONDS; the clicks recorded in $E2E_TMP/clicks.txt ("click <frame> <Hz> <ms>").
run_beat() {
  printf '%b' "$1" >"$APPDIR/tiktakon.ini"
  start_app "$APPDIR"
  record_start "$E2E_TMP/beat.wav"
  focus_and_key Return
  sleep "$2"
  focus_and_key Return
  sleep 1
  record_stop
  close_app 5
  "$CLICKS" --frames "$E2E_TMP/beat.wav" >"$E2E_TMP/clicks.txt"
}

# Count-in: one bar of 3 at 120 BPM, the accents off. The first 3 clicks are the count-in, then
# bar 1 with no accent: 500 440 440 | 440 440 440 | ...; every interval 24000 samples.
run_beat '[metro]\ntempo=120\nrytmus=3\n[zvuk]\nmode=1\n[cviceni]\npredtakt=1\n' 3.4
awk '/^click / { n++; want = (n == 1 ? 500 : 440)
       if ($3 < want - 10 || $3 > want + 10) { printf "click %d at %.1f Hz, expected %d\n", n, $3, want; bad = 1 } }
     END { if (n < 6) { printf "only %d clicks\n", n; bad = 1 }; exit bad }' "$E2E_TMP/clicks.txt" ||
  fail "the count-in did not sound as one accented and two normal clicks before bar 1"
check_spacing "$E2E_TMP/clicks.txt" 24000 6 8 || fail "the count-in is not on the beat's frames"

# Silent bars: 2 beats a bar, 1 bar heard and 1 silent: clicks 24000 and 72000 samples apart by
# turns (two silent beats between), never a click in a silent bar, never off the grid.
run_beat '[metro]\ntempo=120\nrytmus=2\n[zvuk]\nmode=1\n[cviceni]\nvynechat=1\nhrat=1\nticho=1\n' 6.2
awk 'function abs(x) { return x < 0 ? -x : x }
     /^click / { if (n++ > 0) { d = $2 - prev; want = (n % 2 == 0 ? 24000 : 72000)
       if (abs(d - want) > 1.001) { printf "interval %d: %.3f samples, expected %d\n", n - 1, d, want; bad = 1 } }
       prev = $2 }
     END { if (n < 5) { printf "only %d clicks\n", n; bad = 1 }; printf "clicks: %d\n", n; exit bad }' "$E2E_TMP/clicks.txt" ||
  fail "the silent bars are not silent, or the heard ones are off the grid"
echo "PASS"
