#!/usr/bin/env bash
# Sets up, builds and starts Tuckline on the simulated desktop: the browser
# desktop, or the text console with --console. Every other argument goes to
# the program (for example --home DIR), in any order.
#
# It builds only the programs it starts (no tests, no benchmark) and, once
# the packages are installed, needs no network.
set -euo pipefail
cd "$(dirname "$0")/.."

console=0
args=()
for a in "$@"; do
  if [ "$a" = "--console" ]; then console=1; else args+=("$a"); fi
done
# The program it starts, and launchctl's stand-in, which start at login needs.
targets=(tuckline-web tuckline-launchctl)
[ "$console" = 1 ] && targets=(tuckline tuckline-launchctl)

bash scripts/setup.sh --run
# A build of its own, without debug information and with no test or
# benchmark configured. -O1: the JSON and HTTP templates take a sixth less
# to compile than at -O2, and a person's clicks are not the faster for -O2.
build=build/run
[ -f "$build/build.ninja" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" \
        -DTUCKLINE_TESTS=OFF -DTUCKLINE_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

[ "$console" = 1 ] && exec "$build/frontends/console/tuckline" ${args[@]+"${args[@]}"}
exec "$build/frontends/web/tuckline-web" ${args[@]+"${args[@]}"}
