#!/usr/bin/env bash
# run.sh builds only the programs it starts and, with the packages in
# place, reaches no registry: it names its targets, none of what they need
# is a test or the benchmark, and neither apt nor npm is asked for anything.
# Usage: run_script_test.sh SOURCE_DIR BUILD_DIR NINJA
set -euo pipefail
source_dir=$1 build_dir=$2 ninja=$3

stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT
for tool in cmake apt-get npm sudo; do
  printf '#!/bin/sh\necho "%s $*" >> "%s/calls"\n' "$tool" "$stubs" > "$stubs/$tool"
  chmod +x "$stubs/$tool"
done
# run.sh answers --help itself, before any build; a port that is no port
# passes its check of the options and makes the browser desktop end at once.
PATH="$stubs:$PATH" bash "$source_dir/scripts/run.sh" --port not-a-port >/dev/null 2>&1 || true

fail() { echo "run.sh: $*"; cat "$stubs/calls"; exit 1; }
if grep -E '^(apt-get|npm|sudo) ' "$stubs/calls"; then fail "asked a registry"; fi
build=$(grep -E '^cmake --build ' "$stubs/calls") || fail "built nothing"
[[ $build == *" --target "* ]] || fail "builds everything: $build"
targets=${build#* --target }
for t in $targets; do
  case $t in tuckline|tuckline-web|tuckline-launchctl) ;; *) fail "builds $t" ;; esac
done
compiled=$("$ninja" -C "$build_dir" -t commands $targets)
if grep -E '/(tests|bench)/[^ ]*\.cpp' <<<"$compiled"; then fail "compiles tests or the benchmark"; fi
grep -q 'frontends/web/main.cpp' <<<"$compiled" || fail "does not build the browser desktop"
echo "run.sh builds only: $targets"
