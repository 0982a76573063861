#!/usr/bin/env bash
# Prints the instructions (callgrind) and system calls (strace) per
# boolForKey of the simulated user defaults: in the steady state, right after
# this process wrote the file, and right after another writer replaced it.
# Usage: bench/defaults-reads.sh [BUILD_DIR [READS]]   (default build/default; needs valgrind and strace)
set -euo pipefail
cd "$(dirname "$0")/.."
exe="${1:-build/default}/bench/tuckline_defaults_reads"
for tool in valgrind strace; do
  command -v "$tool" >/dev/null || { echo "defaults-reads.sh: $tool is not installed" >&2; exit 1; }
done
n=${2:-1000}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
syscalls() {  # total system calls of one run with $2 reads
  strace -f -o "$out/st" "$exe" "$1" "$2" >/dev/null 2>&1
  grep -vc '^[0-9]* *+++' "$out/st"
}
for mode in steady after-write after-other; do
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect='*readLoop*' "$exe" "$mode" "$n" \
    >/dev/null 2>&1
  ir=$(awk '/^totals:/ {print $2}' "$out/cg")
  with=$(syscalls "$mode" "$n")
  without=$(syscalls "$mode" 0)
  awk -v m="$mode" -v ir="$ir" -v n="$n" -v a="$with" -v b="$without" \
    'BEGIN { printf "%-12s %8.1f instructions/read  %6.2f system calls/read\n", m, ir / n, (a - b) / n }'
done
