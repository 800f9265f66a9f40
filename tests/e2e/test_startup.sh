#!/usr/bin/env bash
# The program started from a copy in a temporary directory: it keeps its files beside itself,
# and it ends cleanly when asked to close, stopped or with the beat running, and when the system
# asks it to stop (it then keeps its settings as on any close).
# Usage: test_startup.sh <tiktakon binary> <wmclose binary>
source "$(dirname "$0")/lib.sh"
BINARY=$1
WMCLOSE=$2
export PULSE_SERVER=unix:/nonexistent/tiktakon-no-sound-server

start_xvfb
APPDIR="$E2E_TMP/portable"
install_copy "$BINARY" "$APPDIR"

start_app "$APPDIR"
[ -f "$APPDIR/profiles.mtr" ] || fail "profiles.mtr was not created beside the program"
[ -s "$APPDIR/profiles.mtr" ] && fail "a new profiles.mtr must be empty"
close_app 5
[ -f "$APPDIR/tiktakon.ini" ] || fail "tiktakon.ini was not written at close"
grep -q '^selected=-1$' "$APPDIR/tiktakon.ini" || fail "the settings file lacks selected=-1"

# Again, with the beat running (Enter starts it).
start_app "$APPDIR"
key Return
sleep 1.5
close_app 5

# The end of a desktop session: SIGTERM with the beat running, after a tempo change.
start_app "$APPDIR"
focus_and_key KP_Add KP_Add Return
sleep 1
signal_app TERM 5
[ "$(ini_value "$APPDIR/tiktakon.ini" tempo)" = 102 ] || fail "tempo after SIGTERM: $(cat "$APPDIR/tiktakon.ini")"

# Ctrl+C in the terminal while the settings dialog is open: the dialog is cancelled, the
# program ends, and its settings file is written.
start_app "$APPDIR"
focus_and_key ctrl+o
sleep 0.5
[ "$(xdotool search --all --onlyvisible --pid "$APP_PID" --name '^Nastaven' 2>/dev/null | wc -l)" -ge 1 ] ||
  fail "the settings dialog did not open"
rm "$APPDIR/tiktakon.ini"
signal_app INT 5
[ "$(ini_value "$APPDIR/tiktakon.ini" tempo)" = 102 ] || fail "no settings written after SIGINT"
echo "PASS"
