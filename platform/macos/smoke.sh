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
#   3. quitting (osascript … quit) ends the process and its status windows
#      ("not checked" where osascript may not send Apple events to it);
#   4. with startCollapsed set, the start writes the collapse record, the
#      separator 10000 points long.
# Then, at a terminal, it starts Tuckline once more and lists what to look
# at and what to report. Exits non-zero if any check failed.

# Besides, for the job's log, what a Mac user would notice: the CPU time the
# copy spends over 30 s of idle (nothing should run while nothing happens)
# and its resident memory once the items are up.
#
# Every Apple event waits at most 10 s for an answer. Where the system does
# not let osascript send Apple events to Tuckline (error -1743: no
# Automation consent, as on a CI machine nobody can click "OK" on), quitting
# by Apple event is reported as not checked. Whatever way the script ends, it
# ends the copies it started, by process id, and no others: an Apple event
# goes out only while a copy of its own runs and no other copy does, since
# one addressed by bundle identifier would reach the other copy, or launch
# one where none runs.

# Functions run through trap, bounded and wait_for look unreachable to shellcheck.
# shellcheck disable=SC2317
set -uo pipefail

bundle_id=com.ferrowick.tuckline
# Real paths (pwd -P): LaunchServices starts the executable by its real
# path, and the copies are found by that path on their command lines.
here="$(cd "$(dirname "$0")" && pwd -P)"
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
app="$(cd "$app" && pwd -P)"
executable="$app/Contents/MacOS/Tuckline"
# The path as an extended regular expression, at the start of a command line
# (sed's own expression, in single quotes on purpose).
# shellcheck disable=SC2001,SC2016
executable_pattern="^$(sed 's/[][\\.*^$(){}?+|]/\\&/g' <<<"$executable")( |$)"

# bounded SECONDS COMMAND...: runs the command, and ends it (it alone) if it
# has not finished within SECONDS; the command's status, 124 when cut short.
bounded() {
  local limit=$(($1 * 5)) ticks=0 pid
  shift
  "$@" <&0 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    if ((ticks >= limit)); then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      return 124
    fi
    sleep 0.2
    ticks=$((ticks + 1))
  done
  wait "$pid"
}

# pids: the processes running this bundle's executable, one a line.
pids() { pgrep -f "$executable_pattern" || true; }
copies_more_than() { (($(pids | grep -c .) > $1)); }
copies_exactly() { (($(pids | grep -c .) == $1)); }
if [[ -n "$(pids)" ]] || pgrep -x Tuckline >/dev/null; then
  echo "smoke: Tuckline is running; quit it first (its state is yours, not the test's)" >&2
  exit 2
fi

# The copies this script started, by process id. A process id is taken for
# one of them only while it still runs this bundle's executable, so a reused
# id is never ended.
started=""
remember() { [[ -z "$1" ]] || started="$started $1"; }
is_ours() {
  local pid=$1 command
  [[ " $started " == *" $pid "* ]] || return 1
  command="$(ps -o command= -p "$pid" 2>/dev/null)" || return 1
  [[ "$command" == "$executable" || "$command" == "$executable "* ]]
}
gone() { ! kill -0 "$1" 2>/dev/null; }
# end_own PID: ends a copy of ours: SIGTERM, then SIGKILL after 5 s.
end_own() {
  is_ours "$1" || return 0
  kill -TERM "$1" 2>/dev/null
  wait_for 5 gone "$1" || kill -KILL "$1" 2>/dev/null
}

# ---------------------------------------------------------------- the user's own defaults
saved="$(mktemp -d "${TMPDIR:-/tmp}/tuckline-smoke.XXXXXX")"
had_domain=0
if defaults export "$bundle_id" "$saved/domain.plist" 2>/dev/null && [[ -s "$saved/domain.plist" ]] &&
  defaults read "$bundle_id" >/dev/null 2>&1; then
  had_domain=1
fi
restore() {
  local pid
  for pid in $started; do end_own "$pid"; done
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
not_checked() { echo "not checked: $*"; }
measured() { echo "measured  $*"; }

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
# record_pid RECORD: the process that wrote it.
record_pid() { sed -nE 's/^  进程 PID=([0-9]+)$/\1/p' <<<"$1" | head -1; }

# status_windows PID: the window server's status-bar windows (layer 25) of
# the process; "?" when they cannot be counted. No Apple event: the window
# list is read in osascript's own process.
windows_script='ObjC.import("CoreGraphics");
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
}'
status_windows() { bounded 15 osascript -l JavaScript -e "$windows_script" "$1" 2>/dev/null || echo "?"; }

# item_line RECORD NAME: the record's line for the item.
item_line() { grep -E "^  $2: " <<<"$1" | head -1; }
field() { sed -nE "s/.* $2=([^ ]+).*/\1/p" <<<"$1"; }

# launch: starts a copy with open -n and sets `launched` to its process id,
# empty when none came within 10 s.
launched=""
launch() {
  local before
  launched=""
  before="$(pids)"
  bounded 15 open -n "$app" || return 1
  wait_for 10 copies_more_than "$(grep -c . <<<"$before")" || return 1
  launched="$(comm -13 <(sort <<<"$before") <(pids | sort) | head -1)"
  remember "$launched"
}

