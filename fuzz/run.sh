#!/usr/bin/env bash
# Builds the libFuzzer harnesses (the `fuzz` preset: clang, ASan + UBSan)
# and runs each for SECONDS (default 30), starting from its seeds in
# fuzz/corpus/<target>/. Prints executions and crashes per target; exits
# non-zero if any target crashed, leaving the input in build/fuzz/crashes/.
# New inputs that reach new code go to build/fuzz/corpus/<target>/, never
# into the repository's seeds.
# Usage: fuzz/run.sh [SECONDS] [TARGET…]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(preferences_file defaults_tool web_input console_line launch_agent launchd_state text_metrics screen_socket)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p build/fuzz/crashes
failed=0
for target in "${targets[@]}"; do
  work="build/fuzz/corpus/$target"
  mkdir -p "$work"
  log="build/fuzz/$target.log"
  status=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/crashes/$target-" "$work" "fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -eq 0 ]; then
    printf '%-18s %10s executions, no crash\n' "$target" "${runs:-?}"
  else
    printf '%-18s %10s executions, CRASHED (exit %d): see %s\n' "$target" "${runs:-?}" "$status" "$log"
    failed=1
  fi
done
exit "$failed"
