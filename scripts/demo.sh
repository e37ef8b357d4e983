#!/usr/bin/env bash
# Installs what is needed, builds the command and scans the bundled sample
# Windows XP system; prints where the report went.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target tarnscan
mkdir -p build/release/plugins
cp samples/plugins/*.def build/release/plugins/ 2>/dev/null || true
build/release/tarnscan --system samples/xp-home --patterns samples/patterns.txt \
  --addon spyware-check.def --out build/Tarnscan.Txt "$@"
