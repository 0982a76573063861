#!/usr/bin/env bash
# Sets up, builds from scratch and runs every test: the normal build, the
# AddressSanitizer + UBSan build and the clang + libc++ build; then the Mac
# build's checks.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in default asan clang; do
  rm -rf "build/$preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -j 2
done
bash platform/macos/check.sh
# The libFuzzer harnesses, half a minute each, from a fresh build (clang,
# ASan + UBSan); a crash fails the run.
if [ -f fuzz/run.sh ]; then
  rm -rf build/fuzz
  bash fuzz/run.sh 30
fi
