#!/usr/bin/env bash
# The timing coach in the real program: its CPU while the beat runs, first without the coach and
# then with it listening to the synthetic player (the end-to-end test's setup: a null sink
# "player" that the program plays into and whose monitor it listens to), and the detection error
# of that session against the player's truth. Prints measured figures; it is not a test.
# Usage: run-coach-bench.sh [build dir] [pulse|pipewire] [hits]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
build=$(realpath -m "${1:-$source_dir/build}")
server=${2:-pulse}
hits=${3:-30}
flock /tmp/tiktakon-build.lock cmake --build "$build" --target tiktakon wmclose clicks coach_player -j2 >/dev/null
source "$source_dir/tests/e2e/lib.sh"
start_sound_test "$server" "$build/app/tiktakon" "$build/tests/e2e/wmclose" "$build/tests/e2e/clicks" \
  "$source_dir/tests/sound"
pactl load-module module-null-sink sink_name=player rate=48000 channels=2 >/dev/null
pactl set-default-sink player
printf '[metro]\ntempo=120\nrytmus=4\n[zvuk]\nmode=1\n[presnost]\nvstup=player.monitor\n' >"$APPDIR/tiktakon.ini"
APP_ENV+=(TIKTAKON_COACH_TRACE=1)
start_app "$APPDIR"

# cpu_pct SECONDS: the program's CPU over that time, in % of one core.
cpu_pct() {
  local a b t0 t1
  a=$(awk '{ print $14 + $15 }' "/proc/$APP_PID/stat")
  t0=$(date +%s%N)
  sleep "$1"
  b=$(awk '{ print $14 + $15 }' "/proc/$APP_PID/stat")
  t1=$(date +%s%N)
  awk -v a="$a" -v b="$b" -v t0="$t0" -v t1="$t1" -v hz="$(getconf CLK_TCK)" \
    'BEGIN { printf "%.2f", (b - a) / hz * 100 / ((t1 - t0) / 1e9) }'
}

focus_and_key Return
sleep 1
without=$(cpu_pct 10)
focus_and_key Return
focus_and_key ctrl+t
sleep 1
xdotool key alt+k
sleep 3
focus_and_key Return
sleep 1.5
"$build/tests/e2e/coach_player" --hits "$hits" >"$E2E_TMP/truth.txt" 2>"$E2E_TMP/player.log" &
player=$!
sleep 2
with=$(cpu_pct 10)
wait "$player" || { echo "the synthetic player failed: $(cat "$E2E_TMP/player.log")"; exit 1; }
sleep 1
focus_and_key Return
sleep 0.5
close_app 5
echo "## The timing coach in the real program ($server, 120 BPM, $(nproc) cores)"
echo
echo "| CPU of the program, beat running | without the coach | listening |"
echo "|---|---|---|"
echo "| % of one core (10 s each) | $without | $with |"
echo
awk 'function abs(x) { return x < 0 ? -x : x }
     FNR == NR { if ($1 == "hit") { kind[++n] = $3; truth[n] = $4 }; next }
     $1 == "coach" && $2 == "hit" { got[++m] = $3 }
     END {
       for (i = 1; i <= n && i <= m; i++) { e = abs(got[i] - truth[i]); if (kind[i] == "drum") d[++nd] = e; else g[++ng] = e }
       printf "hits played %d, counted %d\n", n, m
       for (k = 0; k < 2; k++) {
         if (k == 0) { for (i = 1; i <= nd; i++) v[i] = d[i]; c = nd; name = "drum-like" }
         else { for (i = 1; i <= ng; i++) v[i] = g[i]; c = ng; name = "guitar-like" }
         for (i = 1; i <= c; i++) for (j = i + 1; j <= c; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
         if (c) printf "%s: %d hits, error p50 %.3f ms, worst %.3f ms\n", name, c, v[int((c + 1) / 2)], v[c]
       }
     }' "$E2E_TMP/truth.txt" "$E2E_TMP/app.log"
