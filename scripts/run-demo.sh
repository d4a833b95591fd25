#!/usr/bin/env bash
# Builds the program and starts it on the demo configuration beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target CVConfManager
exec build/app/CVConfManager "$@"
