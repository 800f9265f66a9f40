#!/usr/bin/env bash
# One pass of the timing benchmark, as the user who runs it (run-timing-bench.sh starts it once
# as root and once as an unprivileged user). For each sound server and each run "BPM:LOAD" it
# starts the real program from a copy under a private Xvfb, records the null sink's monitor,
# watches the window from outside, and writes one file of figures per run into OUT.
# Usage: timing-pass.sh BUILD SECONDS OUT LOCKFILE SERVERS RUNS...
#   SERVERS  "pulse pipewire" (one word or both)
#   RUNS     e.g. 120:idle 208:busy 40:burn
# Every run (and the start-up timing) holds LOCKFILE, so that no build and no other
# measurement overlaps it.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/e2e/lib.sh"
BUILD=$1
SECONDS_PER_RUN=$2
OUT=$3
LOCKFILE=$4
SERVERS=$5
shift 5
RUNS=("$@")

SOUND_SCRIPTS="$here/../tests/sound"
PROBE="$BUILD/bench/timing_probe"
ROW="$BUILD/bench/timing_row"
MAKE_PROFILES="$BUILD/bench/make_profiles"
BINARY="$BUILD/app/tiktakon"
STARTS=5
STOPPED_SECONDS=10

# The window's panel of lights, beat number and bar circle (window coordinates): what each beat
# repaints. The Start button beside it and the status bar below are left out.
BEAT_AREA=(0 172 306 65)

RUN_PIDS=()
stop_run_processes() {
    stop_pids "${RUN_PIDS[@]}"
    RUN_PIDS=()
}
trap 'stop_run_processes; e2e_cleanup' EXIT

exec 9<"$LOCKFILE"

now_ns() { "$PROBE" now; }

# sleep_until NS: on the monotonic clock.
sleep_until() {
    local left
    left=$(($1 - $(now_ns)))
    [ "$left" -gt 0 ] && sleep "$(awk -v ns="$left" 'BEGIN { printf "%.6f", ns / 1e9 }')"
    return 0
}

# CPU time of every thread of a process, in ns (the scheduler's own count).
cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'
}

# main_thread_busy PID: the program's GUI thread ran more than a tenth of the last 20 ms.
main_thread_busy() {
    local a b
    a=$(awk '{ print $1 }' /proc/"$1"/task/"$1"/schedstat 2>/dev/null) || return 1
    sleep 0.02
    b=$(awk '{ print $1 }' /proc/"$1"/task/"$1"/schedstat 2>/dev/null) || return 1
    [ $((b - a)) -gt 2000000 ]
}

wait_main_idle() {
    local i
    for i in $(seq 1 1500); do
        main_thread_busy "$1" || return 0
    done
}

# The GUI kept busy as a user would: the 10 000-profile list sorted by one column header after
# another, and the window moved, without end. Each click waits until the program has sorted, so
# no backlog of clicks builds up ahead of the Start and Stop keys.
gui_busy() {
    local pid=$1 window=$2 i=0
    local columns=(239 306 359 409 188)
    while kill -0 "$pid" 2>/dev/null; do
        xdotool mousemove --window "$window" "${columns[$((i % 5))]}" 10 click 1 2>/dev/null || true
        xdotool windowmove "$window" $((300 + (i % 3) * 20)) $((100 + (i % 2) * 20)) 2>/dev/null || true
        i=$((i + 1))
        sleep 0.05
        wait_main_idle "$pid"
    done
}

start_load() {
    case "$1" in
    idle) ;;
    burn)
        sh -c 'while :; do :; done' &
        RUN_PIDS+=($!)
        sh -c 'while :; do :; done' &
        RUN_PIDS+=($!)
        ;;
    busy)
        gui_busy "$APP_PID" "$APP_WINDOW" &
        RUN_PIDS+=($!)
        ;;
    esac
}

# start_program DIR: the copy in DIR with its figures at exit; sets APP_PID, APP_WINDOW.
start_program() {
    (cd "$1" && TIKTAKON_STATS=1 exec ./tiktakon) >"$RUN_DIR/app.log" 2>&1 &
    APP_PID=$!
    RUN_PIDS+=("$APP_PID")
    APP_WINDOW=""
    local i
    for i in $(seq 1 300); do
        APP_WINDOW=$(xdotool search --onlyvisible --pid "$APP_PID" --name '^Tiktakon' 2>/dev/null | sort -n | head -n 1 || true)
        [ -n "$APP_WINDOW" ] && return 0
        kill -0 "$APP_PID" 2>/dev/null || { echo "error the program ended at start" >>"$RUN_DIR/figures"; return 1; }
        sleep 0.1
    done
    echo "error no window appeared" >>"$RUN_DIR/figures"
    return 1
}

