#!/usr/bin/env bash
# The window titles as a window manager shows them (_NET_WM_NAME, and WM_NAME beside it): the
# program's own titles, with nothing added, for the main window without and with a profile and
# for the settings dialog.
# Usage: test_window_texts.sh <tiktakon binary> <wmclose binary>
source "$(dirname "$0")/lib.sh"
BINARY=$1
WMCLOSE=$2
export PULSE_SERVER=unix:/nonexistent/tiktakon-no-sound-server

# window_property WINDOW PROPERTY: the property's text as xprop decodes it in UTF-8.
window_property() {
  LC_ALL=C.UTF-8 xprop -id "$1" "$2" | sed -n 's/^[^=]*= "\(.*\)"$/\1/p'
}

# check_title WINDOW TITLE WHAT
check_title() {
  local property value
  for property in _NET_WM_NAME WM_NAME; do
    value=$(window_property "$1" "$property")
    [ "$value" = "$2" ] || fail "$3: $property is \"$value\", expected \"$2\""
  done
  echo "$3: \"$2\""
}

start_xvfb
APPDIR="$E2E_TMP/app"
install_copy "$BINARY" "$APPDIR"
start_app "$APPDIR"
check_title "$APP_WINDOW" "Tiktakon" "main window, no profile"

# A profile saved under a name: the window is titled after it.
xdotool windowfocus --sync "$APP_WINDOW"
focus_and_type "Rock"
focus_and_key ctrl+s
sleep 0.3
check_title "$APP_WINDOW" "Tiktakon - Rock" "main window, profile Rock"

focus_and_key ctrl+o
sleep 0.5
# The program's other visible window; its title is what is checked.
dialog=$(xdotool search --onlyvisible --pid "$APP_PID" --name '.' 2>/dev/null | grep -vx "$APP_WINDOW" | head -n 1 || true)
[ -n "$dialog" ] || fail "the settings dialog did not open"
check_title "$dialog" "Nastavení" "settings dialog"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool key Escape
sleep 0.3
close_app 5
echo "PASS"
