#!/usr/bin/env bash
# Fuzzes one target for a set time, then keeps only a minimised corpus in tests/fuzz/corpus/TARGET
# (the smallest set of inputs that reaches everything the old corpus and the new finds reach).
# ./test.sh replays that corpus. A finding stops the run and is kept under build-fuzz/artifacts;
# once fixed, add it to the corpus as finding-<what>.
# Usage: scripts/fuzz.sh TARGET SECONDS
#   TARGET: profilerecord, profilefile, iniread, iniwrite or settings
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
    sed -n '2,7p' "$0" >&2
    exit 2
fi
target=$1
seconds=$2
build=${TIKTAKON_FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIKTAKON_FUZZ=ON \
    -DTIKTAKON_TESTS=OFF -DTIKTAKON_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "fuzz_$target"

fuzzer=$build/tests/fuzz/fuzz_$target
corpus=tests/fuzz/corpus/$target
artifacts=$build/artifacts/$target
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus" "$artifacts" "$work/found" "$work/merged"

export QT_QPA_PLATFORM=offscreen PULSE_SERVER=unix:/nonexistent/tiktakon-no-sound-server
# The targets write files and sync them: in memory that costs nothing.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp
# New finds go to the first folder; the kept corpus is read as the starting point.
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work/found" "$corpus"
"$fuzzer" -merge=1 "$work/merged" "$corpus" "$work/found" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new files'
# Inputs of past findings (finding-*) stay under their names; the rest is the merged set.
find "$corpus" -type f ! -name 'finding-*' -delete
cp "$work/merged"/* "$corpus"/
echo "corpus $corpus: $(ls "$corpus" | wc -l) files, $(du -sk "$corpus" | cut -f1) KiB"
