# Shared helpers of the end-to-end tests: a private X server, the program copied into a
# temporary directory, keys by xdotool, closing as a window manager would. Every process a
# test starts is stopped by its PID on exit.
set -euo pipefail
# The program speaks its own language in every test unless the test says otherwise: APP_ENV is
# given to the program alone (the tools the tests run must keep the messages they are read by).
APP_ENV=(LANGUAGE=cs)

E2E_PIDS=()
E2E_TMP=$(mktemp -d /tmp/tiktakon-e2e.XXXXXX)

# stop_pids PID...: ends each process and waits for it.
stop_pids() {
  local pid
  for pid in "$@"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "$@"; do
    wait "$pid" 2>/dev/null || true
  done
}

e2e_cleanup() {
  stop_pids "${E2E_PIDS[@]}"
  stop_sound_server 2>/dev/null || true
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

# on_own_session_bus "$@": runs the calling test again on a D-Bus session bus of its own, ended
# with it, for the accessibility bus; call it first.
on_own_session_bus() {
  if [ -z "${TIKTAKON_OWN_BUS:-}" ]; then
    rm -rf "$E2E_TMP"
    TIKTAKON_OWN_BUS=1 exec dbus-run-session -- bash "$0" "$@"
  fi
}

# start_a11y: the accessibility bus on this session bus, its sockets in this test's own runtime
# folder (tests running side by side must not share them), and Qt's bridge always on.
start_a11y() {
  export XDG_RUNTIME_DIR="$E2E_TMP/run"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
  # The bus starts the launcher with its own environment: it is told of the runtime folder.
  dbus-update-activation-environment XDG_RUNTIME_DIR 2>/dev/null ||
    fail "the session bus did not take the runtime folder"
  # Qt joins the accessibility bus only once its launcher has registered: start it first.
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null ||
    fail "the accessibility bus did not start"
}

# a11y tree|press ...: the accessibility tree as a screen reader reads it (a11y_tree.py).
a11y() {
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/a11y_tree.py" "$@"
}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# void WHY: the run cannot judge anything (its recording lost data); CTest shows it as skipped,
# with the reason, never as passed.
void() {
  echo "VOID: $*" >&2
  exit 77
}

# start_xvfb: a private X server; sets DISPLAY.
start_xvfb() {
  local fifo="$E2E_TMP/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$fifo" 2>"$E2E_TMP/xvfb.log" &
  E2E_PIDS+=($!)
  local number
  read -r -t 10 number <"$fifo" || fail "Xvfb did not start"
  export DISPLAY=":$number"
}

# install_copy BINARY DIR: the program copied into DIR, as a user would run a portable program.
install_copy() {
  mkdir -p "$2"
  cp "$1" "$2/tiktakon"
}

# start_app DIR [PROGRAM]: starts PROGRAM (default DIR's own ./tiktakon) in DIR; sets APP_PID
# and APP_WINDOW.
start_app() {
  (cd "$1" && exec env "${APP_ENV[@]}" "${2:-./tiktakon}") >"$E2E_TMP/app.log" 2>&1 &
  APP_PID=$!
  E2E_PIDS+=("$APP_PID")
  APP_WINDOW=""
  local i
  for i in $(seq 1 150); do
    # The main window is made first: the lowest id among the program's visible windows.
    APP_WINDOW=$(xdotool search --onlyvisible --pid "$APP_PID" --name '^Tiktakon' 2>/dev/null | sort -n | head -n 1 || true)
    [ -n "$APP_WINDOW" ] && break
    kill -0 "$APP_PID" 2>/dev/null || fail "the program ended at start: $(cat "$E2E_TMP/app.log")"
    sleep 0.1
  done
  [ -n "$APP_WINDOW" ] || fail "no window appeared"
  sleep 0.5 # start-up work runs right after the first show
}

# close_app [SECONDS]: asks the window to close; the program must end with status 0 in time.
close_app() {
  "$WMCLOSE" "$APP_WINDOW" || fail "could not send WM_DELETE_WINDOW"
  wait_app_end "${1:-5}" "the close request"
}

# signal_app SIGNAL [SECONDS]: the system asks the program to stop, as a session end or Ctrl+C
# does; it must end with status 0 in time.
signal_app() {
  kill -"$1" "$APP_PID" || fail "could not send $1"
  wait_app_end "${2:-5}" "$1"
}

# wait_app_end SECONDS WHAT: the program ends with status 0 within SECONDS after WHAT.
wait_app_end() {
  local i
  for i in $(seq 1 $(($1 * 10))); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      local status=0
      wait "$APP_PID" || status=$?
      [ "$status" -eq 0 ] || fail "the program ended with status $status: $(cat "$E2E_TMP/app.log")"
      return 0
    fi
    sleep 0.1
  done
  fail "the program did not end within $1 s of $2"
}

key() {
  focus_and_key "$@"
}

# answer_box: presses OK in the message box the program shows now; fails when there is none.
answer_box() {
  local box="" i
  for i in $(seq 1 30); do
    box=$(xdotool search --onlyvisible --pid "$APP_PID" --name '^Tiktakon$' 2>/dev/null | sort -n | grep -vx "$APP_WINDOW" | tail -n 1 || true)
    [ -n "$box" ] && break
    sleep 0.1
  done
  [ -n "$box" ] || fail "no message box was shown"
  xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
  xdotool key Return
  sleep 0.3
}

# focus_and_key KEY...: gives the window the keyboard focus and types keys as a user would (XTEST).
focus_and_key() {
  xdotool windowfocus --sync "$APP_WINDOW" 2>/dev/null || xdotool windowfocus "$APP_WINDOW"
  xdotool key --delay 80 "$@"
}

# focus_and_type TEXT
focus_and_type() {
  xdotool windowfocus --sync "$APP_WINDOW" 2>/dev/null || xdotool windowfocus "$APP_WINDOW"
  xdotool type --delay 60 "$1"
}

# ini_value FILE KEY: the first value of KEY in FILE.
ini_value() {
  sed -n "s/^$2=//p" "$1" | head -n 1 | tr -d '\r'
}

# start_sound_server pulse|pipewire: a private sound server of that kind at its stock settings,
# with a 48 kHz null sink "ci" as its default sink, for this test; sets its clients' environment.
start_sound_server() {
  local kind=$1 dir="$E2E_TMP/$1"
  "$SOUND_SCRIPTS/$kind-server.sh" start "$dir" || fail "the $kind sound server did not start"
  E2E_SOUND_SERVER=$kind
  E2E_SOUND_DIR=$dir
  case "$kind" in
  pulse)
    export PULSE_SERVER="unix:$dir/native" XDG_RUNTIME_DIR="$dir/run" PULSE_CONFIG="$dir/cfg/pulse/daemon.conf" ;;
  pipewire)
    export PULSE_SERVER="unix:$dir/run/pulse/native" XDG_RUNTIME_DIR="$dir/run"
    unset PULSE_CONFIG ;;
  *) fail "unknown sound server $kind" ;;
  esac
  # The client library keeps its cookie here instead of in the user's home.
  export PULSE_COOKIE="$dir/cookie"
}

