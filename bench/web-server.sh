#!/usr/bin/env bash
# Starts a browser desktop on a fresh home and runs tuckline_web_clients on
# it: which hostile requests are refused, and how fast the state answers
# while 100 clients trickle their requests a byte a second.
# Usage: bench/web-server.sh [BUILD_DIR [SECONDS]]   (TUCKLINE_WEB=… measures another tuckline-web)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
web="${TUCKLINE_WEB:-$build/frontends/web/tuckline-web}"
dir=$(mktemp -d)
"$web" --home "$dir/home" --port 0 >"$dir/out" 2>/dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
address=""
for _ in $(seq 200); do
  address=$(grep -o 'http://127\.0\.0\.1:[0-9]*[^ ]*' "$dir/out" || true)
  [ -n "$address" ] && break
  sleep 0.05
done
[ -n "$address" ] || { echo "web-server.sh: $web printed no address" >&2; exit 1; }
"$build/bench/tuckline_web_clients" "$address" "${2:-15}"
