#!/usr/bin/env bash
# Sets up, builds and starts Tuckline on the simulated desktop: the browser
# desktop, or the text console with --console. Every other argument goes to
# the program (for example --home DIR), in any order.
#
# It builds only the programs it starts (no tests, no benchmark) and, once
# the packages are installed, needs no network.
set -euo pipefail
cd "$(dirname "$0")/.."

# Every option of this script and of the two programs it starts: known
# here so that --help answers and a mistyped option is refused at once,
# before a build of minutes. (The browser tests hold this list to the
# programs' own --help.)
with_value=(--home --port --script --start --screen-width --thickness --items --memory --notch-width
            --frontmost --hotkey-taken --fault)
flags=(--console --help -h --virtual --real --headless --notch)

usage() {
  cat <<'EOF'
usage: scripts/run.sh [--console] [--home DIR] [options]
Builds (the first time, a minute or two) and starts Tuckline on a simulated Mac:
the browser desktop (tuckline-web; open the address it prints), or with
--console the text console (tuckline). Ctrl-C stops it; --home and a new
folder start over on a fresh home.

  --console             the text console instead of the browser desktop;
                        with a command after it, that command alone: --console defaults read
  --help, -h            this list
  --home DIR            the simulated Mac's home (default $TUCKLINE_HOME, else
                        ~/.local/share/tuckline-sim/home)
browser desktop only:
  --port N              the page's port on 127.0.0.1 (0: any free one)
console only:
  --virtual | --real    virtual time (scripts, pipes) or the machine's clock (a terminal)
  --script FILE         read the commands from FILE instead of standard input
  --headless            no commands at all: the application runs until it is ended
  --start DATE          virtual time starts at this local date, "2026-12-06 12:00:00" by default
desktop options (both):
  --screen-width N      the screen is N points wide (200–20000, default 1512)
  --thickness N         the menu bar is N points high (1–100, default 24)
  --items NAME:W,...    the other applications' status items, left to right
  --memory off|forget|keep  how the bar remembers dragged positions (default forget)
  --notch               a notched screen (185 of 1512 points, scaled to the screen's width)
  --notch-width N       a notch N points wide, 1 to half the screen
  --frontmost APP       the frontmost application
  --hotkey-taken COMBO  another application holds this key combination, e.g. ctrl+opt+cmd+b
  --fault arrow|separator|all:no-button|no-window|no-screen
  --fault symbol:NAME   the system has no symbol of that name (chevron.left, chevron.right)
  --fault logs-folder   ~/Library/Logs answers as missing
The console's commands: scripts/run.sh --console --help (after a build).
EOF
}

is_one_of() {
  local word=$1 o
  shift
  for o in "$@"; do [ "$o" = "$word" ] && return 0; done
  return 1
}

console=0
help=0
args=()
# Options up to the first other word: after it (a command such as
# "defaults write … -bool NO") everything is the program's.
checking=1
expect_value=0
for a in "$@"; do
  if [ "$checking" = 1 ] && [ "$expect_value" = 0 ]; then
    if [ "$a" = "--" ]; then
      checking=0
    elif [ "$a" = "--console" ]; then
      console=1
      continue
    elif [ "$a" = "--help" ] || [ "$a" = "-h" ]; then
      help=1
    elif is_one_of "$a" "${with_value[@]}"; then
      expect_value=1
    elif is_one_of "$a" "${flags[@]}"; then
      :
    elif [ "${a#-}" != "$a" ]; then
      {
        echo "scripts/run.sh: unknown option $a; the options are:"
        echo "  ${flags[*]} ${with_value[*]}" | fold -s -w 78
        echo "(scripts/run.sh --help says what each does)"
      } >&2
      exit 2
    else
      checking=0
    fi
  else
    expect_value=0
  fi
  args+=("$a")
done
# At once, before any build; the console's own --help adds its commands.
if [ "$help" = 1 ] && [ "$console" = 0 ]; then
  usage
  exit 0
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
