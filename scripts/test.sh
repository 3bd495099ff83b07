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
configuration=plain
options=()
if [ "${1:-}" = "--sanitize" ] || [ "${VELMORA_SANITIZE:-0}" = "1" ]; then
  build=build-asan
  configuration=sanitize
  options=(-DVELMORA_SANITIZE=ON)
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON "${options[@]}" >/dev/null
cmake --build "$build" -j"$jobs"
# Every GoogleTest case is a ctest test of its own; a skipped one is reported as skipped, and
# only the skips tests/skips.txt allows for this configuration pass.
report="$PWD/$build/ctest-junit.xml"
rm -f "$report"
status=0
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 300 --output-junit "$report") || status=$?
if [ -f "$report" ]; then
  python3 scripts/check-skips.py "$report" "$configuration" || status=1
else
  echo "ctest wrote no report ($report): the skips are unknown" >&2
  status=1
fi
exit "$status"
