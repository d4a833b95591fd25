#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the seed corpus, then fuzzes
# each target for a bounded time. Exits non-zero when an input crashes one.
#   CV_FUZZ_BUILD_DIR  build directory (default build-fuzz)
#   CV_FUZZ_SECONDS    fuzzing time per target (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh fuzz

build=${CV_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${CV_FUZZ_SECONDS:-30}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DENABLE_FUZZING=ON -DBUILD_TESTING=OFF
cmake --build "$build" -j"$(nproc)" --target fuzz_confdocument fuzz_langini

# The targets save and read back a scratch file on every input: tmpfs keeps that fast.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

for target in confdocument langini; do
  binary="$build/fuzz/fuzz_$target"
  seeds="fuzz/corpus/$target"
  found="$build/fuzz/found-$target"
  mkdir -p "$found"
  echo "== $target: replaying the seed corpus"
  "$binary" "$seeds"/*
  echo "== $target: fuzzing for $seconds s"
  # New inputs go to the build directory; the seeds in the repository stay as they are.
  "$binary" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$build/fuzz/crash-$target-" "$found" "$seeds"
done
echo "fuzzing found no crash"
