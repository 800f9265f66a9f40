#!/usr/bin/env bash
# The practice page as heard from the real program on PulseAudio at its stock settings:
# a count-in bar before bar 1 (its first click at the accent's 500 Hz, the others and the
# unaccented bar at 440 Hz), silent bars by pattern (one bar heard, one silent), subdivisions
# at exact fractions of the beat and at their level, the trainer's steps read from the click
# spacing, every click on the beat's frames; and tap tempo from key presses.
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

# Subdivisions in 3 at 120 BPM, at the beat's own level (the same tone edge, so onsets compare
# to the sample): beat 440 Hz, then two of 880 Hz, every onset 8000 samples after the one before.
run_beat '[metro]\ntempo=120\nrytmus=2\n[zvuk]\nmode=1\n[cviceni]\ndeleni=3\ndeleni_uroven=100\n' 2.3
awk '/^click / { n++; want = (n % 3 == 1 ? 440 : 880)
       if ($3 < want - 10 || $3 > want + 10) { printf "click %d at %.1f Hz, expected %d\n", n, $3, want; bad = 1 } }
     END { exit bad }' "$E2E_TMP/clicks.txt" || fail "the subdivisions are not an octave above the beat"
check_spacing "$E2E_TMP/clicks.txt" 8000 9 13 || fail "the subdivisions are not at thirds of the beat's frames"

# Subdivisions in 4 at 208 BPM (832 clicks a minute) at level 50 %: three of 880 Hz after each
# beat, each at (50/100)² of the beat's level, within 1 dB.
run_beat '[metro]\ntempo=208\nrytmus=4\n[zvuk]\nmode=1\n[cviceni]\ndeleni=4\ndeleni_uroven=50\n' 2.2
awk '/^click / { n++; want = (n % 4 == 1 ? 440 : 880)
       if ($3 < want - 10 || $3 > want + 10) { printf "click %d at %.1f Hz, expected %d\n", n, $3, want; bad = 1 }
       if (n % 4 == 1) beat = $5
       else if ($5 < beat * 0.2239 || $5 > beat * 0.2818) { printf "click %d: peak %.4f against the beat'"'"'s %.4f\n", n, $5, beat; bad = 1 } }
     END { if (n < 20) { printf "only %d clicks\n", n; bad = 1 }; exit bad }' "$E2E_TMP/clicks.txt" ||
  fail "the subdivisions in 4 are not three softer clicks an octave up"

# The trainer from 120 BPM, 20 up after every bar of 2, to 160: the intervals of bar 1 are
# 500 ms, of bar 2 428 ms (140 BPM), then 375 ms; Stop puts the tempo back to 120.
run_beat '[metro]\ntempo=120\nrytmus=2\n[zvuk]\nmode=1\n[cviceni]\nzrychlovani=1\nkrok=20\nkazdych=1\ncil=160\n' 3.3
awk 'function abs(x) { return x < 0 ? -x : x }
     BEGIN { split("24000 24000 20544 20544 18000 18000 18000 18000", want, " ") }
     /^click / { if (n++ > 0) { d = $2 - prev
       if (abs(d - want[n - 1]) > 1.001) { printf "interval %d: %.3f samples, expected %d\n", n - 1, d, want[n - 1]; bad = 1 } }
       prev = $2 }
     END { if (n < 6) { printf "only %d clicks\n", n; bad = 1 }; printf "clicks: %d\n", n; exit bad }' "$E2E_TMP/clicks.txt" ||
  fail "the trainer's steps are not in the click spacing"
[ "$(ini_value "$APPDIR/tiktakon.ini" tempo)" = 120 ] || fail "the tempo after the trainer: $(ini_value "$APPDIR/tiktakon.ini" tempo)"

# Tap tempo: T pressed in the rhythm box every 500 ms, then every 750 ms (a new series after a
# pause); the tempo taken through the controls, within 1 BPM for the keyboard's own timing.
for pair in 500:120 750:80; do
  printf '[metro]\ntempo=100\nrytmus=4\n' >"$APPDIR/tiktakon.ini"
  start_app "$APPDIR"
  focus_and_key Tab
  xdotool key --delay "${pair%%:*}" t t t t t
  sleep 0.5
  close_app 5
  tempo=$(ini_value "$APPDIR/tiktakon.ini" tempo)
  want=${pair##*:}
  [ "$tempo" -ge $((want - 1)) ] && [ "$tempo" -le $((want + 1)) ] ||
    fail "taps every ${pair%%:*} ms gave tempo $tempo, expected $want"
done
echo "PASS"
