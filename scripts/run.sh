#!/usr/bin/env bash
# Sets up, builds and starts Tuckline on the simulated desktop: the browser
# desktop, or the text console with --console. Every other argument goes to
# the program (for example --home DIR), in any order.
#
# It builds only the programs it starts (no tests, no benchmark) and, once
# the packages are installed, needs no network.
set -euo pipefail
cd "$(dirname "$0")/.."

# The programs, and launchctl's stand-in, which start at login needs.
targets=(tuckline tuckline-web tuckline-launchctl)

console=0
args=()
for a in "$@"; do
  if [ "$a" = "--console" ]; then console=1; else args+=("$a"); fi
done

bash scripts/setup.sh --run
[ -f build/default/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target "${targets[@]}"

if [ "$console" = 0 ] && [ -x build/default/frontends/web/tuckline-web ]; then
  exec build/default/frontends/web/tuckline-web ${args[@]+"${args[@]}"}
fi
exec build/default/frontends/console/tuckline ${args[@]+"${args[@]}"}
