#!/usr/bin/env bash
# The real program for a long run at 208 BPM with sound: started from a copy in a temporary
# directory under a private Xvfb and a private sound server at its stock settings (PulseAudio or
# PipeWire), the beat started with Enter,
# its resident memory and open descriptors sampled every 10 s, the null sink recorded twice over
# by two recorders of their own, then the window closed as a window manager would. An interval
# off in both recordings at the same click is the sink's; in one alone, that recorder lost or
# gained the time. Prints figures; it is not a test.
# Usage: run-long-run.sh <build dir> [minutes] [pulse|pipewire]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build dir}" && pwd)
minutes=${2:-10}
server=${3:-pulse}
binary="$build/app/tiktakon"
wmclose="$build/tests/e2e/wmclose"
analyser="$build/bench/long_run"
for f in "$binary" "$wmclose" "$analyser"; do
    [ -x "$f" ] || { echo "missing $f: build tiktakon, wmclose and long_run first" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tiktakon-longrun.XXXXXX)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    "$here/../tests/sound/$server-server.sh" stop "$work/$server" || true
    rm -rf "$work"
}
trap cleanup EXIT

"$here/../tests/sound/$server-server.sh" start "$work/$server"
if [ "$server" = pulse ]; then
    export PULSE_SERVER="unix:$work/pulse/native" XDG_RUNTIME_DIR="$work/pulse/run"
    export PULSE_CONFIG="$work/pulse/cfg/pulse/daemon.conf"
else
    export PULSE_SERVER="unix:$work/$server/run/pulse/native" XDG_RUNTIME_DIR="$work/$server/run"
fi
export PULSE_COOKIE="$work/cookie" TIKTAKON_STATS=1

mkfifo "$work/displayfd"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/displayfd" 2>"$work/xvfb.log" &
pids+=($!)
read -r -t 10 number <"$work/displayfd" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"

mkdir -p "$work/app"
cp "$binary" "$work/app/tiktakon"
printf '[metro]\ntempo=208\n[zvuk]\nmode=1\n' >"$work/app/tiktakon.ini"

recorders=()
for n in 1 2; do
    parecord --latency-msec=10 --device=ci.monitor --rate=48000 --channels=1 --format=float32le \
        --file-format=wav "$work/rec$n.wav" &
    recorders+=($!)
    pids+=($!)
done
sleep 0.5

(cd "$work/app" && exec ./tiktakon) >"$work/app.log" 2>&1 &
app=$!
pids+=("$app")
window=""
for _ in $(seq 1 100); do
    window=$(xdotool search --pid "$app" --name '^Tiktakon' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "no window appeared: $(cat "$work/app.log")" >&2; exit 1; }
sleep 1
# A real key press (XTEST) to the focused window: Qt ignores keys sent to a window by XSendEvent.
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key Return

echo "tiktakon pid $app on $server, 208 BPM, sound mode 1 (PC tone), $minutes min; every 10 s:"
echo "   s   VmRSS kB   fds"
rss_all=()
fd_all=()
samples=$((minutes * 6))
for i in $(seq 0 "$samples"); do
    [ "$i" -gt 0 ] && sleep 10
    kill -0 "$app" 2>/dev/null || { echo "the program ended during the run: $(cat "$work/app.log")" >&2; exit 1; }
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$app/status")
    fds=$(ls "/proc/$app/fd" | wc -l)
    rss_all+=("$rss")
    fd_all+=("$fds")
    printf '%4d %10s %5s\n' $((i * 10)) "$rss" "$fds"
done

kill -INT "${recorders[@]}"
wait "${recorders[@]}" 2>/dev/null || true
started=$(date +%s.%N)
"$wmclose" "$window"
for _ in $(seq 1 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
    echo "the program did not end within 10 s of the close request" >&2
    exit 1
fi
status=0
wait "$app" || status=$?
ended=$(date +%s.%N)

minmax() { printf '%s\n' "$@" | sort -n | sed -n '1p;$p' | paste -sd' '; }
read -r rmin rmax <<<"$(minmax "${rss_all[@]}")"
read -r fmin fmax <<<"$(minmax "${fd_all[@]}")"
echo "VmRSS kB: first ${rss_all[0]}, at 60 s ${rss_all[6]:-?}, last ${rss_all[-1]}, min $rmin, max $rmax"
echo "open fds: first ${fd_all[0]}, last ${fd_all[-1]}, min $fmin, max $fmax"
printf 'closed with status %d in %.2f s; settings written: %s\n' "$status" "$(echo "$ended - $started" | bc)" \
    "$(grep -c . "$work/app/tiktakon.ini") lines"
grep '^stats:' "$work/app.log" || echo "no stats line from the program"
for n in 1 2; do
    echo "recorder $n:"
    "$analyser" "$work/rec$n.wav" 288
done
