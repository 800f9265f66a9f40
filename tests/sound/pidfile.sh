# Sourced by the server scripts beside it.
# stop_by_pid_file FILE: ends the process whose PID FILE holds (TERM, then KILL after 5 s) and
# removes FILE. Nothing else is touched: other servers of the same program may be running.
stop_by_pid_file() {
    if [ -f "$1" ]; then
        local pid
        pid=$(cat "$1")
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 1 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
            kill -9 "$pid" 2>/dev/null || true
        fi
        rm -f "$1"
    fi
}
