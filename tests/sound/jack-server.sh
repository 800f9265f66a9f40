#!/usr/bin/env bash
# Starts or stops a private JACK server NAME with the dummy driver (48 kHz, 256 frames).
#   jack-server.sh start NAME DIR   the PID is kept in DIR
#   jack-server.sh stop NAME DIR    stops it by that PID and removes its files in /dev/shm
# Clients need: JACK_DEFAULT_SERVER=NAME
set -euo pipefail
source "$(dirname "$0")/pidfile.sh"
cmd=${1:?start or stop}
name=${2:?server name}
dir=${3:?directory}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
export JACK_DEFAULT_SERVER="$name"
export JACK_NO_AUDIO_RESERVATION=1

stop_server() {
    stop_by_pid_file "$dir/jack.pid"
    # jackd leaves shared-memory files behind. This server's own are removed; the files shared by
    # every server of this user only when no other jackd is running.
    rm -f "/dev/shm/jack_sem."*"_${name}_"* "/dev/shm/jack_${name}_"* 2>/dev/null || true
    if ! pgrep -x jackd >/dev/null 2>&1; then
        rm -rf /dev/shm/jack-shm-registry "/dev/shm/jack-$(id -u)-"* "/dev/shm/jack_db-$(id -u)" 2>/dev/null || true
    fi
}

case "$cmd" in
start)
    stop_server
    jackd --no-realtime -n "$name" -d dummy -r 48000 -p 256 </dev/null >"$dir/jack.log" 2>&1 &
    echo $! >"$dir/jack.pid"
    if jack_wait -w -t 5 >/dev/null 2>&1; then
        exit 0
    fi
    echo "jackd did not start; see $dir/jack.log" >&2
    stop_server
    exit 1
    ;;
stop)
    stop_server
    ;;
*)
    echo "usage: $0 start|stop NAME DIR" >&2
    exit 2
    ;;
esac
