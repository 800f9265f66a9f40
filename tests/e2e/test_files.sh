#!/usr/bin/env bash
# What the program writes: the files of a first start, a profile saved with Ctrl+S byte for byte,
# and damaged files that give the documented behaviour without a crash.
# Usage: test_files.sh <tiktakon> <wmclose>
source "$(dirname "$0")/lib.sh"
BINARY=$1
WMCLOSE=$2
export PULSE_SERVER=unix:/nonexistent/tiktakon-no-sound-server
start_xvfb

# First start with no files: an empty profile file at once, every default written at close.
APPDIR="$E2E_TMP/first"
install_copy "$BINARY" "$APPDIR"
start_app "$APPDIR"
[ -f "$APPDIR/profiles.mtr" ] && [ ! -s "$APPDIR/profiles.mtr" ] || fail "no empty profiles.mtr at start"
[ -e "$APPDIR/tiktakon.ini" ] && fail "the settings file is written only at close"
close_app 5
expected=$(printf '%s\n' '[profil]' 'selected=-1' '[metro]' 'rytmus=4' 'tempo=100' 'mute=0' '[zvuk]' 'mode=1' \
  'mididevice=0' 'midisound1=0' 'midisound2=0' 'wavepath1=' 'wavepath2=' '[visual]' 'svetla=1' 'cisla=1' 'kruh=1' \
  'durazy=0' '[barva]' 'doby=255' 'durazy=16711935' '[blbost]' 'realdrummer=0' '[grid]' '1=60' '2=60' '3=60' '4=60' \
  '[casovani]' 'posun=0' '[cviceni]' 'predtakt=0' 'vynechat=0' 'hrat=4' 'ticho=4' 'nahodne=30' 'hlasitost=100' \
  'zrychlovani=0' 'krok=5' 'kazdych=4' 'cil=160' 'deleni=1' 'deleni_uroven=50' 'deleni_nastroj=42' 'okno=0')
[ "$(cat "$APPDIR/tiktakon.ini")" = "$expected" ] || fail "first settings file: $(cat "$APPDIR/tiktakon.ini")"
ls "$APPDIR" | sort | tr '\n' ' ' | grep -qx 'profiles.mtr tiktakon tiktakon.ini ' ||
  fail "unexpected files: $(ls "$APPDIR")"

# A profile saved with Ctrl+S.
start_app "$APPDIR"
focus_and_type "Rock"
focus_and_key ctrl+s
sleep 0.3
close_app 5
# Number 0, name length 4, "Rock", rhythm 4 and tempo 100 little-endian, every other byte 0.
/usr/bin/python3 -c 'import sys; r = bytearray(160); r[4] = 4; r[5:9] = b"Rock"; r[32] = 4; r[36] = 100
sys.stdout.buffer.write(r)' >"$E2E_TMP/expected.mtr"
cmp "$E2E_TMP/expected.mtr" "$APPDIR/profiles.mtr" || fail "saved record: $(od -An -tx1 "$APPDIR/profiles.mtr")"
[ "$(ini_value "$APPDIR/tiktakon.ini" selected)" = 0 ] || fail "the saved profile is not the current one"

# A damaged profile file: one whole record and 90 stray bytes. The list shows the record; the
# next save replaces the stray bytes.
DAMAGED="$E2E_TMP/damaged"
install_copy "$BINARY" "$DAMAGED"
head -c 160 "$APPDIR/profiles.mtr" >"$DAMAGED/profiles.mtr"
head -c 90 /dev/urandom >>"$DAMAGED/profiles.mtr"
# A damaged settings file: binary noise, a key before any section, a value that is no number.
{ head -c 300 /dev/urandom | tr -d '\n\r[]='; printf '\norphan=1\n[metro]\ntempo=abc\nrytmus=x\n[profil]\nselected=7\n'; } \
  >"$DAMAGED/tiktakon.ini"
cp "$DAMAGED/tiktakon.ini" "$E2E_TMP/ini.before"
start_app "$DAMAGED"
answer_box # "Read beyond end of file."
focus_and_key ctrl+a
focus_and_type "Jazz"
focus_and_key ctrl+s
sleep 0.3
close_app 5
[ "$(stat -c %s "$DAMAGED/profiles.mtr")" = 320 ] || fail "the append did not replace the part-record"
cmp -n 160 "$E2E_TMP/expected.mtr" "$DAMAGED/profiles.mtr" || fail "the first record changed"
# The stored profile 7 does not exist: reported, forgotten, the new profile is current.
[ "$(ini_value "$DAMAGED/tiktakon.ini" selected)" = 1 ] || fail "selected after the damaged start"
head -c 300 "$E2E_TMP/ini.before" | cmp -s - <(head -c 300 "$DAMAGED/tiktakon.ini") ||
  fail "the foreign bytes of the settings file were not kept"
grep -q '^orphan=1$' "$DAMAGED/tiktakon.ini" || fail "the line before any section was lost"
echo "PASS"
