#!/usr/bin/env bash
# What a screen reader finds in the program: its accessibility tree read over AT-SPI, as Orca
# reads it. Every control of the main window and of the settings dialog has a name; the main
# window's controls, beat lights and displays have their Czech names, roles and states; the
# settings dialog opens through its button's accessible action alone, without the mouse.
# Usage: test_accessibility.sh <tiktakon binary> <wmclose binary>

source "$(dirname "$0")/lib.sh"
on_own_session_bus "$@"
BINARY=$1
WMCLOSE=$2
export PULSE_SERVER=unix:/nonexistent/tiktakon-no-sound-server
# The Czech texts, whatever language the desktop running the test asks for.
APP_ENV=(LANGUAGE= LC_ALL= LC_MESSAGES= LANG=cs_CZ.UTF-8)

# Every problem is reported, so that one run shows all that is missing.
PROBLEMS=0
problem() {
  echo "PROBLEM: $*" >&2
  PROBLEMS=$((PROBLEMS + 1))
}

# all_named TREE WHAT: every node of the dump TREE that a user operates has a name.
all_named() {
  local offenders
  offenders=$(awk -F'\t' '$2 ~ /^(push button|toggle button|check box|radio button|spin button|slider|text|entry|table|combo box|page tab)$/ && $3 == ""' "$1")
  [ -z "$offenders" ] || problem "$2: controls without an accessible name (path, role, name, description, states):
$offenders"
}

# nodes TREE ROLE NAME: the dump's lines of the nodes of that name whose role matches ROLE.
nodes() {
  awk -F'\t' -v role="^($2)\$" -v name="$3" '$2 ~ role && $3 == name' "$1"
}

# has_state LINE STATE
has_state() {
  [[ " $(cut -f5 <<<"$1") " == *" $2 "* ]]
}

start_a11y
start_xvfb

# Four beats, the accents on, beats 1, 3 and 4 marked. Accent marks are kept only in profiles,
# so the program starts with a stored one selected; the pattern reads differently backwards or
# shifted, so a light that reports another's mark is caught.
APPDIR="$E2E_TMP/portable"
install_copy "$BINARY" "$APPDIR"
/usr/bin/python3 -c 'import sys; r = bytearray(160); r[4] = 4; r[5:9] = b"Rock"; r[32] = 4; r[36] = 100
r[41] = 1; r[42:46] = bytes([1, 0, 1, 1]); sys.stdout.buffer.write(r)' >"$APPDIR/profiles.mtr"
printf '[profil]\nselected=0\n[visual]\ndurazy=1\n' >"$APPDIR/tiktakon.ini"
start_app "$APPDIR"

MAIN="$E2E_TMP/main.tsv"
a11y tree "$APP_PID" '^Tiktakon' >"$MAIN" || fail "the main window is not in the accessibility tree"
all_named "$MAIN" "main window"

# The controls: ROLE (a pattern);NAME; each one, shown and reachable by the keyboard.
while IFS=';' read -r role name; do
  found=$(nodes "$MAIN" "$role" "$name")
  if [ "$(grep -c . <<<"$found")" -ne 1 ]; then
    problem "main window: expected one '$role' named '$name', found: ${found:-none}"
  elif ! has_state "$found" showing || ! has_state "$found" focusable; then
    problem "main window: '$name' is not showing and focusable: $found"
  fi
done <<'EOF'
text|entry;Název profilu
spin button;Rytmus
spin button;Tempo
slider;Posuvník tempa
check box;Důrazy
push button;Ulož
push button;Nastavení
table;Profily
push button;Start
EOF

# The beat lights: NAME;checked when accented;DESCRIPTION, one check box each.
while IFS=';' read -r name checked description; do
  found=$(nodes "$MAIN" 'check box' "$name")
  if [ "$(grep -c . <<<"$found")" -ne 1 ]; then
    problem "main window: expected one light 'check box' named '$name', found: ${found:-none}"
    continue
  fi
  has_state "$found" showing || problem "light '$name' is not showing: $found"
  [ "$(has_state "$found" checked && echo checked)" = "$checked" ] || problem "light '$name' should be ${checked:-unchecked}: $found"
  [ "$(cut -f4 <<<"$found")" = "$description" ] || problem "light '$name' should be described '$description': $found"
done <<'EOF'
Doba 1;checked;Důrazná doba
Doba 2;;Běžná doba
Doba 3;checked;Důrazná doba
Doba 4;checked;Důrazná doba
EOF
shown=$(awk -F'\t' '$2 == "check box" && $3 ~ /^Doba / && $5 ~ /showing/' "$MAIN" | wc -l)
[ "$shown" -eq 4 ] || problem "main window: $shown lights showing for a bar of 4"

# The displays: named, nothing more.
for name in "Číslo doby" "Kruh taktu"; do
  [ -n "$(nodes "$MAIN" '.*' "$name")" ] || problem "main window: nothing named '$name'"
done

# The settings dialog, opened by the button's accessible action.
a11y press "$APP_PID" "Nastavení" ||
  fail "no button named 'Nastavení' to press; $PROBLEMS problem(s) above"
DIALOG="$E2E_TMP/dialog.tsv"
a11y tree "$APP_PID" '^Nastavení$' >"$DIALOG" ||
  fail "the settings dialog did not appear after 'Nastavení' was pressed; $PROBLEMS problem(s) above"
all_named "$DIALOG" "settings dialog"
tabs=$(awk -F'\t' '$2 == "page tab" { printf "%s%s", sep, $3; sep = "|" }' "$DIALOG")
[ "$tabs" = "Zvuk|Zobrazení|Časování|Cvičení" ] ||
  problem "settings dialog: page tabs '$tabs', expected 'Zvuk|Zobrazení|Časování|Cvičení'"

# The dialog closed as a window manager closes it; then the program.
# The title's ASCII part: xdotool matches no "í" of a UTF-8 title in the C locale.
dialog_windows() {
  xdotool search --all --onlyvisible --pid "$APP_PID" --name '^Nastaven' 2>/dev/null || true
}
dialog_window=$(dialog_windows | head -n 1)
[ -n "$dialog_window" ] || fail "the settings dialog has no window"
"$WMCLOSE" "$dialog_window" || fail "could not close the settings dialog"
for i in $(seq 1 30); do
  [ -z "$(dialog_windows)" ] && break
  sleep 0.1
done
[ -z "$(dialog_windows)" ] || fail "the settings dialog did not close"
close_app 5
[ "$PROBLEMS" -eq 0 ] || fail "$PROBLEMS problem(s) above"
echo "PASS"
