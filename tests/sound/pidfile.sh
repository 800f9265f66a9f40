# Sourced by the server scripts beside it.
# stop_by_pid_file FILE: ends the process whose PID FILE holds (TERM, then KILL after 5 s) and
# removes FILE. Nothing else is touched: other servers of the same program may be running.
stop_by_pid_file() {
    if [ -f "$1" ]; then
        local pid
        pid=$(cat "$1")
        if running "$pid"; then
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 1 50); do
                running "$pid" || break
                sleep 0.1
            done
            running "$pid" && kill -9 "$pid" 2>/dev/null || true
        fi
        rm -f "$1"
    fi
}

# running PID: the process exists and has not ended. A server outlives the script that started
# it, so its parent is init, which may take seconds to reap it: an ended one waits as a zombie.
running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ $state != Z* ]]
}
