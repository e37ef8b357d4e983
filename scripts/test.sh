#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test:
#   1. release build (g++) and its test suite,
#   2. AddressSanitizer + UndefinedBehaviorSanitizer build (clang) and the
#      same suite, then every libFuzzer target for a bounded time,
#   3. the Windows program and its tests under Wine, when cross-built.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
fuzz_seconds=${TARNSCAN_FUZZ_SECONDS:-45}

./scripts/install-deps.sh

echo "== release build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNSCAN_BENCH=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== release done at ${SECONDS}s; sanitizer build"
CC=clang CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTARNSCAN_SANITIZE=ON -DTARNSCAN_FUZZ=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== sanitizer tests done at ${SECONDS}s; fuzzing, ${fuzz_seconds}s per target"
for fuzzer in build/sanitize/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  seeds=()
  [ -d "$corpus" ] && seeds=("$corpus")
  echo "-- $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "$work" "${seeds[@]}" 2>&1 | tail -n 12
  rm -rf "$work"
done

if [ -x scripts/test-windows.sh ]; then
  echo "== Windows program under Wine"
  ./scripts/test-windows.sh
fi
echo "== all tests passed in ${SECONDS}s"
