# Shared helpers of the end-to-end tests: a private X server, the program copied into a
# temporary directory, keys by xdotool, closing as a window manager would. Every process a
# test starts is stopped by its PID on exit.
set -euo pipefail

E2E_PIDS=()
E2E_TMP=$(mktemp -d /tmp/tiktakon-e2e.XXXXXX)

e2e_cleanup() {
  stop_pulse 2>/dev/null || true
  local pid
  for pid in "${E2E_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${E2E_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
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
  (cd "$1" && exec "${2:-./tiktakon}") >"$E2E_TMP/app.log" 2>&1 &
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

# start_pulse: a private PulseAudio server with a null sink for this test; sets its environment.
start_pulse() {
  local dir="$E2E_TMP/pulse"
  "$SOUND_SCRIPTS/pulse-server.sh" start "$dir"
  E2E_PULSE_DIR="$dir"
  export PULSE_SERVER="unix:$dir/native" XDG_RUNTIME_DIR="$dir/run" PULSE_CONFIG="$dir/cfg/pulse/daemon.conf"
  export SDL_AUDIODRIVER=pulseaudio
}

stop_pulse() {
  [ -n "${E2E_PULSE_DIR:-}" ] && "$SOUND_SCRIPTS/pulse-server.sh" stop "$E2E_PULSE_DIR"
  E2E_PULSE_DIR=""
}

# record_start FILE / record_stop: the null sink's monitor as float32 mono 48 kHz.
record_start() {
  parecord --latency-msec=10 --device=ci.monitor --rate=48000 --channels=1 --format=float32le \
    --file-format=wav "$1" &
  E2E_RECORDER=$!
  E2E_PIDS+=("$E2E_RECORDER")
  sleep 0.5
}

record_stop() {
  kill -INT "$E2E_RECORDER" 2>/dev/null || true
  wait "$E2E_RECORDER" 2>/dev/null || true
}
