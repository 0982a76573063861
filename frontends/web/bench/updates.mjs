// What one click costs the browser desktop: bytes on the event stream per
// update and from the click to the redrawn bar, with a long diagnostics log
// shown in the side panel. Prints figures; asserts nothing.
//
//   node frontends/web/bench/updates.mjs [path/to/tuckline-web] [clicks]
//
// Debian's chromium (CHROMIUM overrides the path), a fresh sandbox home
// with a 64 KB log, the arrow clicked again and again by the page's own
// click handler.
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const server = process.argv[2] || path.join(here, '../../../build/default/frontends/web/tuckline-web');
const clicks = Number(process.argv[3] || 60);

const dir = mkdtempSync(path.join(tmpdir(), 'tuckline-bench-'));
const home = path.join(dir, 'home');
mkdirSync(path.join(home, 'Library/Logs'), { recursive: true });
mkdirSync(path.join(home, 'Library/Preferences'), { recursive: true });
// Earlier days' records, more than the panel shows.
let log = '';
for (let i = 0; log.length < 80 * 1024; i++)
  log += `[2026-12-05 09:${String(i % 60).padStart(2, '0')}:00] 切换为收起\n  菜单栏高度=24.0\n` +
         '  分隔符: 【无图标→看不见】 length=10000.0 x=-8851 y=958 w=10000 h=24 可见=false 在屏内=false 屏幕宽=1512\n' +
         '  箭头: 有图标 length=-1.0 x=1149 y=958 w=23 h=24 可见=true 在屏内=true 屏幕宽=1512\n';
writeFileSync(path.join(home, 'Library/Logs/Tuckline.log'), log);

const proc = spawn(server, ['--home', home, '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
const url = await new Promise((resolve, reject) => {
  let out = '';
  proc.stdout.on('data', (c) => {
    out += c;
    const m = out.match(/http:\/\/127\.0\.0\.1:\d+\S*/);
    if (m) resolve(m[0]);
  });
  proc.once('exit', (code) => reject(new Error(`tuckline-web ended (${code})`)));
});

const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                        args: ['--no-sandbox'] });
const page = await browser.newPage({ viewport: { width: 1500, height: 900 } });
const cdp = await page.context().newCDPSession(page);
await cdp.send('Network.enable');
const messages = [];
cdp.on('Network.eventSourceMessageReceived', (e) => messages.push(Buffer.byteLength(e.data)));

await page.goto(url);
// Times the page's render of each update, whatever it draws.
await page.evaluate(() => {
  const draw = window.render;
  window.render = function timed(...args) {
    const start = performance.now();
    const result = draw.apply(this, args);
    performance.measure('tuckline-render', { start });
    return result;
  };
});
await page.locator('#alert button', { hasText: '知道了' }).click({ timeout: 10000 });
await page.locator('#alert').waitFor({ state: 'hidden' });
// Past the start-up's records, so every update below is a click's.
await page.waitForTimeout(2500);

const latencies = [];
const drawn = [];
const renders = [];
messages.length = 0;
for (let i = 0; i < clicks; i++) {
  const { laidOut, total, render } = await page.evaluate(() => new Promise((resolve) => {
    const want = document.body.dataset.collapsed === 'true' ? 'false' : 'true';
    performance.clearMeasures();
    const t0 = performance.now();
    const seen = new MutationObserver(() => {
      if (document.body.dataset.collapsed !== want) return;
      seen.disconnect();
      // Redrawn: the page's drawing done and laid out (reading a size
      // makes the browser lay it out now).
      void document.body.offsetHeight;
      const laidOut = performance.now() - t0;
      // Painted: the frame the change went into is on the screen, which
      // adds the wait for the display's next frame (up to 16.7 ms at 60 Hz).
      requestAnimationFrame(() => setTimeout(() => {
        const m = performance.getEntriesByName('tuckline-render');
        resolve({ laidOut, total: performance.now() - t0, render: m.length ? m[m.length - 1].duration : NaN });
      }, 0));
    });
    seen.observe(document.body, { attributes: true, attributeFilter: ['data-collapsed'] });
    document.querySelector('.item[data-name="arrow"]').dispatchEvent(new MouseEvent('click', { bubbles: true }));
  }));
  latencies.push(total);
  drawn.push(laidOut);
  renders.push(render);
  // The click's log record follows 0.3 s later; let it arrive before the next.
  await page.waitForTimeout(400);
}

const sorted = (a) => a.filter((x) => !Number.isNaN(x)).sort((x, y) => x - y);
const pct = (a, p) => { const s = sorted(a); return s.length ? s[Math.min(s.length - 1, Math.floor(p * s.length))] : NaN; };
const sum = messages.reduce((a, b) => a + b, 0);
console.log(`clicks: ${clicks}, stream messages: ${messages.length}`);
console.log(`bytes per update: mean ${(sum / Math.max(1, messages.length)).toFixed(0)}, ` +
            `max ${Math.max(0, ...messages)}, per click ${(sum / clicks).toFixed(0)}`);
console.log(`click to redrawn bar (ms): median ${pct(drawn, 0.5).toFixed(1)}, p90 ${pct(drawn, 0.9).toFixed(1)}`);
console.log(`click to painted frame (ms): median ${pct(latencies, 0.5).toFixed(1)}, p90 ${pct(latencies, 0.9).toFixed(1)}`);
console.log(`page's render of an update (ms): median ${pct(renders, 0.5).toFixed(2)}, p90 ${pct(renders, 0.9).toFixed(2)}`);

await browser.close();
proc.kill('SIGTERM');
await new Promise((resolve) => proc.once('exit', resolve));
rmSync(dir, { recursive: true, force: true });
