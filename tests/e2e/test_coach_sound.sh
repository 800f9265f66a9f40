#!/usr/bin/env bash
# The timing coach in the real program against a synthetic player, on a sound server at its
# stock settings: the program's clicks play into a null sink "player", whose monitor is the
# coach's chosen input; after a calibration the player plays a take into the same sink (hits at
# offsets from −40 to +40 ms, drum- and guitar-like attacks, noise, hits on the clicks) and takes
# the truth from its own recording of the sink's monitor. Every hit must be found, no click
# counted, each drum-like hit within 2 ms of the truth (the worst, not a percentile), each
# guitar-like one within 5 ms.
# Usage: test_coach_sound.sh <pulse|pipewire> <tiktakon> <wmclose> <clicks> <sound scripts dir> <coach_player>
source "$(dirname "$0")/lib.sh"
SERVER=$1
PLAYER=$6
start_sound_test "$SERVER" "$2" "$3" "$4" "$5"

pactl load-module module-null-sink sink_name=player rate=48000 channels=2 >/dev/null ||
  fail "could not make the player sink"
pactl set-default-sink player || fail "could not make the player sink the default"
printf '[metro]\ntempo=120\nrytmus=4\n[zvuk]\nmode=1\n[presnost]\nvstup=player.monitor\n' >"$APPDIR/tiktakon.ini"
APP_ENV+=(TIKTAKON_COACH_TRACE=1)
start_app "$APPDIR"

# Ctrl+T opens the coach; Alt+K calibrates (and starts listening) with the beat stopped.
focus_and_key ctrl+t
# The coach window takes the focus as it opens.
COACH=""
for i in $(seq 1 50); do
  w=$(xdotool getwindowfocus 2>/dev/null || true)
  if [ -n "$w" ] && [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "Přesnost hry" ]; then
    COACH=$w
    break
  fi
  sleep 0.1
done
[ -n "$COACH" ] || fail "Ctrl+T opened no coach window"
sleep 0.5 # the window shown and its inputs listed
xdotool key alt+k
for i in $(seq 1 50); do
  grep -q '^coach calibration' "$E2E_TMP/app.log" && break
  sleep 0.1
done
grep -q '^coach calibration -\?[0-9]' "$E2E_TMP/app.log" ||
  fail "the calibration heard no clicks: $(cat "$E2E_TMP/app.log")"

# The beat runs; the player follows it and plays its take.
focus_and_key Return
sleep 1.5
"$PLAYER" --hits 20 >"$E2E_TMP/truth.txt" 2>"$E2E_TMP/player.log" ||
  fail "the synthetic player failed: $(cat "$E2E_TMP/player.log")"
sleep 1
focus_and_key Return
sleep 0.5
close_app 5

grep '^coach ' "$E2E_TMP/app.log"
grep -E '^(hit|clicks) ' "$E2E_TMP/truth.txt"
# Hits in order: each found once, none besides (a click counted would be one more).
awk 'function abs(x) { return x < 0 ? -x : x }
     FNR == NR { if ($1 == "hit") { kind[++n] = $3; truth[n] = $4 }; next }
     $1 == "coach" && $2 == "hit" { got[++m] = $3 }
     END {
       if (m != n) { printf "%d hits counted for %d played\n", m, n; bad = 1 }
       for (i = 1; i <= n && i <= m; i++) {
         e = abs(got[i] - truth[i]); limit = kind[i] == "drum" ? 2 : 5
         if (kind[i] == "drum" && e > worstDrum) worstDrum = e
         if (kind[i] != "drum" && e > worstGuitar) worstGuitar = e
         if (e > limit) { printf "hit %d (%s): measured %.3f ms, truth %.3f ms\n", i, kind[i], got[i], truth[i]; bad = 1 }
       }
       printf "worst error: drum %.3f ms, guitar %.3f ms over %d hits\n", worstDrum, worstGuitar, n
       exit bad
     }' "$E2E_TMP/truth.txt" "$E2E_TMP/app.log" || fail "the coach's hits are not the player's"
grep -q '^coach session 20 ' "$E2E_TMP/app.log" || fail "the session's report does not count the 20 hits"

# The session is in the practice history beside the settings, after the program ended: one row,
# played without a profile, its 20 hits and the mean the coach reported.
mean=$(sed -n 's/^coach session 20 \([-0-9.]*\) .*/\1/p' "$E2E_TMP/app.log")
python3 - "$APPDIR/historie.sqlite" "$mean" <<'PY' || fail "the practice history does not hold the session"
import sqlite3, sys
db = sqlite3.connect(f"file:{sys.argv[1]}?mode=ro", uri=True)
rows = list(db.execute("select hit_count, mean_offset_ms, ifnull(length(profile_id), 0) from sessions"))
print("history:", rows)
sys.exit(0 if len(rows) == 1 and rows[0][0] == 20 and abs(rows[0][1] - float(sys.argv[2])) < 0.001 and rows[0][2] == 0 else 1)
PY
echo "PASS"
