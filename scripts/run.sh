#!/usr/bin/env bash
# Sets up, builds and starts Tuckline on the simulated desktop. Arguments go
# to the program (for example --home DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
if [ -x build/default/frontends/web/tuckline-web ] && [ "${1:-}" != "--console" ]; then
  exec build/default/frontends/web/tuckline-web "$@"
fi
[ "${1:-}" = "--console" ] && shift
exec build/default/frontends/console/tuckline "$@"
