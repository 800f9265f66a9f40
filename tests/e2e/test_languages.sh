#!/usr/bin/env bash
# The real program speaks the language the system asks for: for each setting of the language
# variables, a caption (the settings button and the settings dialog's title), a hint (the
# Start button's description), and Qt's own texts (the file chooser's title and its Cancel
# button) are read from outside, through the window titles and the accessibility tree.
# Usage: test_languages.sh <tiktakon binary> <wmclose binary>

source "$(dirname "$0")/lib.sh"
on_own_session_bus "$@"
BINARY=$1
WMCLOSE=$2
export PULSE_SERVER=unix:/nonexistent/tiktakon-no-sound-server

# window_title WINDOW: its _NET_WM_NAME.
window_title() {
  LC_ALL=C.UTF-8 xprop -id "$1" _NET_WM_NAME | sed -n 's/^[^=]*= "\(.*\)"$/\1/p'
}

# window_named PATTERN: the program's visible window whose title matches PATTERN (ASCII only:
# xdotool matches no accented letter of a UTF-8 title in the C locale).
window_named() {
  local i w
  for i in $(seq 1 50); do
    w=$(xdotool search --all --onlyvisible --pid "$APP_PID" --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

# expect WHAT ACTUAL EXPECTED
expect() {
  [ "$2" = "$3" ] || fail "$ROW: $1 is \"$2\", expected \"$3\""
}

start_a11y
start_xvfb
APPDIR="$E2E_TMP/app"
install_copy "$BINARY" "$APPDIR"

# ROW;variables;settings button;Start's hint;dialog title;browse button;file chooser;Qt's Cancel
while IFS=';' read -r ROW variables setup hint dialog browse chooser cancel; do
  printf '[zvuk]\nmode=4\n' >"$APPDIR/tiktakon.ini"
  # The row's variables, and no others, reach the program.
  read -r -a APP_ENV <<<"LANGUAGE= LC_ALL= LC_MESSAGES= LANG= $variables"
  start_app "$APPDIR"
  main=$(a11y tree "$APP_PID" '^Tiktakon') || fail "$ROW: the main window is not in the accessibility tree"
  expect "the settings button" "$(awk -F'\t' '$2 == "push button" && $3 == "'"$setup"'"' <<<"$main" | cut -f3)" "$setup"
  expect "the Start button's hint" "$(awk -F'\t' '$2 == "push button" && $3 == "Start"' <<<"$main" | cut -f4)" "$hint"

  a11y press "$APP_PID" "$setup" || fail "$ROW: no button \"$setup\" to press"
  window=$(window_named '^(Nastaven|Settings)') || fail "$ROW: the settings dialog did not open"
  expect "the settings dialog's title" "$(window_title "$window")" "$dialog"

  a11y press "$APP_PID" "$browse" || fail "$ROW: no button \"$browse\" to press"
  files=$(window_named '^(Otev|Open)') || fail "$ROW: the file chooser did not open"
  expect "the file chooser's title" "$(window_title "$files")" "$chooser"
  tree=$(a11y tree "$APP_PID" '^(Otev|Open)') || fail "$ROW: the file chooser is not in the accessibility tree"
  grep -qP "\tpush button\t\Q$cancel\E\t" <<<"$tree" ||
    fail "$ROW: the file chooser has no button \"$cancel\": $(awk -F'\t' '$2 == "push button"' <<<"$tree" | cut -f3 | tr '\n' '|')"

  "$WMCLOSE" "$files" && sleep 0.3 && "$WMCLOSE" "$window" && sleep 0.3 || fail "$ROW: could not close the dialogs"
  close_app 5
  echo "$ROW: $setup, $dialog, $chooser, $cancel"
done <<'EOF'
English;LANG=en_US.UTF-8;Settings;Starts / stops tiktakon;Settings;Browse ...;Open;Cancel
Czech;LANG=cs_CZ.UTF-8;Nastavení;Spustí / vypne tiktakon;Nastavení;Procházet ...;Otevřít;Zrušit
Slovak then Czech;LANGUAGE=sk:cs LANG=en_US.UTF-8;Nastavení;Spustí / vypne tiktakon;Nastavení;Procházet ...;Otevřít;Zrušit
no language;LANG=C;Nastavení;Spustí / vypne tiktakon;Nastavení;Procházet ...;Otevřít;Zrušit
German;LC_MESSAGES=de_DE.UTF-8 LANG=cs_CZ.UTF-8;Settings;Starts / stops tiktakon;Settings;Browse ...;Open;Cancel
EOF
echo "PASS"
