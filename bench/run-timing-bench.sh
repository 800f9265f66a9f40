#!/usr/bin/env bash
# The beat of the real program as heard and as shown, measured from outside: on a private
# PulseAudio and a private PipeWire server (stock settings, null sink), at 40, 120 and 208 BPM
# (and 208 with 4 clicks a beat), idle, with the window kept busy (a 10 000-profile list sorted by its column headers again and
# again, the window moved) and with two CPU burners. Once as root (the program's real-time
# threads then outrank a stock server) and once as an unprivileged user. Prints tables of
# measured figures; it is not a test.
# Usage: run-timing-bench.sh [build dir] [seconds per run]
#        run-timing-bench.sh --table RESULTS [build dir]   figures of an earlier run's folder
#                                                         worked out again from its recordings
# Environment: TIMING_USER_RUNS  the unprivileged pass's runs: "all", "none", or a list such as
#              "120:idle 120:burn" (default: 120 BPM under each load)
#              TIMING_ROOT_RUNS  the same for the root pass (default: all)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
again=""
if [ "${1:-}" = --table ]; then
    again=$(realpath "${2:?results folder}")
    shift 2
fi
build=$(realpath -m "${1:-$source_dir/build}")
seconds=${2:-20}
lock=/tmp/tiktakon-build.lock
unprivileged=65534

all_runs=()
for bpm in 40 120 208; do
    for load in idle busy burn; do
        all_runs+=("$bpm:$load")
    done
done
# Subdivisions in 4 at 208 BPM: 832 clicks a minute.
all_runs+=("208x4:idle" "208x4:burn")
runs_of() {
    case "$1" in
    all) echo "${all_runs[*]}" ;;
    none) ;;
    *) echo "$1" ;;
    esac
}
read -r -a root_runs <<<"$(runs_of "${TIMING_ROOT_RUNS:-all}")"
read -r -a user_runs <<<"$(runs_of "${TIMING_USER_RUNS:-120:idle 120:busy 120:burn}")"

# Only what the benchmark runs, under the shared build lock.
if [ ! -f "$build/CMakeCache.txt" ]; then
    flock "$lock" cmake -S "$source_dir" -B "$build" -DTIKTAKON_WERROR=ON >/dev/null
fi
if [ -n "$again" ]; then
    flock "$lock" cmake --build "$build" --target timing_row -j2 >/dev/null
else
    flock "$lock" cmake --build "$build" --target tiktakon timing_probe timing_row make_profiles -j2 >/dev/null
fi

if [ -n "$again" ]; then
    # The lines the pass wrote itself stay; what timing_row printed is worked out again.
    out=$again
    seconds=$(cat "$out/seconds" 2>/dev/null || echo "?")
    for figures in "$out"/*/*/figures; do
        dir=$(dirname "$figures")
        [ -f "$dir/rec.raw" ] && grep -q '^samples ' "$figures" || continue
        run_bpm=$(awk '$1 == "bpm" { print $2 }' "$figures")
        per_beat=$(awk '$1 == "per_beat" { print $2 }' "$figures")
        per_beat=${per_beat:-1}
        beats=$(awk -v n="$per_beat" '$1 == "expected" { print ($2 - int((n + 1) / 2)) / n + 1 }' "$figures")
        sed -n '/^samples /q;p' "$figures" >"$figures.new"
        "$build/bench/timing_row" "${run_bpm%x*}" "$beats" "$dir/rec.raw" "$dir/rec.chunks" "$dir/rec.times" \
            "$dir/watch.txt" "$dir/keys" "$per_beat" >>"$figures.new" 2>&1 || true
        mv "$figures.new" "$figures"
    done
    root_runs=()
    user_runs=()
else
    out=$(mktemp -d /tmp/tiktakon-timing.XXXXXX)
    chmod 755 "$out"
    echo "$seconds" >"$out/seconds"
    echo "figures, stamps and recordings of every run: $out" >&2
fi

# A pass as root.
if [ "${#root_runs[@]}" -gt 0 ]; then
    mkdir -p "$out/root"
    bash "$here/timing-pass.sh" "$build" "$seconds" "$out/root" "$lock" "pulse pipewire" "${root_runs[@]}"
fi

# The same as an unprivileged user, with a home and data folders of its own: no real-time
# priority for the program, nor for the servers it starts.
if [ "${#user_runs[@]}" -gt 0 ]; then
    mkdir -p "$out/user/home"
    chown -R "$unprivileged:$unprivileged" "$out/user"
    setpriv --reuid="$unprivileged" --regid="$unprivileged" --clear-groups \
        env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME="$out/user/home" \
        XDG_CONFIG_HOME="$out/user/home/.config" XDG_DATA_HOME="$out/user/home/.local/share" \
        XDG_CACHE_HOME="$out/user/home/.cache" XDG_STATE_HOME="$out/user/home/.local/state" \
        bash "$here/timing-pass.sh" "$build" "$seconds" "$out/user" "$lock" "pulse pipewire" "${user_runs[@]}"
fi