# start_sound_test SERVER BINARY WMCLOSE CLICKS SOUND_SCRIPTS: the start of a test of the program
# as heard: the tools' paths noted, a private X server, a private sound server of kind SERVER
# (pulse|pipewire), and the program copied into APPDIR.
start_sound_test() {
  BINARY=$2
  WMCLOSE=$3
  CLICKS=$4
  SOUND_SCRIPTS=$5
  start_xvfb
  start_sound_server "$1"
  APPDIR="$E2E_TMP/app"
  install_copy "$BINARY" "$APPDIR"
}

stop_sound_server() {
  if [ -n "${E2E_SOUND_DIR:-}" ]; then
    "$SOUND_SCRIPTS/$E2E_SOUND_SERVER-server.sh" stop "$E2E_SOUND_DIR"
    E2E_SOUND_DIR=""
  fi
}

# record_start FILE / record_stop: the null sink's monitor as float32 mono 48 kHz. record_stop
# ends the run as void when the recording holds fewer samples than the time its stream ran: the
# recorder lost data (an overrun or a gap in the server), so the spacing of the sounds in it proves
# nothing. It needs CLICKS (the clicks tool) to read the recording's length.
record_start() {
  E2E_RECORDING=$1
  : >"$1.times"
  # With -v the recorder reports its stream's time and latency every 50 ms; each report is noted
  # with the wall-clock moment it arrives. Read on to the end, or a full pipe would stall it.
  LC_ALL=C parecord -v --latency-msec=10 --device=ci.monitor --rate=48000 --channels=1 --format=float32le \
    --file-format=wav "$1" 2> >(note_stream_times "$1.times") &
  E2E_RECORDER=$!
  E2E_PIDS+=("$E2E_RECORDER")
  # The first sound must not be lost: wait until data flows, then a little more.
  local i
  for i in $(seq 1 500); do
    grep -q '^[^ ]* [0-9.]*[1-9]' "$1.times" && break
    kill -0 "$E2E_RECORDER" 2>/dev/null || fail "the recorder ended at start"
    sleep 0.01
  done
  grep -q '^[^ ]* [0-9.]*[1-9]' "$1.times" || fail "the recorder received nothing within 5 s"
  sleep 0.3
}

# note_stream_times FILE: "<wall-clock seconds> <stream time s> <latency us>" for each report.
note_stream_times() {
  local chunk time latency
  while IFS= read -r -d $'\r' chunk; do
    if [[ $chunk =~ Time:\ ([0-9.]+)\ sec\;\ Latency:\ (-?[0-9]+)\ usec ]]; then
      time=${BASH_REMATCH[1]}
      latency=${BASH_REMATCH[2]}
      echo "$EPOCHREALTIME $time $latency" >>"$1"
    fi
  done
}

