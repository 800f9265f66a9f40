#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test with CTest (the fuzz corpus
# replays among them); then the whole suite again under AddressSanitizer + UndefinedBehavior-
# Sanitizer with leak checks, and the clock, beat and sound-engine tests under ThreadSanitizer.
# Any failure or sanitizer finding fails the run; a summary of the three runs comes last.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
jobs=$(nproc)
status=0
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIKTAKON_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" | tee ctest.log) || status=$?

# The sanitizer trees: -O1 keeps them quick, -g keeps their reports readable.
sanitizer=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" -DTIKTAKON_WERROR=ON)
suppressions=$PWD/tests/sanitizers

# Every test but the Debian package's, which builds a release tree of its own.
cmake -S . -B build-asan "${sanitizer[@]}" -DTIKTAKON_SANITIZE=address >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan &&
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1 \
    LSAN_OPTIONS=suppressions=$suppressions/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j"$jobs" -E '^e2e_deb$' | tee ctest.log) || status=$?

# The threads: the beat clock, the beat rules and the sound output with its callback thread.
# Not test_voices_sound: its recorder is a QProcess, and once Qt has started a process this
# ThreadSanitizer loses track of our queue's ordering and reports the sample buffers handed over
# through it (a recorder started with posix_spawn gives no report).
tsan_tests=(test_clock test_beatrules test_midi test_waves test_midi_jack)
cmake -S . -B build-tsan "${sanitizer[@]}" -DTIKTAKON_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target "${tsan_tests[@]}"
(cd build-tsan &&
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$suppressions/tsan.supp \
    ctest --output-on-failure -j"$jobs" -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$" | tee ctest.log) || status=$?

for tree in build build-asan build-tsan; do
    echo "$tree: $(grep -E 'tests passed' "$tree/ctest.log" || echo 'no result')"
done
exit $status
