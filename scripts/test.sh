#!/usr/bin/env bash
# Installs what is needed, builds the program and its tests, and runs the whole suite.
# With --sanitize (or VELMORA_SANITIZE=1) the suite is built with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ instead of build/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

build=build
options=()
if [ "${1:-}" = "--sanitize" ] || [ "${VELMORA_SANITIZE:-0}" = "1" ]; then
  build=build-asan
  options=(-DVELMORA_SANITIZE=ON)
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON "${options[@]}" >/dev/null
cmake --build "$build" -j"$jobs"
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 300)
