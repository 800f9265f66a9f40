#!/usr/bin/env bash
# Starts or stops a private PipeWire server (pipewire, wireplumber, pipewire-pulse on a private
# session bus) with a 48 kHz stereo null sink "ci" as the default sink, in directory DIR.
#   pipewire-server.sh start DIR   prints nothing on success
#   pipewire-server.sh stop DIR    stops every process started in DIR by its PID
# Clients need: PULSE_SERVER=unix:DIR/run/pulse/native XDG_RUNTIME_DIR=DIR/run
# The servers run at their stock settings: nothing here tunes them.
set -euo pipefail
source "$(dirname "$0")/pidfile.sh"
cmd=${1:?start or stop}
dir=${2:?directory}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# Everything the servers read or write lives in DIR: sockets, wireplumber's remembered defaults,
# the user's configuration overrides. Nothing reaches or comes from a desktop session on the host.
unset PIPEWIRE_REMOTE PIPEWIRE_CONFIG_DIR PIPEWIRE_CONFIG_NAME PULSE_CONFIG PULSE_COOKIE PULSE_SINK PULSE_SOURCE \
    WIREPLUMBER_CONFIG_DIR DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$dir/run"
export PIPEWIRE_RUNTIME_DIR="$dir/run"
export PULSE_RUNTIME_PATH="$dir/run/pulse"
export XDG_CONFIG_HOME="$dir/cfg"
export XDG_STATE_HOME="$dir/state"
export XDG_DATA_HOME="$dir/data"
export XDG_CACHE_HOME="$dir/cache"
export HOME="$dir/home"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/run/bus"
export PULSE_SERVER="unix:$dir/run/pulse/native"

stop_server() {
    # Clients first, the bus last: each goes while what it talks to is still there.
    stop_by_pid_file "$dir/pipewire-pulse.pid"
    stop_by_pid_file "$dir/wireplumber.pid"
    stop_by_pid_file "$dir/pipewire.pid"
    stop_by_pid_file "$dir/dbus.pid"
    rm -rf "$dir/run"
}

# run NAME COMMAND...: starts COMMAND in the background, its PID in DIR/NAME.pid, its output in
# DIR/NAME.log.
run() {
    local name=$1
    shift
    "$@" </dev/null >"$dir/$name.log" 2>&1 &
    echo $! >"$dir/$name.pid"
}

alive() {
    kill -0 "$(cat "$dir/$1.pid")" 2>/dev/null
}

# wait_for WHAT COMMAND...: up to 10 s for COMMAND to succeed while every process still runs.
wait_for() {
    local what=$1 name
    shift
    for _ in $(seq 1 100); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        for name in dbus pipewire wireplumber pipewire-pulse; do
            if [ -f "$dir/$name.pid" ] && ! alive "$name"; then
                echo "$name ended while waiting for $what; see $dir/$name.log" >&2
                return 1
            fi
        done
        sleep 0.1
    done
    echo "PipeWire: no $what within 10 s; see the logs in $dir" >&2
    return 1
}

# Right after the PulseAudio server answers, loading a module may still be refused ("Not
# supported") while the session manager sets up: asked again until the sink is there.
null_sink_ci() {
    if ! pactl list short sinks 2>/dev/null | awk '{ print $2 }' | grep -qx ci; then
        pactl load-module module-null-sink sink_name=ci rate=48000 channels=2 >/dev/null 2>&1 || true
    fi
    pactl list short sinks 2>/dev/null | awk '{ print $2 }' | grep -qx ci
}

default_sink_ci() {
    pactl set-default-sink ci >/dev/null 2>&1 && default_sink_is_ci
}

default_sink_is_ci() {
    pactl info 2>/dev/null | grep -qx 'Default Sink: ci'
}

case "$cmd" in
start)
    # Processes left over from an interrupted run would hold the sockets: stop them first.
    stop_server
    mkdir -p "$dir/run" "$dir/cfg" "$dir/state" "$dir/data" "$dir/cache" "$dir/home"
    chmod 700 "$dir/run"
    run dbus dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile
    if wait_for "session bus" test -S "$dir/run/bus" &&
        { run pipewire pipewire; wait_for "pipewire socket" test -S "$dir/run/pipewire-0"; } &&
        { run wireplumber wireplumber; run pipewire-pulse pipewire-pulse; wait_for "pulse server" pactl info; } &&
        wait_for "null sink ci" null_sink_ci &&
        # The session manager makes the choice the default: until then a new stream may go nowhere.
        wait_for "default sink ci" default_sink_ci; then
        exit 0
    fi
    echo "PipeWire did not start" >&2
    # The logs go with the test's folder: their ends are shown here.
    for name in dbus pipewire wireplumber pipewire-pulse; do
        [ -s "$dir/$name.log" ] && { echo "--- $name.log" >&2; tail -n 15 "$dir/$name.log" >&2; }
    done
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
