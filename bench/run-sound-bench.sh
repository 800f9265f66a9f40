#!/usr/bin/env bash
# Builds and runs the sound timing benchmark against a private PulseAudio server with a null sink,
# then stops the server. Usage: bench/run-sound-bench.sh [build dir] [beats per tempo] [loads 1..3]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
beats=${2:-31}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target sound_bench -j2 >/dev/null
dir="$build/bench/servers/pulse"
"$root/tests/sound/pulse-server.sh" start "$dir"
trap '"$root/tests/sound/pulse-server.sh" stop "$dir"' EXIT
export PULSE_SERVER="unix:$dir/native" XDG_RUNTIME_DIR="$dir/run" PULSE_CONFIG="$dir/cfg/pulse/daemon.conf"
export SDL_AUDIODRIVER=pulseaudio
"$build/bench/sound_bench" "$beats" "${3:-3}"