record_stop() {
  # A last report asked for (SIGUSR1) right before the end, so that little is read after it.
  local reports i
  reports=$(wc -l <"$E2E_RECORDING.times")
  kill -USR1 "$E2E_RECORDER" 2>/dev/null || true
  for i in $(seq 1 100); do
    [ "$(wc -l <"$E2E_RECORDING.times")" -gt "$reports" ] && break
    sleep 0.002
  done
  kill -INT "$E2E_RECORDER" 2>/dev/null || true
  wait "$E2E_RECORDER" 2>/dev/null || true
  local samples
  samples=$("$CLICKS" "$E2E_RECORDING" | sed -n 's/^samples //p')
  [ -n "$samples" ] || void "the recording cannot be read"
  # The stream's first sample was taken at the earliest wall-clock moment less stream time among
  # the reports (a report only ever arrives late). By the last report the recorder has read the
  # samples from there to its moment, less the latency still held by the server; every one of
  # them must be in the file. A gap anywhere makes the file short of them. Without a gap the
  # estimate came within -10..+5 ms of the file on both servers (PipeWire's stream time is the
  # rougher). One lost PipeWire quantum is 5.3 ms and moves a click by exactly 256 samples: a
  # recording short by 4 ms or more is void, even if that voids some whole ones too.
  awk -v samples="$samples" -v slack=4 '
    $2 > 0 { start = $1 - $2; if (n++ == 0 || start < first) first = start; last = $1; latency = $3 / 1e6 }
    END {
      if (n == 0) { print "recorder: no report of its stream"; exit 1 }
      ran = (last - first - latency) * 48000; missing = ran - samples
      printf "recorder: %d samples, %.0f read by its last report, %d missing (%.1f ms)\n", samples, ran, missing, missing / 48
      exit (missing > slack * 48)
    }' "$E2E_RECORDING.times" ||
    void "the recorder lost data (its recording is shorter than the time its stream ran); this run proves nothing"
}

# check_spacing CLICKS_OUTPUT SPACING MIN MAX: the clicks tool's --frames output holds MIN to MAX
# clicks, each SPACING samples after the one before within one sample. Judged by the worst
# interval: one late click is what the user hears.
check_spacing() {
  awk -v spacing="$2" -v min="$3" -v max="$4" '
    function abs(x) { return x < 0 ? -x : x }
    /^click / {
      if (n > 0) {
        d = $2 - prev - spacing
        if (n == 1 || abs(d) > abs(worst)) { worst = d; at = n }
        if (abs(d) > 1.001) { # one sample, at the printed precision
          if (++bad <= 10) printf "  interval %d (click at %.3f): %.3f samples%s\n", n, $2, $2 - prev,
                                   ($2 - prev > 1.5 * spacing ? ", a click is missing" : "")
        }
      }
      prev = $2; n++
    }
    END {
      if (abs(worst) < 0.0005) worst = 0
      printf "clicks: %d, worst interval deviation: %+.3f samples (interval %d), intervals off by more than 1 sample: %d\n",
             n, worst, at, bad
      if (n < min) { printf "only %d clicks, expected at least %d\n", n, min; exit 1 }
      if (n > max) { printf "%d clicks, expected at most %d\n", n, max; exit 1 }
      exit (bad > 0)
    }' "$1"
}

# mono_minus_real: the monotonic clock less the wall clock, in seconds, for placing the
# recorder's wall-clock reports on the monotonic clock. Needs PIXELWATCH (the pixelwatch tool).
mono_minus_real() {
  "$PIXELWATCH" --now | awk '{ printf "%.6f\n", $1 - $2 }'
}

# recording_first_sample FILE: the wall-clock moment of the recording's first sample, as
# record_stop estimates it from the recorder's reports (within about 10 ms).
recording_first_sample() {
  awk '$2 > 0 { start = $1 - $2; if (n++ == 0 || start < first) first = start }
       END { if (n == 0) exit 1; printf "%.6f\n", first }' "$1.times"
}

# watch_start FILE / watch_stop: the beat number, which changes with every beat shown, watched
# every 50 ms from outside the program; FILE gets "<monotonic s> <hash>" at each change of its
# pixels. Needs PIXELWATCH.
watch_start() {
  # The beat number's label, at its place in the main window's fixed layout.
  "$PIXELWATCH" "$APP_WINDOW" 210 176 28 56 50 >"$1" &
  E2E_WATCHER=$!
  E2E_PIDS+=("$E2E_WATCHER")
}

watch_stop() {
  kill "$E2E_WATCHER" 2>/dev/null || true
  wait "$E2E_WATCHER" 2>/dev/null || true
}
