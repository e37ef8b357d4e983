#!/usr/bin/env bash
# The folder scan against ripgrep and grep on the same files, warm cache.
# ripgrep stops reading a file at its first NUL byte unless given -a; the
# scan searches binary content whole, so "rg -a" is the like-for-like run.
# Usage: bench/folder_scan.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
corpus=build/bench-corpus
[ -f "$corpus/patterns.txt" ] || python3 bench/make_corpus.py "$corpus"
files="$corpus/drive_c/WINDOWS/system32"
du -sh "$files"
scan="$build/tarnscan --system $corpus --patterns $corpus/patterns.txt --only SystemFolder,SystemDriversFolder --out $corpus/Tarnscan.Txt --quiet --plugins $corpus/none"
hyperfine --warmup 1 --runs 5 --ignore-failure \
  --export-markdown build/bench-folder-scan.md \
  "$scan" \
  "rg -F -i -l -f $corpus/patterns.txt $files" \
  "rg -a -F -i -l -f $corpus/patterns.txt $files" \
  "grep -r -F -i -l -f $corpus/patterns.txt $files"
echo "peak memory of the scan:"
/usr/bin/time -v $scan 2>&1 | grep -E "Maximum resident|Elapsed"
