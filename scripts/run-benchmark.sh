#!/usr/bin/env bash
# Builds an optimised program and runs the benchmark: the configuration
# document on a generated 1,000,000-line corvane.conf beside sed, grep and dd,
# and the start-up time under Xvfb beside a minimal Qt Widgets program.
# Arguments go to the benchmark (see bench/bench_confdocument.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh benchmark
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target cvconf_bench
exec build/bench/cvconf_bench "$@"
