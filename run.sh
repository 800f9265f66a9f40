#!/usr/bin/env bash
# Builds Tiktakon and starts it. On a fresh Debian 12 machine, run as root to install what is missing.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tiktakon -j"$(nproc)"
exec ./build/app/tiktakon "$@"
