#!/usr/bin/env bash
# What the programs cost where nothing is asked of them and as the work
# grows: start-up and peak memory against a trivial program and against the
# same program linked with the same libraries; context switches in an idle
# spell (the console, the browser desktop with no page and with one event
# stream); one console command and one browser update at 10 and at 1,000
# other items; one update with an empty log and with 64 KB of it shown; one
# diagnostics record against a raw append of its bytes, TZ set and unset.
# Prints figures (medians over RUNS, ratios taken in the same run); asserts
# nothing.
# Usage: bench/footprint.sh [BUILD_DIR]
#   TUCKLINE_CONSOLE=… TUCKLINE_WEB=… TUCKLINE_LOG_RECORD=… measure other builds;
#   RUNS (11), IDLE (30 seconds), CLICKS (30).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
console="${TUCKLINE_CONSOLE:-$build/frontends/console/tuckline}"
web="${TUCKLINE_WEB:-$build/frontends/web/tuckline-web}"
logRecord="${TUCKLINE_LOG_RECORD:-$build/bench/tuckline_log_record}"
runs="${RUNS:-11}" idle="${IDLE:-30}" clicks="${CLICKS:-30}"
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT

# Other applications' items, one point wide, on a screen wide enough that
# all of them show: a click on the arrow then moves only Tuckline's own.
items() { python3 -c "import sys; print(','.join(f'Other{i}:1' for i in range(int(sys.argv[1]))))" "$1"; }
wide=(--screen-width 4000)

# The yardsticks.
echo 'int main() { return 0; }' >"$dir/trivial.cpp"
c++ -O2 "$dir/trivial.cpp" -o "$dir/trivial"
sameLibraries() {  # PROGRAM OUT: the trivial program linked with what PROGRAM links
  local libs
  mapfile -t libs < <(ldd "$1" | awk '$2 == "=>" && $3 ~ /^\// {print $3}' |
                      grep -vE '/(libc|libm|libstdc\+\+|libgcc_s|ld-linux[^/]*)\.so')
  c++ -O2 "$dir/trivial.cpp" -o "$2" -Wl,--no-as-needed "${libs[@]}"
}
sameLibraries "$console" "$dir/same-libraries"
sameLibraries "$web" "$dir/same-libraries-web"

home() {  # a home that has seen the introduction
  "$console" --home "$1" defaults write com.ferrowick.tuckline didShowIntro -bool true >/dev/null
}
home "$dir/h"
: >"$dir/empty"
echo bar >"$dir/bar"
start=("$console" --home "$dir/h" --virtual --script "$dir/bar")

echo "== start-up (console, virtual time, the bar drawn and printed, exit)"
python3 - "$runs" "$dir/trivial" "$dir/same-libraries" "${start[@]}" <<'PY'
import statistics, subprocess, sys, time
runs, trivial, same, prog = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
walls = {"trivial": [], "same": [], "prog": []}
for _ in range(runs + 1):  # the first round warms the caches and is not counted
    for name, cmd in (("trivial", [trivial]), ("same", [same]), ("prog", prog)):
        t = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        walls[name].append(time.perf_counter() - t)
m = {k: statistics.median(v[1:]) * 1000 for k, v in walls.items()}
print(f"wall ms: trivial {m['trivial']:.2f}  same libraries {m['same']:.2f}  console {m['prog']:.2f}"
      f"  -> {m['prog'] / m['trivial']:.2f}x trivial, {m['prog'] / m['same']:.2f}x same libraries")
PY
instructions() { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null | awk '/Collected/ {print $4}'; }
it=$(instructions "$dir/trivial"); is=$(instructions "$dir/same-libraries"); ip=$(instructions "${start[@]}")
awk -v t="$it" -v s="$is" -v p="$ip" 'BEGIN { printf "instructions: trivial %.2fM  same libraries %.2fM  console %.2fM  -> %.2fx trivial, %.2fx same libraries\n", t/1e6, s/1e6, p/1e6, p/t, p/s }'

echo "== peak RSS (KiB)"
peak() { /usr/bin/time -f %M -o "$dir/peak" "$@" >/dev/null 2>&1 || true; tail -1 "$dir/peak"; }
pt=$(peak "$dir/trivial"); ps_=$(peak "$dir/same-libraries"); pc=$(peak "${start[@]}")
pws=$(peak "$dir/same-libraries-web")
# The browser desktop: started, its state asked for once, then asked to quit.
webPeak() {
  rm -rf "$dir/w"; home "$dir/w"
  /usr/bin/time -f %M -o "$dir/peak" "$web" --home "$dir/w" --port 0 >"$dir/w.out" 2>/dev/null &
  local p=$!
  local address=""
  for _ in $(seq 200); do address=$(grep -o 'http://127\.0\.0\.1:[0-9]*/?token=[0-9a-f]*' "$dir/w.out" || true); [ -n "$address" ] && break; sleep 0.05; done
  curl -s "${address%/\?token=*}/api/state?token=${address##*token=}" >/dev/null
  sleep 1
  kill -TERM "$(pgrep -P "$p" || echo "$p")" 2>/dev/null || true
  wait "$p" 2>/dev/null || true
  tail -1 "$dir/peak"
}
pw=$(webPeak)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "trivial $pt  console $pc ($(ratio "$pc" "$pt")x trivial; its libraries $ps_, $(ratio "$pc" "$ps_")x)"
echo "browser desktop $pw ($(ratio "$pw" "$pt")x trivial; its libraries $pws, $(ratio "$pw" "$pws")x)"

