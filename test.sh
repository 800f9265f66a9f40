#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIKTAKON_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
status=0
(cd build && ctest --output-on-failure -j"$jobs") || status=$?
exit $status