# table PASS-DIR TITLE: the figures of every run of a pass as Markdown tables.
table() {
    local dir=$1
    [ -d "$dir" ] || return 0
    echo
    echo "### $2"
    local figures=()
    local server run
    for server in pulse pipewire; do
        for run in "${all_runs[@]}"; do
            [ -f "$dir/$server-${run%%:*}-${run#*:}/figures" ] && figures+=("$dir/$server-${run%%:*}-${run#*:}/figures")
        done
    done
    [ "${#figures[@]}" -gt 0 ] || { echo "(no runs)"; return 0; }
    awk '
        FNR == 1 { n++ }
        { v[n, $1] = $2; for (i = 3; i <= NF; i++) v[n, $1] = v[n, $1] " " $i }
        function g(k) { return ((n0, k) in v) ? v[n0, k] : "-" }
        function name(l) { return l == "idle" ? "idle" : l == "busy" ? "GUI busy" : "2 CPU burners" }
        END {
            print ""
            print "The beat as heard (intervals in samples of the 48 kHz sink; one sample = 0.021 ms; 208x4: 4 clicks a beat):"
            print ""
            print "| server | BPM | load | clicks found / expected | worst interval deviation | p99 deviation | intervals off > 1 sample | mean tempo error (ppm) | underruns / late / regrids | CPU running (%) | CPU stopped (%) |"
            print "|---|---|---|---|---|---|---|---|---|---|---|"
            for (n0 = 1; n0 <= n; n0++) {
                if (g("error") != "-") {
                    printf "| %s | %s | %s | failed: %s |||||||| \n", g("server"), g("bpm"), name(g("load")), g("error")
                    continue
                }
                steps = g("recorder_steps") + 0
                note = steps ? sprintf(" (recording: %d time-line step%s)", steps, steps > 1 ? "s" : "") : ""
                printf "| %s | %s | %s | %s / %s | %s%s | %s | %s | %s | %s / %s / %s | %s | %s |\n",
                    g("server"), g("bpm"), name(g("load")), g("found"), g("expected"), g("worst_dev_samples"), note,
                    g("p99_dev_samples"), g("intervals_off_1_sample"), g("tempo_error_ppm"), g("underruns"),
                    g("late"), g("regrids"), g("cpu_running_pct"), g("cpu_stopped_pct")
            }
            print ""
            print "Keys and display (ms, on the monotonic clock; a key'"'"'s moment is its press as the X server delivered it):"
            print ""
            print "| server | BPM | load | Start → shown / 1st click | Stop → last click (clicks after Stop) | 2nd Start → 1st click | 45 ms + stream latency | display − click p50 / p99 / worst | beats not shown |"
            print "|---|---|---|---|---|---|---|---|---|"
            for (n0 = 1; n0 <= n; n0++) {
                if (g("error") != "-") continue
                lat = g("stream_latency_us")
                lat = lat == "-" || lat == "" ? "-" : sprintf("%.1f (%s)", 45 + lat / 1000, g("stream_latency_from"))
                printf "| %s | %s | %s | %s / %s | %s (%s) | %s | %s | %s / %s / %s | %s |\n",
                    g("server"), g("bpm"), name(g("load")), g("start_shown_ms"), g("start_to_first_ms"), g("stop_to_last_ms"),
                    g("clicks_after_stop"), g("restart_to_first_ms"), lat, g("display_p50_ms"), g("display_p99_ms"),
                    g("display_worst_ms"), g("display_not_shown")
            }
            print ""
            print "The method'"'"'s own error per run (ms unless marked):"
            print ""
            print "| server | BPM | load | X damage round trip p50 / p99 / max | xdotool start → key delivered (Start / Stop) | monitor delivers ahead of play | stream-time reports late (p50) | sink clock vs monotonic (ppm) | recording'"'"'s time line: worst residual / steps > 2 ms |"
            print "|---|---|---|---|---|---|---|---|---|"
            for (n0 = 1; n0 <= n; n0++) {
                if (g("error") != "-") continue
                printf "| %s | %s | %s | %s / %s / %s | %s / %s | %s | %s | %s | %s / %s |\n",
                    g("server"), g("bpm"), name(g("load")), g("probe_p50_ms"), g("probe_p99_ms"), g("probe_max_ms"),
                    g("xdotool_start_ms"), g("xdotool_stop_ms"), g("monitor_lead_ms"), g("report_late_p50_ms"),
                    g("sink_vs_monotonic_ppm"), g("recorder_step_ms"), g("recorder_steps")
            }
        }' "${figures[@]}"
    echo
    echo "Start-up, exec to the main window mapped / first drawn (ms), median of the starts (min – max):"
    echo
    for server in pulse pipewire; do
        [ -f "$dir/$server-startup/times" ] || continue
        awk -v server="$server" '
            /^mapped / { m[++a] = $2 } /^painted / { p[++b] = $2 } /^error/ { e++ }
            function median(x, k,   i, j, t) {
                for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (x[j] < x[i]) { t = x[i]; x[i] = x[j]; x[j] = t }
                return k % 2 ? x[(k + 1) / 2] : (x[k / 2] + x[k / 2 + 1]) / 2
            }
            END {
                if (a == 0) { printf "- %s: no start measured\n", server; exit }
                mm = median(m, a); pm = median(p, b)
                printf "- %s: mapped %.1f (%.1f – %.1f), drawn %.1f (%.1f – %.1f), %d starts%s\n", server,
                    mm, m[1], m[a], pm, p[1], p[b], a, e ? sprintf(", %d failed", e) : ""
            }' "$dir/$server-startup/times"
    done
}

table "$out/root" "As root ($(nproc) cores, ${seconds} s per run)"
table "$out/user" "As an unprivileged user (uid $unprivileged, ${seconds} s per run)"
