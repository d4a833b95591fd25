#!/usr/bin/env bash
# Builds the program and starts it on the demo files beside it in build/app/.
# Changes made in the demo stay there for the next run; --reset first puts
# fresh copies of the demo files there. Further arguments go to the program.
#   scripts/run-demo.sh [--reset] [path/to/corvane.conf]
set -euo pipefail
cd "$(dirname "$0")/.."

reset=OFF
if [ "${1:-}" = --reset ]; then
  reset=ON
  shift
fi

scripts/setup-machine.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target CVConfManager
if [ "$reset" = ON ]; then
  cmake -D CV_DEMO_SOURCE_DIR=demo -D CV_DEMO_TARGET_DIR=build/app -D CV_DEMO_RESET=ON -P app/DemoFiles.cmake
  echo "The demo files in build/app/ are fresh copies of demo/."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "The program is built (build/app/CVConfManager), but it needs a graphical session:" >&2
  echo "start this again from a terminal on the desktop (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  exit 1
fi
exec build/app/CVConfManager "$@"
