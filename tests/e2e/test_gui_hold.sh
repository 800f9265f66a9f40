#!/usr/bin/env bash
# A blocked window delays no click: with the beat running at 120 BPM on a PulseAudio server at
# its stock settings, the program's main thread alone is held still for 2 s from outside. Every
# click must still come exactly 24000 samples after the one before, across the hold too; the beat
# number must stand still while the window's thread is held and move on after.
# Usage: test_gui_hold.sh <tiktakon> <wmclose> <clicks> <holdthread> <pixelwatch> <sound scripts dir>
source "$(dirname "$0")/lib.sh"
HOLDTHREAD=$4
PIXELWATCH=$5
start_sound_test pulse "$1" "$2" "$3" "$6"
printf '[metro]\ntempo=120\nrytmus=4\n[zvuk]\nmode=1\n' >"$APPDIR/tiktakon.ini"
start_app "$APPDIR"

WAV="$E2E_TMP/beat.wav"
record_start "$WAV"
OFFSET=$(mono_minus_real)
watch_start "$E2E_TMP/number.txt"
before_start=$EPOCHREALTIME
focus_and_key Return
after_start=$EPOCHREALTIME
sleep 5
# The main thread is the one whose id is the process's id.
"$HOLDTHREAD" "$APP_PID" "$APP_PID" 2000 >"$E2E_TMP/hold.txt" ||
  fail "the main thread was not held: $(cat "$E2E_TMP/hold.txt")"
read -r _ _ _ HELD_FROM _ HELD_TO <"$E2E_TMP/hold.txt"
echo "main thread held from $HELD_FROM to $HELD_TO (monotonic s)"
sleep 3
before_stop=$EPOCHREALTIME
focus_and_key Return
after_stop=$EPOCHREALTIME
sleep 1
watch_stop
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended: $(cat "$E2E_TMP/app.log")"
record_stop

# Every click from Start to Stop, none lost to the hold: the beats that fall between the keys,
# one either way at the edges, where the keys' moments are not exact.
"$CLICKS" --frames "$WAV" >"$E2E_TMP/clicks.txt"
least=$(awk -v a="$after_start" -v b="$before_stop" 'BEGIN { print int((b - a) / 0.5) - 1 }')
most=$(awk -v a="$before_start" -v b="$after_stop" 'BEGIN { print int((b - a) / 0.5) + 2 }')
check_spacing "$E2E_TMP/clicks.txt" 24000 "$least" "$most" ||
  fail "a held window thread bent the beat"

# The clicks of the hold came while it lasted: the program's other threads ran on.
first=$(recording_first_sample "$WAV") || fail "no report of the recorder's stream"
awk -v first="$first" -v offset="$OFFSET" -v from="$HELD_FROM" -v to="$HELD_TO" '
  /^click / { t = first + offset + $2 / 48000; if (t > from && t < to) n++ }
  END { printf "clicks during the hold: %d\n", n; exit (n < 3) }' "$E2E_TMP/clicks.txt" ||
  fail "fewer than 3 clicks sounded during the 2 s hold"

# The beat number moved with every beat before the hold (the watch sees the window), stood still
# while the window's thread was held (the hold took), and moved again within a beat after it.
awk -v begin="$(awk -v a="$after_start" -v o="$OFFSET" 'BEGIN { printf "%.6f", a + o + 0.6 }')" \
    -v from="$HELD_FROM" -v to="$HELD_TO" '
  $1 > begin && $1 < from { if (n++ > 0 && $1 - prev > gap) gap = $1 - prev; prev = $1 }
  $1 > from + 0.1 && $1 < to { printf "the beat number changed at %.3f, %.3f s into the hold\n", $1, $1 - from; still = 1 }
  $1 >= to && !after { after = $1 }
  END {
    printf "beat number: %d changes before the hold (longest gap %.3f s), first change %.3f s after it\n",
           n, gap, after ? after - to : -1
    exit (n < 7 || gap > 0.75 || still || !after || after - to > 1)
  }' "$E2E_TMP/number.txt" || fail "the beat number did not show the beats before, during and after the hold as expected"

close_app 5
echo "PASS"