# quit_own PID: asks a copy of ours to quit with an Apple event, answered
# within 10 s. Sends nothing when that copy no longer runs or another copy
# does. Sets quit_said to osascript's words; returns 0 when the event was
# taken, 2 when nothing was sent, 3 when Apple events to Tuckline are not
# allowed here (-1743), 4 when Tuckline did not answer in time, 1 otherwise.
quit_said=""
quit_own() {
  local pid=$1 status=0
  quit_said=""
  is_ours "$pid" || return 2
  local other
  for other in $(pgrep -x Tuckline); do
    # A copy that has ended but is not yet reaped (state Z) takes no events.
    if [[ "$other" != "$pid" && "$(ps -o stat= -p "$other" 2>/dev/null)" != Z* ]]; then
      quit_said="another copy of Tuckline runs (PID $other), which the event could reach"
      return 2
    fi
  done
  quit_said="$(bounded 15 osascript \
    -e "if application id \"$bundle_id\" is running then" \
    -e 'with timeout of 10 seconds' \
    -e "tell application id \"$bundle_id\" to quit" \
    -e 'end timeout' \
    -e 'end if' 2>&1)" || status=$?
  ((status == 0)) && return 0
  [[ "$quit_said" == *"(-1743)"* ]] && return 3
  [[ "$quit_said" == *"(-1712)"* || $status == 124 ]] && return 4
  return 1
}
# quit_and_end PID WHAT: quits a copy of ours, reports how, and ends it by
# process id when the event could not.
quit_and_end() {
  local pid=$1 what=$2 status=0
  quit_own "$pid" || status=$?
  case $status in
    0)
      if wait_for 5 gone "$pid"; then
        ok "$what: quit (osascript) ended PID $pid"
        return 0
      fi
      failed "$what: PID $pid still runs 5 s after quit"
      ;;
    2) [[ -z "$quit_said" ]] || not_checked "$what: quit by Apple event ($quit_said)" ;;
    3) not_checked "$what: quit by Apple event: osascript may not send Apple events to Tuckline here (-1743: Automation consent)" ;;
    4) failed "$what: Tuckline did not answer the quit event within 10 s: $quit_said" ;;
    *) failed "$what: osascript could not send quit: $quit_said" ;;
  esac
  end_own "$pid"
  return 1
}

# cpu_seconds PID: the process's CPU time so far, from ps's [[dd-]hh:]mm:ss.cc.
cpu_seconds() {
  ps -o time= -p "$1" 2>/dev/null | awk '{
    t = $1; days = 0
    if (index(t, "-")) { split(t, d, "-"); days = d[1]; t = d[2] }
    n = split(t, part, ":"); s = 0
    for (i = 1; i <= n; i++) s = s * 60 + part[i]
    printf "%.2f\n", days * 86400 + s }'
}

# ---------------------------------------------------------------- 1. the creation record
scratch
offset="$(log_size)"
launch
first="$launched"
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
  if [[ "$(record_pid "$created")" != "$first" ]]; then
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
  "?") not_checked "status windows (osascript could not read the window list)" ;;
  *) failed "the window server shows $windows status windows of PID $first, not 2" ;;
esac

# ---------------------------------------------------------------- what a Mac user would notice
# The order check has run with the creation record; from here on nothing
# is due, so the copy should spend no CPU time until something happens.
sleep 1
rss_kib="$(ps -o rss= -p "$first" 2>/dev/null | tr -d ' ')"
if [[ "$rss_kib" =~ ^[0-9]+$ ]]; then
  measured "resident memory with both items up: $(awk -v k="$rss_kib" 'BEGIN { printf "%.1f", k / 1024 }') MiB (PID $first)"
fi
cpu_before="$(cpu_seconds "$first")"
sleep 30
cpu_after="$(cpu_seconds "$first")"
if [[ -n "$cpu_before" && -n "$cpu_after" ]]; then
  measured "CPU time over 30 s of idle: $(awk -v a="$cpu_before" -v b="$cpu_after" 'BEGIN { printf "%.2f", b - a }') s" \
    "(from ${cpu_before} s to ${cpu_after} s; nothing runs while nothing happens, so expected 0.00)"
else
  not_checked "CPU time over idle (PID $first no longer runs)"
fi

# ---------------------------------------------------------------- 2. a second launch gives way
offset="$(log_size)"
bounded 15 open -n "$app"
if wait_for 10 has_record "$offset" "检测到已有实例"; then
  gave_way="$(record "$offset" "检测到已有实例")"
  remember "$(record_pid "$gave_way")"
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
if quit_and_end "$first" "first copy"; then
  windows="$(status_windows "$first")"
  case "$windows" in
    0) ok "its status windows are gone" ;;
    "?") not_checked "status windows after the quit (osascript could not read the window list)" ;;
    *) failed "$windows status windows of PID $first remain after it ended" ;;
  esac
fi

# ---------------------------------------------------------------- 4. startCollapsed
scratch startCollapsed
offset="$(log_size)"
launch
collapsed_pid="$launched"
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
[[ -z "$collapsed_pid" ]] || quit_and_end "$collapsed_pid" "startCollapsed copy"

echo
echo "smoke: $failures failed; macOS $(sw_vers -productVersion) ($(sw_vers -buildVersion)), $(uname -m)"

# ---------------------------------------------------------------- what only a person can see
if [[ ! -t 0 ]]; then
  exit $((failures > 0))
fi
scratch
launch
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
[[ -z "$launched" ]] || quit_and_end "$launched" "the copy you looked at"
exit $((failures > 0))
