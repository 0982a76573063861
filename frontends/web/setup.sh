#!/bin/sh
# What the browser desktop's tests need on a Debian machine: the browser the
# tests drive (Debian's own build; the tests never download one), fonts for
# the Chinese texts, and the pinned node packages.
set -e
cd "$(dirname "$0")"
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
if ! command -v chromium >/dev/null 2>&1 || ! dpkg -s fonts-noto-cjk >/dev/null 2>&1 || ! command -v node >/dev/null 2>&1; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y chromium fonts-noto-cjk nodejs npm
fi
# The modules once per lockfile: npm ci would fetch them again every time.
if ! cmp -s package-lock.json node_modules/.installed-lock.json 2>/dev/null; then
  npm ci --no-audit --no-fund
  cp package-lock.json node_modules/.installed-lock.json
fi
