#!/usr/bin/env bash
# Installs the Debian packages Tiktakon needs to build, run and test.
# As root it installs what is missing; otherwise it prints the one line to run.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev libqt6sql6-sqlite
  libsamplerate0-dev libsndfile1-dev librtmidi-dev libfluidsynth-dev timgm6mb-soundfont
  sound-theme-freedesktop fonts-dejavu-core
  libpulse-dev pulseaudio pulseaudio-utils jackd2 pipewire pipewire-pulse wireplumber dbus
  xvfb xdotool libx11-dev libxdamage-dev xauth x11-apps
  clang libclang-rt-14-dev dpkg-dev file
  qt6-svg-dev desktop-file-utils appstream lintian man-db
  qt6-l10n-tools qt6-translations-l10n
  at-spi2-core python3-pyatspi
  libaubio-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1 || ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:"
  echo "  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ${missing[*]}"
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
