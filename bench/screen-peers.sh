#!/usr/bin/env bash
# What peers of a copy's screen socket cost it. A copy without a window
# (--headless, real time) on a home whose log and system log each fill the
# 64 KB tail the state shows, so a state is some 130 kB; then:
# - peak memory (VmHWM) with 0, 20 and 100 peers that connect and never
#   read, while one reading peer clicks the arrow CLICKS times (each click
#   and its log record a new state for every peer);
# - at the descriptor limit (RLIMIT_NOFILE 1024, 1,031 peers connected and
#   holding on): the copy's CPU time over SPELL seconds, and whether two
#   clicks through the first peer still reach the log (logs empty here, so
#   that the states are small and the peers come quickly).
# Prints figures; asserts nothing.
# Usage: bench/screen-peers.sh [BUILD_DIR]
#   TUCKLINE_CONSOLE=… measures another build's program; CLICKS (20), SPELL (3),
#   PARTS ("memory limit": either or both).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
console="${TUCKLINE_CONSOLE:-$build/frontends/console/tuckline}"
CLICKS="${CLICKS:-20}" SPELL="${SPELL:-3}" PARTS="${PARTS:-memory limit}" exec python3 - "$console" <<'EOF'
import os, resource, shutil, socket, subprocess, sys, tempfile, time

exe = os.path.abspath(sys.argv[1])
clicks, spell = int(os.environ["CLICKS"]), float(os.environ["SPELL"])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))

record = "[2026-12-06 12:00:00] 切换为收起\n  菜单栏高度=24.0\n  箭头: 有图标 length=-1.0 x=1149 y=958 w=23 h=24 可见=true 在屏内=true 屏幕宽=1512\n"

def start(root, nofile=None, full=True):
    home = os.path.join(root, "home")
    for d in ("Library/Logs", "Library/Preferences", ".simdesktop"):
        os.makedirs(os.path.join(home, d), exist_ok=True)
    with open(os.path.join(home, "Library/Logs/Tuckline.log"), "w") as f:
        f.write(record * (66000 // len(record.encode())) if full else "")
    with open(os.path.join(home, ".simdesktop/system.log"), "w") as f:
        f.write("2026-12-06 12:00:00.000 Tuckline[1:1] [Tuckline] 某条系统日志\n" * (900 if full else 0))
    # No first-run alert: it would hold the log's records until dismissed.
    subprocess.run([exe, "--home", home, "defaults", "write", "didShowIntro", "-bool", "YES"], check=True)
    limit = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))) if nofile else None
    p = subprocess.Popen([exe, "--home", home, "--headless"], stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=open(os.path.join(root, "err"), "w"), preexec_fn=limit)
    sock = os.path.join(home, ".simdesktop/screens/%d.sock" % p.pid)
    for _ in range(500):
        if os.path.exists(sock):
            return p, home, sock
        time.sleep(0.02)
    p.kill()
    sys.exit("no screen socket: " + open(os.path.join(root, "err")).read())

def connect(path, patience=None):
    """Blocking: a full backlog is waited for, with patience at most that long."""
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    until = time.time() + patience if patience else None
    while True:
        try:
            s.setblocking(patience is None)
            s.connect(path)
            break
        except BlockingIOError:
            if time.time() > until:
                s.close()
                raise
            time.sleep(0.01)
    s.settimeout(10)
    return s

class Reader:
    """A peer that reads everything, as a page's server does."""
    def __init__(self, path):
        self.s, self.buf, self.n, self.state = connect(path), b"", 0, 0
    def line(self):
        while b"\n" not in self.buf:
            chunk = self.s.recv(1 << 16)
            if not chunk:
                raise EOFError
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        if line.startswith(b'{"state"'):
            self.state = len(line)
        return line
    def click(self):
        self.n += 1
        self.s.sendall(b'{"id":%d,"input":"{\\"type\\":\\"click\\",\\"item\\":\\"arrow\\"}"}\n' % self.n)
        while b'"id":%d,' % self.n not in self.line():
            pass

def status(pid, key):
    for line in open("/proc/%d/status" % pid):
        if line.startswith(key + ":"):
            return int(line.split()[1])

def cpu(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

def end(p):
    p.terminate()
    try:
        p.wait(10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()

parts = os.environ["PARTS"].split()
if "memory" in parts:
    print("peak memory of a copy (VmHWM), %d clicks by one reading peer:" % clicks)
for silent in (0, 20, 100) if "memory" in parts else ():
    root = tempfile.mkdtemp()
    p, home, sock = start(root)
    try:
        reader = Reader(sock)
        reader.line()
        quiet = []
        for _ in range(silent):
            quiet.append(connect(sock))
            time.sleep(0.01)
        for _ in range(clicks):
            reader.click()
            time.sleep(0.35)  # its log record, 0.3 s later, is a new state too
        reader.s.settimeout(0.5)
        try:
            while True:
                reader.line()
        except (socket.timeout, EOFError):
            pass
        print("  %3d silent peers: %7.1f MB  (state %d bytes)" % (silent, status(p.pid, "VmHWM") / 1024, reader.state))
    finally:
        end(p)
        for s in quiet:
            s.close()
        shutil.rmtree(root, ignore_errors=True)

if "limit" not in parts:
    sys.exit(0)
root = tempfile.mkdtemp()
p, home, sock = start(root, nofile=1024, full=False)
peers = []
try:
    reader = Reader(sock)
    reader.line()
    for _ in range(1030):
        try:
            peers.append(connect(sock, patience=2))
        except OSError:
            break
    time.sleep(0.5)
    before, t = cpu(p.pid), time.time()
    time.sleep(spell)
    used = cpu(p.pid) - before
    print("at the descriptor limit (1024, %d peers connected): %.2f s CPU in %.1f s" % (len(peers) + 1, used, time.time() - t))
    log = os.path.join(home, "Library/Logs/Tuckline.log")
    records = open(log, encoding="utf-8", errors="replace").read().count("切换为")
    try:
        reader.s.settimeout(5)
        for _ in range(2):
            reader.click()
        time.sleep(1)
        added = open(log, encoding="utf-8", errors="replace").read().count("切换为") - records
        print("  two clicks through the first peer: %d log records written" % added)
    except (OSError, EOFError) as e:
        print("  two clicks through the first peer: no answer (%s)" % type(e).__name__)
    said = [l for l in open(os.path.join(root, "err")).read().splitlines() if "peer" in l]
    print("  the copy said: %s" % (said[0] if said else "nothing"))
finally:
    for s in peers:
        s.close()
    end(p)
    shutil.rmtree(root, ignore_errors=True)
EOF
