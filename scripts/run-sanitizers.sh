#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# the whole test suite, headless. Any report ends the test that made it.
#   CV_ASAN_BUILD_DIR  build directory (default build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh sanitizers

build=${CV_ASAN_BUILD_DIR:-build-asan}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCV_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Leaks inside third-party libraries below Qt only; never in our code.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
