// What a click's update costs the server as the log grows: from the POST
// to the event it brings on the stream, for two browser desktops run side
// by side, one with an empty log and one with 64 KB of log shown, clicked
// in turn (paired runs, so a busy machine slows both alike). No browser:
// the stream is read as a page's EventSource reads it. Prints figures;
// asserts nothing.
//
//   node frontends/web/bench/update-cost.mjs [path/to/tuckline-web] [clicks]
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { request } from 'node:http';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const program = process.argv[2] || path.join(here, '../../../build/default/frontends/web/tuckline-web');
const clicks = Number(process.argv[3] || 100);
const dir = mkdtempSync(path.join(tmpdir(), 'tuckline-cost-'));

async function server(name, logBytes) {
  const home = path.join(dir, name);
  mkdirSync(path.join(home, 'Library/Logs'), { recursive: true });
  mkdirSync(path.join(home, 'Library/Preferences'), { recursive: true });
  // No first-run alert: every update below is a click's.
  writeFileSync(path.join(home, 'Library/Preferences/com.ferrowick.tuckline.plist'),
    '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict><key>didShowIntro</key><true/></dict></plist>\n');
  let log = '';
  for (let i = 0; log.length < logBytes; i++)
    log += `[2026-12-05 09:${String(i % 60).padStart(2, '0')}:00] 切换为收起\n  菜单栏高度=24.0\n` +
           '  分隔符: 【无图标→看不见】 length=10000.0 x=-8851 y=958 w=10000 h=24 可见=false 在屏内=false 屏幕宽=1512\n';
  writeFileSync(path.join(home, 'Library/Logs/Tuckline.log'), log);
  const proc = spawn(program, ['--home', home, '--port', '0'], { stdio: ['ignore', 'pipe', 'ignore'] });
  const address = await new Promise((resolve, reject) => {
    let out = '';
    proc.stdout.on('data', (c) => {
      out += c;
      const m = out.match(/(http:\/\/127\.0\.0\.1:(\d+))\/\?token=([0-9a-f]{32})\n/);
      if (m) resolve({ origin: m[1], port: Number(m[2]), token: m[3] });
    });
    proc.once('exit', (code) => reject(new Error(`tuckline-web ended (${code})`)));
  });
  // The stream, as events: each waiter gets the next one.
  const waiting = [];
  let buffered = '';
  const events = [];
  request(`${address.origin}/api/events?token=${address.token}`, (res) => {
    res.setEncoding('utf8');
    res.on('data', (chunk) => {
      buffered += chunk;
      for (let end; (end = buffered.indexOf('\n\n')) >= 0;) {
        const block = buffered.slice(0, end);
        buffered = buffered.slice(end + 2);
        if (!block.includes('\ndata: ')) continue;
        const at = performance.now();
        if (waiting.length) waiting.shift()(at);
        else events.push(at);
      }
    });
  }).end();
  const next = () => (events.length ? Promise.resolve(events.shift()) : new Promise((resolve) => waiting.push(resolve)));
  await next();  // the whole state
  const click = async () => {
    events.length = 0;
    const start = performance.now();
    await new Promise((resolve, reject) => {
      const req = request(`${address.origin}/api/input`, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', 'X-Tuckline-Token': address.token, Origin: address.origin },
      }, (res) => { res.resume(); res.on('end', resolve); });
      req.on('error', reject);
      req.end('{"type":"click","item":"arrow"}');
    });
    const at = await next();
    // The click's log record follows 0.3 s later: let it pass first.
    await next();
    return at - start;
  };
  return { proc, click };
}

const empty = await server('empty', 0);
const long = await server('long', 80 * 1024);
for (const s of [empty, long]) for (let i = 0; i < 4; i++) await s.click();  // warm
const a = [], b = [];
for (let i = 0; i < clicks; i++) {
  a.push(await empty.click());
  b.push(await long.click());
}
const median = (xs) => [...xs].sort((x, y) => x - y)[Math.floor(xs.length / 2)];
const ratios = a.map((x, i) => b[i] / x);
console.log(`POST to its event on the stream, ${clicks} paired clicks (ms):`);
console.log(`  empty log:        median ${median(a).toFixed(2)}`);
console.log(`  64 KB log shown:  median ${median(b).toFixed(2)}`);
console.log(`  ratio: ${(median(b) / median(a)).toFixed(2)} (median of paired ratios ${median(ratios).toFixed(2)})`);
for (const s of [empty, long]) {
  s.proc.kill('SIGTERM');
  await new Promise((resolve) => s.proc.once('exit', resolve));
}
rmSync(dir, { recursive: true, force: true });
process.exit(0);
