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
help=0
args=()
for a in "$@"; do
  if [ "$a" = "--console" ]; then console=1; else args+=("$a"); fi
  if [ "$a" = "--help" ] || [ "$a" = "-h" ]; then help=1; fi
done
# Its own option first; the program it starts lists the rest.
if [ "$help" = 1 ]; then
  echo "usage: scripts/run.sh [--console] [options of the program it starts]"
  echo "  --console             the text console (tuckline) instead of the browser desktop (tuckline-web);"
  echo "                        with a command after it, that command alone: --console defaults read"
  echo
fi
# The program it starts, and launchctl's stand-in, which start at login needs.
targets=(tuckline-web tuckline-launchctl)
[ "$console" = 1 ] && targets=(tuckline tuckline-launchctl)

# What setting up and building print goes to standard error: standard
# output is the program's alone, as a script reading it expects.
bash scripts/setup.sh --run >&2
# A build of its own, without debug information and with no test or
# benchmark configured. -O1: the JSON and HTTP templates take a sixth less
# to compile than at -O2, and a person's clicks are not the faster for -O2.
build=build/run
[ -f "$build/build.ninja" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" \
        -DTUCKLINE_TESTS=OFF -DTUCKLINE_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >&2

[ "$console" = 1 ] && exec "$build/frontends/console/tuckline" ${args[@]+"${args[@]}"}
exec "$build/frontends/web/tuckline-web" ${args[@]+"${args[@]}"}
