#!/usr/bin/env bash
# The lifecycle soak, built with AddressSanitizer and UndefinedBehaviorSanitizer, for longer:
#   bash scripts/soak.sh [seconds] [seed] [steps]
# seconds: how long to run (default 600); seed: replay that seed's sequence (default: a fresh
# one, printed); steps: only these steps of it, comma-separated (to narrow a failure down).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON -DVELMORA_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)" --target test_soak

export QT_QPA_PLATFORM=offscreen
export VELMORA_SOAK_SECONDS="${1:-600}"
[ -n "${2:-}" ] && export VELMORA_SOAK_SEED="$2"
[ -n "${3:-}" ] && export VELMORA_SOAK_ONLY="$3"
exec build-asan/tests/test_soak
