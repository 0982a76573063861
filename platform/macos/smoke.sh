#!/usr/bin/env bash
# Tuckline's first minutes on a real Mac, checked from outside as a person
# would, then handed to the person for what only eyes can judge:
#
#   platform/macos/smoke.sh [path/to/Tuckline.app]
#
# (default: the macos preset's bundle, build/macos/platform/macos/Tuckline.app)
#
# It runs on a scratch state of the application's defaults domain: the
# user's own values are exported first and put back on every way out. It
# reads only the records its own launches add to ~/Library/Logs/Tuckline.log
# (never changes the file) and never touches ~/Library/LaunchAgents. It
# refuses to start while a copy of Tuckline runs: that copy is the user's.
#
# Checked here, each a line "ok" or "FAILED":
#   1. a launch with didShowIntro set writes the creation record: both
#      items with an icon, a width and height, visible and on screen, the
#      separator left of the arrow, and the launched process's id; the
#      window server shows two status windows of that process;
#   2. a second launch gives way: its record names the first copy, and it
#      ends;
#   3. quitting (osascript … quit) ends the process and its status windows;
#   4. with startCollapsed set, the start writes the collapse record, the
#      separator 10000 points long.
# Then, at a terminal, it starts Tuckline once more and lists what to look
# at and what to report. Exits non-zero if any check failed.

# Functions run through trap and wait_for look unreachable to shellcheck.
# shellcheck disable=SC2317
set -uo pipefail

bundle_id=com.ferrowick.tuckline
here="$(cd "$(dirname "$0")" && pwd)"
app="${1:-$here/../../build/macos/platform/macos/Tuckline.app}"
log="$HOME/Library/Logs/Tuckline.log"

if [[ "$(uname -s)" != Darwin ]]; then
  echo "smoke: this runs on a Mac, with the bundle the macos preset builds" >&2
  exit 2
fi
if [[ ! -x "$app/Contents/MacOS/Tuckline" ]]; then
  echo "smoke: no bundle at $app (cmake --preset macos && cmake --build --preset macos)" >&2
  exit 2
fi
app="$(cd "$app" && pwd)"
executable="$app/Contents/MacOS/Tuckline"

# pids: the processes running this bundle's executable, one a line.
pids() { pgrep -f "^$executable" || true; }
copies_more_than() { (($(pids | grep -c .) > $1)); }
copies_exactly() { (($(pids | grep -c .) == $1)); }
if [[ -n "$(pids)" ]] || pgrep -x Tuckline >/dev/null; then
  echo "smoke: Tuckline is running; quit it first (its state is yours, not the test's)" >&2
  exit 2
fi

# ---------------------------------------------------------------- the user's own defaults
saved="$(mktemp -d "${TMPDIR:-/tmp}/tuckline-smoke.XXXXXX")"
had_domain=0
if defaults export "$bundle_id" "$saved/domain.plist" 2>/dev/null && [[ -s "$saved/domain.plist" ]] &&
  defaults read "$bundle_id" >/dev/null 2>&1; then
  had_domain=1
fi
restore() {
  local pid
  for pid in $(pids); do kill "$pid" 2>/dev/null; done
  if ((had_domain)); then
    defaults delete "$bundle_id" >/dev/null 2>&1
    defaults import "$bundle_id" "$saved/domain.plist"
  else
    defaults delete "$bundle_id" >/dev/null 2>&1
  fi
  rm -rf "$saved"
}
trap restore EXIT
trap 'exit 130' INT TERM HUP

scratch() {
  defaults delete "$bundle_id" >/dev/null 2>&1
  defaults write "$bundle_id" didShowIntro -bool YES
  local key
  for key in "$@"; do defaults write "$bundle_id" "$key" -bool YES; done
}

# ---------------------------------------------------------------- reading what happened
failures=0
ok() { echo "ok      $*"; }
failed() {
  echo "FAILED  $*"
  failures=$((failures + 1))
}

