#!/usr/bin/env bash
# Starts or stops a private PulseAudio server with a 48 kHz null sink "ci" in directory DIR.
#   pulse-server.sh start DIR   prints nothing on success
#   pulse-server.sh stop DIR    stops the server started in DIR by its PID
# Clients need: PULSE_SERVER=unix:DIR/native XDG_RUNTIME_DIR=DIR/run PULSE_CONFIG=DIR/cfg/pulse/daemon.conf
set -euo pipefail
source "$(dirname "$0")/pidfile.sh"
cmd=${1:?start or stop}
dir=${2:?directory}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

export PULSE_CONFIG="$dir/cfg/pulse/daemon.conf"
export XDG_RUNTIME_DIR="$dir/run"
export XDG_CONFIG_HOME="$dir/cfg"
export PULSE_SERVER="unix:$dir/native"

stop_server() {
    stop_by_pid_file "$dir/pid"
    rm -f "$dir/native"
}

case "$cmd" in
start)
    # A server left over from an interrupted run would hold the socket: stop it first.
    stop_server
    mkdir -p "$dir/run" "$dir/cfg/pulse"
    chmod 700 "$dir/run"
    # Stock settings, as a user's server runs: the program's timing must hold without tuning.
    echo "default-sample-rate = 48000" >"$dir/cfg/pulse/daemon.conf"

    cat >"$dir/ci.pa" <<PA
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-null-sink sink_name=ci rate=48000 channels=2
set-default-sink ci
PA
    pulseaudio -n -F "$dir/ci.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no ${PULSE_EXTRA_ARGS:-} \
        --log-target="file:$dir/pulse.log" </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 1 100); do
        if pactl info >/dev/null 2>&1; then
            exit 0
        fi
        if ! kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    echo "PulseAudio did not start; see $dir/pulse.log" >&2
    stop_server
    exit 1
    ;;
stop)
    stop_server
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
