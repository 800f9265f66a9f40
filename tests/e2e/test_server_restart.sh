#!/usr/bin/env bash
# The sound server goes away under the running beat and comes back at once, as when a user's
# server is restarted: the program keeps running, the beat number moves on through it all, and
# the sound comes back by itself within 2 s of the server answering and playing again, every click from then
# on exactly 24000 samples after the one before. 120 BPM, PulseAudio at its stock settings.
# Usage: test_server_restart.sh <tiktakon> <wmclose> <clicks> <pixelwatch> <sound scripts dir>
source "$(dirname "$0")/lib.sh"
PIXELWATCH=$4

# now: the monotonic clock, in seconds.
now() {
  "$PIXELWATCH" --now | cut -d' ' -f1
}

start_sound_test pulse "$1" "$2" "$3" "$5"
printf '[metro]\ntempo=120\nrytmus=4\n[zvuk]\nmode=1\n' >"$APPDIR/tiktakon.ini"
start_app "$APPDIR"

OFFSET=$(mono_minus_real)
BEFORE="$E2E_TMP/before.wav"
record_start "$BEFORE"
watch_start "$E2E_TMP/number.txt"
focus_and_key Return
started=$(now)
sleep 5
# The recorder would die with the server: its recording ends here, whole.
record_stop
gone=$(now)
stop_sound_server
start_sound_server pulse # the same directory: the same socket and the same sink "ci"
back=$(now)
AFTER="$E2E_TMP/after.wav"
record_start "$AFTER"
printf 'server gone at %.3f s, answering again at %.3f s (%.3f s later)\n' \
  "$(awk -v a="$gone" -v s="$started" 'BEGIN { print a - s }')" \
  "$(awk -v a="$back" -v s="$started" 'BEGIN { print a - s }')" \
  "$(awk -v a="$back" -v g="$gone" 'BEGIN { print a - g }')"
sleep "$(awk -v b="$back" -v n="$(now)" 'BEGIN { d = b + 6.5 - n; print (d > 0 ? d : 0) }')"
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended when its sound server went away: $(cat "$E2E_TMP/app.log")"
before_stop=$(now)
focus_and_key Return
after_stop=$(now)
sleep 1
watch_stop
record_stop

# Before the server went: the beat as always.
"$CLICKS" --frames "$BEFORE" >"$E2E_TMP/before.txt"
check_spacing "$E2E_TMP/before.txt" 24000 9 11 || fail "the beat was not exact before the server went"

# After: the first click within 2 s of the server answering and playing again (a new null sink
# plays nothing for its first second or two, whoever asks), and every click exact from there
# to Stop (one click either way at Stop, whose moment is not exact).
"$CLICKS" --frames "$AFTER" >"$E2E_TMP/after.txt"
first=$(recording_first_sample "$AFTER") || fail "no report of the recorder's stream"
returned=$(awk -v first="$first" -v offset="$OFFSET" '/^click / { printf "%.6f\n", first + offset + $2 / 48000; exit }' \
  "$E2E_TMP/after.txt")
# The server's own part, for reading a failure: a null sink that was idle plays a new stream's
# first frame only after a while, and the recording starts with that frame.
awk -v f="$first" -v o="$OFFSET" -v b="$back" 'BEGIN { printf "the server played its first frame %.3f s after it answered\n", f + o - b }'
[ -n "$returned" ] || fail "no sound came back after the server did"
delay=$(awk -v r="$returned" -v b="$back" -v f="$first" -v o="$OFFSET" \
  'BEGIN { played = f + o; if (played < b) played = b; printf "%.3f", r - played }')
echo "first click $delay s after the server answered and played again"
awk -v d="$delay" 'BEGIN { exit !(d <= 2) }' || fail "the sound came back $delay s after the server played, not within 2 s"
least=$(awk -v r="$returned" -v b="$before_stop" 'BEGIN { print int((b - r) / 0.5) }')
most=$(awk -v r="$returned" -v a="$after_stop" 'BEGIN { print int((a - r) / 0.5) + 2 }')
check_spacing "$E2E_TMP/after.txt" 24000 "$least" "$most" ||
  fail "the beat was not exact after the sound came back"

# The lights never stopped: from the first beat to Stop the beat number changed at least every
# beat (500 ms, and the watch's 50 ms), through the server's absence and the silence after it.
awk -v from="$(awk -v s="$started" 'BEGIN { printf "%.6f", s + 0.6 }')" -v to="$before_stop" \
    -v gone="$gone" -v returned="$returned" '
  $1 > from && $1 < to {
    if (n++ > 0 && $1 - prev > gap) { gap = $1 - prev; at = prev }
    if ($1 > gone && $1 < returned) silent++
    prev = $1
  }
  END {
    printf "beat number: %d changes, %d without sound, longest gap %.3f s (from %.3f s after the server went)\n",
           n, silent, gap, at - gone
    exit (n < 20 || gap > 0.75)
  }' "$E2E_TMP/number.txt" || fail "the beat number stood still"

close_app 5
echo "PASS"
