#!/usr/bin/env bash
# The Debian package as a user gets it: built for /usr in its own build directory, installed with
# dpkg, its files checked where the desktop looks for them, the installed program started once
# (it must keep its files in the per-user folder, never beside /usr/bin), then removed again so
# the machine is left as it was. Debian's own checkers must accept the package, its menu entry and
# its AppStream metadata, and the documents Debian asks for must be installed.
# Usage: test_deb.sh <source dir> <package build dir> <wmclose binary>
# Needs root (dpkg); exits 77 (skipped) otherwise, or when Tiktakon is already installed here.
source "$(dirname "$0")/lib.sh"
SOURCE=$1
PKGBUILD=$2
WMCLOSE=$3

skip() {
  echo "SKIP: $*"
  exit 77
}

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in lintian appstreamcli desktop-file-validate dpkg-parsechangelog man; do
  command -v "$tool" >/dev/null || fail "$tool is missing; scripts/deps.sh installs it"
done
status=$(dpkg-query -W -f='${db:Status-Status}' tiktakon 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = "not-installed" ] ||
  skip "the package tiktakon is already on this machine ($status); the test will not replace it"
for f in /usr/bin/tiktakon /usr/bin/tiktakon.ini /usr/bin/profiles.mtr; do
  [ ! -e "$f" ] || skip "$f already exists; the test will not overwrite it"
done

INSTALLED=0
deb_cleanup() {
  local rc=$?
  e2e_cleanup
  if [ "$INSTALLED" -eq 1 ]; then
    dpkg -r tiktakon >/dev/null || echo "could not remove the package tiktakon" >&2
  fi
  # A faulty program may have written its files beside itself; they were not there before.
  rm -f /usr/bin/tiktakon.ini /usr/bin/profiles.mtr
  exit $rc
}
trap deb_cleanup EXIT

# The package: a build directory of its own, configured for /usr without tests.
cmake -S "$SOURCE" -B "$PKGBUILD" -DCMAKE_INSTALL_PREFIX=/usr -DTIKTAKON_TESTS=OFF -DTIKTAKON_WERROR=ON \
  >"$E2E_TMP/configure.log" 2>&1 || fail "configuring the package build failed: $(tail -20 "$E2E_TMP/configure.log")"
rm -f "$PKGBUILD"/tiktakon_*.deb
cmake --build "$PKGBUILD" --target package -j"$(nproc)" >"$E2E_TMP/build.log" 2>&1 ||
  fail "building the package failed: $(tail -30 "$E2E_TMP/build.log")"