# The null sink's monitor, as the end-to-end tests record it, but raw through timing_probe: each
# block stamped as it arrives, and each report of the recorder's stream time (-v) stamped too.
start_recorder() {
    mkfifo "$RUN_DIR/rec.fifo"
    "$PROBE" chunks "$RUN_DIR/rec.raw" <"$RUN_DIR/rec.fifo" >"$RUN_DIR/rec.chunks" &
    RUN_PIDS+=($!)
    RECORDER_SINK=$!
    LC_ALL=C parec -v --latency-msec=10 --device=ci.monitor --rate=48000 --channels=1 --format=float32le \
        --raw >"$RUN_DIR/rec.fifo" 2> >("$PROBE" lines >"$RUN_DIR/rec.times") &
    RECORDER=$!
    RUN_PIDS+=("$RECORDER")
    local i
    for i in $(seq 1 500); do
        grep -q 'Time: [0-9.]*[1-9]' "$RUN_DIR/rec.times" 2>/dev/null && break
        sleep 0.01
    done
    grep -q 'Time: [0-9.]*[1-9]' "$RUN_DIR/rec.times" || { echo "error the recorder received nothing" >>"$RUN_DIR/figures"; return 1; }
    sleep 0.3
}

stop_recorder() {
    kill -INT "$RECORDER" 2>/dev/null || true
    wait "$RECORDER" 2>/dev/null || true
    wait "$RECORDER_SINK" 2>/dev/null || true
}