echo "== context switches in ${idle} s idle (all threads, voluntary + involuntary)"
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {n += $2} END {print n + 0}'; }
idleSwitches() {  # PID
  sleep 3
  local a; a=$(switches "$1"); sleep "$idle"; echo $(( $(switches "$1") - a ))
}
rm -rf "$dir/c"; home "$dir/c"; mkfifo "$dir/fifo"
"$console" --home "$dir/c" --real <"$dir/fifo" >/dev/null 2>&1 & cp=$!; pids+=("$cp")
exec 3>"$dir/fifo"
echo "console: $(idleSwitches "$cp")"
echo quit >&3; exec 3>&-; wait "$cp" 2>/dev/null || true
startWeb() {  # HOME_DIR OUT [desktop options]: sets webPid and address
  local h="$1" out="$2"; shift 2
  rm -f "$out"
  "$web" --home "$h" --port 0 "$@" >"$out" 2>/dev/null & webPid=$!; pids+=("$webPid")
  address=""
  for _ in $(seq 400); do address=$(grep -o 'http://127\.0\.0\.1:[0-9]*/?token=[0-9a-f]*' "$out" 2>/dev/null || true); [ -n "$address" ] && break; sleep 0.05; done
  [ -n "$address" ] || { echo "footprint.sh: $web printed no address" >&2; exit 1; }
}
stopWeb() { kill -TERM "$webPid" 2>/dev/null || true; wait "$webPid" 2>/dev/null || true; }
rm -rf "$dir/w"; home "$dir/w"; startWeb "$dir/w" "$dir/w.out"
echo "browser desktop, no page: $(idleSwitches "$webPid")"
curl -sN "${address%/\?token=*}/api/events?token=${address##*token=}" >/dev/null & streamPid=$!; pids+=("$streamPid")
echo "browser desktop, one stream: $(idleSwitches "$webPid")"
kill "$streamPid" 2>/dev/null || true; stopWeb

echo "== one console command (click arrow), instructions"
perCommand() {  # ITEMS
  local h="$dir/k$1"; rm -rf "$h"; home "$h"
  for _ in $(seq 20); do echo "click arrow"; done >"$dir/twenty"
  local a b
  a=$(instructions "$console" --home "$h" --virtual --script "$dir/empty" "${wide[@]}" --items "$(items "$1")")
  b=$(instructions "$console" --home "$h" --virtual --script "$dir/twenty" "${wide[@]}" --items "$(items "$1")")
  echo $(( (b - a) / 20 ))
}
c10=$(perCommand 10); c1000=$(perCommand 1000)
awk -v a="$c10" -v b="$c1000" 'BEGIN { printf "10 items %.3fM  1000 items %.3fM  -> %.2fx\n", a/1e6, b/1e6, b/a }'

echo "== one browser update (click to event), median ms over $clicks clicks"
update() {  # ITEMS LOG_BYTES
  local h="$dir/u"; rm -rf "$h"; home "$h"
  python3 -c "
import sys
record = '[2026-12-06 12:00:00] bench\n  菜单栏高度=24\n  进程 PID=1\n'.encode()
sys.stdout.buffer.write(record * (int(sys.argv[1]) // len(record)))" "$2" >"$h/Library/Logs/Tuckline.log"
  startWeb "$h" "$dir/u.out" "${wide[@]}" --items "$(items "$1")"
  python3 - "$address" "$clicks" <<'PY'
import http.client, json, socket, statistics, sys, threading, time, urllib.parse
address, clicks = urllib.parse.urlsplit(sys.argv[1]), int(sys.argv[2])
token = urllib.parse.parse_qs(address.query)["token"][0]
# The stream read as it comes, each event counted as it arrives.
events = socket.create_connection((address.hostname, address.port))
events.sendall(f"GET /api/events?token={token} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
arrived = threading.Condition()
count = [0]
def read():
    while chunk := events.recv(65536):
        with arrived:
            count[0] += chunk.count(b"\nevent: ")
            arrived.notify_all()
threading.Thread(target=read, daemon=True).start()
with arrived:
    arrived.wait_for(lambda: count[0] >= 1, 10)
post = http.client.HTTPConnection(address.hostname, address.port, timeout=30)
body = json.dumps({"type": "click", "item": "arrow"})
times = []
for i in range(clicks + 3):
    with arrived:
        seen = count[0]
    t = time.perf_counter()
    post.request("POST", "/api/input", body, {"Content-Type": "application/json", "X-Tuckline-Token": token,
                                              "Origin": f"http://127.0.0.1:{address.port}"})
    answer = post.getresponse()
    answer.read()
    if answer.status != 200:
        sys.exit(f"footprint.sh: the click was refused ({answer.status})")
    with arrived:
        arrived.wait_for(lambda: count[0] > seen, 10)
    if i >= 3:
        times.append((time.perf_counter() - t) * 1000)
print(f"{statistics.median(times):.2f}")
PY
  stopWeb
}
u10=$(update 10 0); u1000=$(update 1000 0); l64=$(update 10 65536)
awk -v a="$u10" -v b="$u1000" -v c="$l64" 'BEGIN { printf "10 items %.2f  1000 items %.2f  -> %.2fx\nempty log %.2f  64 KB log %.2f  -> %.2fx\n", a, b, b/a, a, c, c/a }'

echo "== one diagnostics record against a raw append (ns: record, append, ratio, record at 1 MB of log, record in a new second each time, its ratio)"
echo "TZ unset: $(env -u TZ "$logRecord")"
echo "TZ=Asia/Shanghai: $(TZ=Asia/Shanghai "$logRecord")"
