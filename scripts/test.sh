#!/usr/bin/env bash
# Sets up, builds from scratch and runs every test: the normal build, then
# the AddressSanitizer + UBSan build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in default asan; do
  rm -rf "build/$preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -j 2
done
if [ -f platform/macos/check-syntax.sh ]; then bash platform/macos/check-syntax.sh; fi