debs=("$PKGBUILD"/tiktakon_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one tiktakon_*.deb in $PKGBUILD, found: ${debs[*]}"
DEB=${debs[0]}

# The control data: the computed library dependencies and the ones no link shows.
depends=$(dpkg-deb -f "$DEB" Depends)
for d in qt6-qpa-plugins timgm6mb-soundfont sound-theme-freedesktop fonts-dejavu-core qt6-translations-l10n \
  libqt6widgets6 libpulse0 libsamplerate0 libsndfile1 librtmidi6 libfluidsynth3 libaubio5 libqt6sql6 libqt6sql6-sqlite; do
  grep -Eq "(^|, )$d( |,|$)" <<<"$depends" || fail "the package does not depend on $d: $depends"
done
[ "$(dpkg-deb -f "$DEB" Package)" = "tiktakon" ] || fail "the package is not called tiktakon"
[ "$(dpkg-deb -f "$DEB" Section)" = "sound" ] || fail "the package's section is not sound"
VERSION=$(dpkg-deb -f "$DEB" Version)

# Debian's checker: no error and no warning. Its exit status tells only whether it ran.
lintian --fail-on none "$DEB" >"$E2E_TMP/lintian.log" 2>&1 || fail "lintian did not run: $(cat "$E2E_TMP/lintian.log")"
if grep -E '^[EW]: ' "$E2E_TMP/lintian.log"; then
  fail "lintian reports errors or warnings (above)"
fi

INSTALLED=1
if ! dpkg -i "$DEB" >"$E2E_TMP/dpkg.log" 2>&1; then
  # Only when dependencies are missing; deps.sh normally installed them all.
  DEBIAN_FRONTEND=noninteractive apt-get install -f -y >>"$E2E_TMP/dpkg.log" 2>&1 ||
    fail "dpkg could not install the package: $(cat "$E2E_TMP/dpkg.log")"
fi
[ "$(dpkg-query -W -f='${db:Status-Status}' tiktakon)" = "installed" ] || fail "the package is not installed"

# Every file where the desktop looks for it, and owned by the package.
owned() {
  [ -f "$1" ] || fail "$1 is not installed"
  dpkg -S "$1" 2>/dev/null | grep -q '^tiktakon: ' || fail "$1 does not belong to the package"
}
owned /usr/bin/tiktakon
[ "$(command -v tiktakon)" = /usr/bin/tiktakon ] || fail "tiktakon is not the one on PATH"
DESKTOP=/usr/share/applications/cz.tiktakon.Tiktakon.desktop
owned "$DESKTOP"
grep -qx 'Exec=tiktakon' "$DESKTOP" || fail "the desktop entry does not run tiktakon"
grep -qx 'Icon=tiktakon' "$DESKTOP" || fail "the desktop entry does not name the icon tiktakon"
grep -qx 'Categories=AudioVideo;Audio;Music;' "$DESKTOP" || fail "the desktop entry's categories are wrong"
grep -qx 'Comment=Metronom pro cvičící muzikanty' "$DESKTOP" || fail "the desktop entry lacks its Czech comment"
desktop-file-validate "$DESKTOP" || fail "the desktop entry is not valid"
owned /usr/share/icons/hicolor/scalable/apps/tiktakon.svg
for size in 32 48 64 128 256; do
  png=/usr/share/icons/hicolor/${size}x${size}/apps/tiktakon.png
  owned "$png"
  file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "$png is not a $size x $size PNG: $(file -b "$png")"
done
METAINFO=/usr/share/metainfo/cz.tiktakon.Tiktakon.metainfo.xml
owned "$METAINFO"
appstreamcli validate --strict --no-net "$METAINFO" >"$E2E_TMP/appstream.log" 2>&1 ||
  fail "the AppStream metadata is not valid: $(cat "$E2E_TMP/appstream.log")"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$METAINFO" ||
  fail "the AppStream metadata does not give the program's licence"

# The documents Debian asks for: the copyright in its machine-readable format, the changelog
# whose newest entry is this version, and the manual page in both languages, found by man.
DOCDIR=/usr/share/doc/tiktakon
owned "$DOCDIR/copyright"
[ "$(head -n 1 "$DOCDIR/copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "the copyright file is not in the machine-readable format"
grep -qx 'License: GPL-3+' "$DOCDIR/copyright" || fail "the copyright file does not give GPL-3+"
owned "$DOCDIR/changelog.gz"
gzip -dc "$DOCDIR/changelog.gz" >"$E2E_TMP/changelog" || fail "changelog.gz is not gzip data"
[ "$(dpkg-parsechangelog -l "$E2E_TMP/changelog" -S Version)" = "$VERSION" ] ||
  fail "the changelog's newest entry is not version $VERSION"
MAN_EN=/usr/share/man/man1/tiktakon.1.gz
MAN_CS=/usr/share/man/cs/man1/tiktakon.1.gz
for lang_page in "C:$MAN_EN" "cs:$MAN_CS"; do
  lang=${lang_page%%:*}
  page=${lang_page#*:}
  owned "$page"
  [ "$(man -L "$lang" -w tiktakon)" = "$page" ] || fail "man -L $lang does not find $page: $(man -L "$lang" -w tiktakon)"
  # The installed program's files are where the page says (checked below, when it runs).
  LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" >"$E2E_TMP/man.txt" || fail "man cannot show $page"
  grep -q '~/.config/Tiktakon/' "$E2E_TMP/man.txt" || fail "$page does not name ~/.config/Tiktakon/"
done
# The page the status bar opens: the address compiled into the program must lead to it.
doc_url=$(grep -a -o -m 1 'file:///[[:graph:]]*/index\.html' /usr/bin/tiktakon | head -n 1 || true)
[ -n "$doc_url" ] || fail "the program carries no documentation address"
owned "${doc_url#file://}"
grep -q 'tiktakon.ini' "${doc_url#file://}" || fail "the documentation page does not say where the files live"

# The installed program, started once as from the desktop's menu, with a home of its own.
start_xvfb
export HOME="$E2E_TMP/home"
export XDG_RUNTIME_DIR="$E2E_TMP/run"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER=unix:/nonexistent/tiktakon-no-sound-server
WORKDIR="$E2E_TMP/cwd"
mkdir -p "$WORKDIR"
touch "$E2E_TMP/before-start"
sleep 1 # so that anything written from now on is newer than the marker

start_app "$WORKDIR" tiktakon # found on PATH, as a user starts it

PERUSER="$HOME/.config/Tiktakon"
[ -f "$PERUSER/profiles.mtr" ] || fail "profiles.mtr was not created in $PERUSER"
[ -s "$PERUSER/profiles.mtr" ] && fail "a new profiles.mtr must be empty"
close_app 5
[ -f "$PERUSER/tiktakon.ini" ] || fail "tiktakon.ini was not written to $PERUSER at close"
grep -q '^selected=-1$' "$PERUSER/tiktakon.ini" || fail "the settings file lacks selected=-1"

# Nothing beside the executable, nothing in the directory it was started from.
for f in /usr/bin/tiktakon.ini /usr/bin/profiles.mtr; do
  [ ! -e "$f" ] || fail "the installed program wrote $f"
done
newer=$(find /usr/bin -maxdepth 1 -newer "$E2E_TMP/before-start")
[ -z "$newer" ] || fail "something changed in /usr/bin while the program ran: $newer"
[ -z "$(ls -A "$WORKDIR")" ] || fail "the program wrote into its working directory: $(ls -A "$WORKDIR")"

# Removing the package leaves nothing of it behind.
INSTALLED=0
dpkg -r tiktakon >"$E2E_TMP/remove.log" 2>&1 || fail "dpkg could not remove the package: $(cat "$E2E_TMP/remove.log")"
status=$(dpkg-query -W -f='${db:Status-Status}' tiktakon 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = "not-installed" ] || fail "the package is still registered after removal ($status)"
for f in /usr/bin/tiktakon "$DESKTOP" "$METAINFO" "${doc_url#file://}" "$DOCDIR/copyright" "$DOCDIR/changelog.gz" \
  "$MAN_EN" "$MAN_CS"; do
  [ ! -e "$f" ] || fail "$f is still there after removal"
done
echo "PASS"
