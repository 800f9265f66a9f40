#!/usr/bin/env bash
# The program started from a copy in a temporary directory: it keeps its files beside itself,
# and it ends cleanly when asked to close, stopped or with the beat running.
# Usage: test_startup.sh <tiktakon binary> <wmclose binary>
source "$(dirname "$0")/lib.sh"
BINARY=$1
WMCLOSE=$2
export SDL_AUDIODRIVER=dummy

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
echo "PASS"
