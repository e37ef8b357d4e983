#!/usr/bin/env bash
# Style checks for the whole tree: clang-format (reports files that differ)
# and clang-tidy over the compile database of a build.
#   scripts/lint.sh [build dir]   (default build/release)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
status=0
files=$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'bench/*.cpp')
for f in $files; do
  clang-format --dry-run "$f" 2>/dev/null | grep -q . && { echo "format: $f"; status=1; }
done
if [ -f "$build/compile_commands.json" ]; then
  git ls-files 'src/*.cpp' | grep -v '^src/platform/win32/\|^src/app/gui/\|^src/app/console/' |
    xargs -P "$(nproc)" -n 8 clang-tidy -p "$build" --quiet 2>/dev/null | grep -E 'warning:|error:' && status=1
fi
exit $status