# The stream's latency as the server reports it for the program's sink input: its buffer plus
# the sink's, in µs ("reported"). PipeWire's PulseAudio server reports 0 for both: there it is
# the buffer the stream was granted (tlength) plus one processing quantum ("granted").
stream_latency() {
    # The program's stream is always float32 stereo: 8 bytes a frame.
    LC_ALL=C pactl list sink-inputs 2>/dev/null | awk -v pid="$1" -v frame=8 '
        /^Sink Input #/ { if (mine) exit; buffer = 0; sink = 0; tlength = 0; quantum = 0; mine = 0 }
        /Buffer Latency:/ { buffer = $3 }
        /Sink Latency:/ { sink = $3 }
        /pulse.attr.tlength = / { gsub(/"/, "", $3); tlength = $3 }
        /node.latency = / { gsub(/"/, "", $3); split($3, q, "/"); quantum = q[1] / q[2] * 1e6 }
        $0 ~ "application.process.id = \"" pid "\"" { mine = 1 }
        END {
            if (!mine) { print "-"; exit }
            if (buffer + sink > 0) printf "%d reported\n", buffer + sink
            else if (tlength > 0) printf "%d granted\n", tlength / frame / 48000 * 1e6 + quantum
            else print "-"
        }'
}

# press NAME: Return to the window, stamped on the monotonic clock right before and after xdotool.
press() {
    echo "$1 focus $(now_ns)" >>"$RUN_DIR/keys"
    xdotool windowfocus --sync "$APP_WINDOW" 2>/dev/null || xdotool windowfocus "$APP_WINDOW"
    echo "$1 focused $(now_ns)" >>"$RUN_DIR/keys"
    sleep_until "$2"
    "$PROBE" run xdotool key Return | sed "s/^/$1 /" >>"$RUN_DIR/keys"
}

# run_one SERVER BPM LOAD: one measured run; its figures in $OUT/SERVER-BPM-LOAD/figures.
run_one() {
    local server=$1 bpm=$2 load=$3 run_bpm=$2
    RUN_DIR="$OUT/$server-$bpm-$load"
    # "208x4": 208 BPM with 4 clicks a beat, the subdivisions at the beat's own level so that
    # every onset is found alike.
    local per_beat=1 practice=''
    if [[ $bpm == *x* ]]; then
        per_beat=${bpm#*x}
        bpm=${bpm%x*}
        practice=$(printf '[cviceni]\ndeleni=%d\ndeleni_uroven=100\n' "$per_beat")
    fi
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
    {
        echo "server $server"
        echo "bpm $run_bpm"
        echo "per_beat $per_beat"
        echo "load $load"
    } >"$RUN_DIR/figures"
    local interval=$((60000 / bpm))
    local beats
    beats=$(awk -v s="$SECONDS_PER_RUN" -v i="$interval" 'BEGIN { n = int(s * 1000 / i + 0.5); print (n < 1 ? 1 : n) }')

    local appdir="$RUN_DIR/app"
    install_copy "$BINARY" "$appdir"
    # Sound mode 1 is the PC generator's square tone.
    printf '[metro]\ntempo=%d\nrytmus=4\n[zvuk]\nmode=1\n%s' "$bpm" "$practice" >"$appdir/tiktakon.ini"
    if [ "$load" = busy ]; then
        "$MAKE_PROFILES" "$appdir/profiles.mtr" 10000 "$bpm" 4
    fi

    start_program "$appdir" || return 1
    # Start-up work (the profile list among it) runs after the first show; the stream opens then.
    sleep 1
    wait_main_idle "$APP_PID"
    start_recorder || return 1
    local watch=("$PROBE" watch "$APP_WINDOW" "${BEAT_AREA[@]}")
    # As root the watcher may run at real-time priority, so that a burner does not hold up its
    # stamps; its own round trip is measured either way.
    if [ "$(id -u)" -eq 0 ]; then
        watch=(chrt -f 1 "${watch[@]}")
    fi
    "${watch[@]}" >"$RUN_DIR/watch.txt" 2>"$RUN_DIR/watch.err" &
    RUN_PIDS+=($!)
    local i
    for i in $(seq 1 200); do
        grep -q '^ready' "$RUN_DIR/watch.txt" && break
        sleep 0.01
    done
    start_load "$load"
    sleep 1

    local t0
    t0=$(now_ns)
    press start "$t0"
    local started
    started=$(awk '$1 == "start" && $2 == "before" { print $3 }' "$RUN_DIR/keys")
    sleep 0.3
    local run_cpu0 run_t0
    run_cpu0=$(cpu_ns "$APP_PID")
    run_t0=$(now_ns)
    # Halfway, the stream's latency as the server reports it.
    sleep_until $((started + beats * interval * 500000))
    local latency
    latency=$(stream_latency "$APP_PID")
    echo "stream_latency_us ${latency% *}" >>"$RUN_DIR/figures"
    echo "stream_latency_from ${latency#* }" >>"$RUN_DIR/figures"
    # Stop halfway between two beats: the count of beats heard is then beyond doubt.
    local stop_at=$((started + beats * interval * 1000000 + interval * 500000))
    sleep_until $((stop_at - 300000000))
    local run_cpu1 run_t1
    run_cpu1=$(cpu_ns "$APP_PID")
    run_t1=$(now_ns)
    press stop "$stop_at"
    # Start again, stopped: the first beat after a Stop comes a look-ahead after Start, not an
    # interval; Stop again after 250 ms, between its first beat and the second.
    sleep 1
    press restart "$(now_ns)"
    local restarted
    restarted=$(awk '$1 == "restart" && $2 == "before" { print $3 }' "$RUN_DIR/keys")
    press restop $((restarted + 250000000))
    sleep 1
    stop_recorder

    # Stopped, with the load still on.
    sleep 0.5
    local stop_cpu0 stop_t0 stop_cpu1 stop_t1
    stop_cpu0=$(cpu_ns "$APP_PID")
    stop_t0=$(now_ns)
    sleep "$STOPPED_SECONDS"
    stop_cpu1=$(cpu_ns "$APP_PID")
    stop_t1=$(now_ns)

    # The end: SIGTERM closes the window as its close box does; the figures come at exit.
    kill -TERM "$APP_PID" 2>/dev/null || true
    for i in $(seq 1 100); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    local status=0
    wait "$APP_PID" 2>/dev/null || status=$?
    stop_run_processes

    {
        echo "exit_status $status"
        awk -v a="$run_cpu0" -v b="$run_cpu1" -v s="$run_t0" -v e="$run_t1" \
            'BEGIN { printf "cpu_running_pct %.2f\n", (b - a) * 100 / (e - s) }'
        awk -v a="$stop_cpu0" -v b="$stop_cpu1" -v s="$stop_t0" -v e="$stop_t1" \
            'BEGIN { printf "cpu_stopped_pct %.2f\n", (b - a) * 100 / (e - s) }'
        sed -n 's/^stats: underruns \([0-9-]*\) late \([0-9-]*\) regrids \([0-9-]*\)$/underruns \1\nlate \2\nregrids \3/p' \
            "$RUN_DIR/app.log"
        "$ROW" "$bpm" "$beats" "$RUN_DIR/rec.raw" "$RUN_DIR/rec.chunks" "$RUN_DIR/rec.times" \
            "$RUN_DIR/watch.txt" "$RUN_DIR/keys" "$per_beat"
    } >>"$RUN_DIR/figures" 2>&1
    rm -f "$RUN_DIR/rec.fifo"
    rm -rf "$appdir"
}

# From exec to the window mapped and first drawn, STARTS times; one file of figures.
startup_times() {
    local server=$1 dir="$OUT/$1-startup" i
    mkdir -p "$dir"
    install_copy "$BINARY" "$dir/app"
    for i in $(seq 1 "$STARTS"); do
        printf '[metro]\ntempo=120\nrytmus=4\n[zvuk]\nmode=1\n' >"$dir/app/tiktakon.ini"
        rm -f "$dir/app/profiles.mtr"
        "$PROBE" startup "$dir/app" ./tiktakon >>"$dir/times" 2>>"$dir/startup.log" || echo "error start $i" >>"$dir/times"
        sleep 0.5
    done
    rm -rf "$dir/app"
}

start_xvfb
for server in $SERVERS; do
    start_sound_server "$server"
    flock 9
    startup_times "$server"
    flock -u 9
    for run in "${RUNS[@]}"; do
        bpm=${run%%:*}
        load=${run#*:}
        echo "$(id -un) $server $bpm BPM $load ..." >&2
        flock 9
        run_one "$server" "$bpm" "$load" || stop_run_processes
        flock -u 9
    done
    stop_sound_server
done