log_size() { if [[ -f "$log" ]]; then wc -c <"$log" | tr -d ' '; else echo 0; fi; }
# since OFFSET: what the log gained after OFFSET bytes.
since() { if [[ -f "$log" ]]; then tail -c "+$(($1 + 1))" "$log"; fi; }
# record OFFSET CONTEXT: the first record after OFFSET whose header ends in
# CONTEXT, lines up to the next header.
record() {
  since "$1" | awk -v context="$2" '
    /^\[/ { if (found) exit; found = index($0, "] " context) > 0 }
    found { print }'
}
# wait_for SECONDS COMMAND...: polls the command every 0.2 s until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}
has_record() { [[ -n "$(record "$1" "$2")" ]]; }

# status_windows PID: the window server's status-bar windows (layer 25) of
# the process; "?" when they cannot be counted.
status_windows() {
  osascript -l JavaScript - "$1" <<'EOF' 2>/dev/null || echo "?"
ObjC.import("CoreGraphics");
function run(argv) {
  const pid = Number(argv[0]);
  const list = ObjC.castRefToObject($.CGWindowListCopyWindowInfo($.kCGWindowListOptionAll, 0));
  let count = 0;
  for (let i = 0; i < list.count; i++) {
    const w = list.objectAtIndex(i);
    if (w.objectForKey("kCGWindowOwnerPID").intValue === pid && w.objectForKey("kCGWindowLayer").intValue === 25)
      count++;
  }
  return String(count);
}
EOF
}

# item_line RECORD NAME: the record's line for the item.
item_line() { grep -E "^  $2: " <<<"$1" | head -1; }
field() { sed -nE "s/.* $2=([^ ]+).*/\1/p" <<<"$1"; }

launch() {
  local before
  before="$(pids)"
  open -n "$app" || return 1
  wait_for 10 copies_more_than "$(grep -c . <<<"$before")"
  comm -13 <(sort <<<"$before") <(pids | sort) | head -1
}
quit_app() { osascript -e "tell application id \"$bundle_id\" to quit" >/dev/null 2>&1; }
gone() { ! kill -0 "$1" 2>/dev/null; }

# ---------------------------------------------------------------- 1. the creation record
scratch
offset="$(log_size)"
first="$(launch)"
if [[ -z "$first" ]]; then
  failed "Tuckline did not start from $app"
  exit 1
fi
if wait_for 10 has_record "$offset" "创建状态栏项目"; then
  created="$(record "$offset" "创建状态栏项目")"
  while IFS= read -r line; do printf '        %s\n' "$line"; done <<<"$created"
  separator="$(item_line "$created" "分隔符")"
  arrow="$(item_line "$created" "箭头")"
  good=1
  for line in "$separator" "$arrow"; do
    if ! grep -qE ': 有图标 length=-?[0-9.]+ x=-?[0-9]+ y=-?[0-9]+ w=[1-9][0-9]* h=[1-9][0-9]* 可见=true 在屏内=true 屏幕宽=[1-9][0-9]*$' <<<"$line"; then
      failed "creation record: not an item with an icon, a size, visible and on screen: '${line:-missing}'"
      good=0
    fi
  done
  if ((good)) && (($(field "$separator" x) >= $(field "$arrow" x))); then
    failed "creation record: the separator (x=$(field "$separator" x)) is not left of the arrow (x=$(field "$arrow" x))"
    good=0
  fi
  if ! grep -qx "  进程 PID=$first" <<<"$created"; then
    failed "creation record: not written by the launched process $first"
    good=0
  fi
  ((good)) && ok "creation record: both items with icon and size, visible, on screen, in order, PID $first"
else
  failed "no creation record within 10 s of the launch"
fi
windows="$(status_windows "$first")"
case "$windows" in
  2) ok "the window server shows two status windows of PID $first" ;;
  "?") echo "unknown status windows not counted (osascript could not read the window list)" ;;
  *) failed "the window server shows $windows status windows of PID $first, not 2" ;;
esac

# ---------------------------------------------------------------- 2. a second launch gives way
offset="$(log_size)"
open -n "$app"
if wait_for 10 has_record "$offset" "检测到已有实例"; then
  gave_way="$(record "$offset" "检测到已有实例")"
  if grep -q "检测到已有实例 PID=$first，本实例退出" <<<"$gave_way"; then
    ok "a second launch gives way: $(head -1 <<<"$gave_way")"
  else
    failed "the give-way record does not name $first: $(head -1 <<<"$gave_way")"
  fi
  if wait_for 5 copies_exactly 1; then
    ok "the second copy ended; $first still runs"
  else
    failed "the second copy is still running: $(pids | tr '\n' ' ')"
  fi
else
  failed "a second launch wrote no give-way record within 10 s"
fi

# ---------------------------------------------------------------- 3. quitting
quit_app
if wait_for 5 gone "$first"; then
  ok "quit (osascript) ended PID $first"
  windows="$(status_windows "$first")"
  case "$windows" in
    0) ok "its status windows are gone" ;;
    "?") echo "unknown status windows not counted" ;;
    *) failed "$windows status windows of PID $first remain after it ended" ;;
  esac
else
  failed "PID $first still runs 5 s after quit"
fi

# ---------------------------------------------------------------- 4. startCollapsed
scratch startCollapsed
offset="$(log_size)"
collapsed_pid="$(launch)"
if [[ -n "$collapsed_pid" ]] && wait_for 10 has_record "$offset" "切换为收起"; then
  collapse="$(record "$offset" "切换为收起")"
  separator="$(item_line "$collapse" "分隔符")"
  if [[ "$(field "$separator" length)" == 10000.0 ]]; then
    ok "startCollapsed: the collapse record, separator length 10000.0"
  else
    failed "startCollapsed: the separator's length is '$(field "$separator" length)', not 10000.0"
  fi
else
  failed "startCollapsed: no collapse record within 10 s"
fi
quit_app
[[ -z "$collapsed_pid" ]] || wait_for 5 gone "$collapsed_pid" || failed "PID $collapsed_pid still runs 5 s after quit"

echo
echo "smoke: $failures failed; macOS $(sw_vers -productVersion) ($(sw_vers -buildVersion)), $(uname -m)"

# ---------------------------------------------------------------- what only a person can see
if [[ ! -t 0 ]]; then
  exit $((failures > 0))
fi
scratch
open -n "$app"
cat <<'EOF'

Tuckline is running again on the scratch state. Please look, and report what you see
(a screenshot of the menu bar helps):
  - the line and the arrow at the left of the status icons, the arrow right of the line,
    both sharp and in the menu bar's colour, in light and in dark appearance;
  - clicking the arrow hides the icons left of the line and turns the arrow; clicking
    again shows them; hovering over the collapsed arrow shows them;
  - right-click (or Control-click) the arrow: the menu, its Chinese titles whole, ⌘Q shown;
  - 设置…: the settings window, 460 points wide and taller than 620 where its rows and
    the usage note need it, nothing cut off, the switches and the slider working;
  - 使用说明…: the alert, in front of the other windows (on macOS 14 and later too);
  - Command-drag the arrow somewhere else, then choose 重新放置到最右侧 from its menu:
    report whether the rebuilt pair returns where you dragged it or at the far right;
  - the hot key (⌃⌥⌘B unless you changed it) toggles the icons.
Please leave 开机自动启动 off: the test does not touch your launch agents, and this
would add one. Press Return when done; Tuckline quits and your own settings come back.
EOF
read -r _
quit_app
exit $((failures > 0))
