#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded number of inputs.
#   bash scripts/fuzz.sh            short run of each target (CI)
#   bash scripts/fuzz.sh 10000000   ten million inputs each
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-200000}"
bash scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
targets=(fuzz_hextobytes fuzz_strtoint fuzz_dottedtobytes fuzz_receiveline fuzz_splitcharacters fuzz_logtrim)
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  echo "== $t: $runs inputs"
  log="build-fuzz/$t.log"
  if ! build-fuzz/tests/fuzz/"$t" -runs="$runs" -max_len=4096 -print_final_stats=1 \
       -artifact_prefix=build-fuzz/ "$corpus" >"$log" 2>&1; then
    tail -40 "$log" >&2
    echo "$t found a failing input (saved under build-fuzz/)" >&2
    exit 1
  fi
  grep -E '^Done|stat::number_of_executed_units' "$log"
done
