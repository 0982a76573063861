// What one click costs the browser desktop: bytes on the event stream per
// update, and the page's work from the click to the redrawn bar, with an
// empty log and with a 64 KB one shown in the side panel. The two run in
// pairs, one round of each in turn, so a busy machine weighs on both alike.
// Prints figures; asserts nothing.
//
//   node frontends/web/bench/updates.mjs [path/to/tuckline-web] [clicks per round] [rounds]
//
// Debian's chromium (CHROMIUM overrides the path), a fresh sandbox home per
// log size, a window wide enough that the panel and its log are laid out,
// and the arrow clicked again and again by the page's own click handler.
// Any build of the page can be measured, this one's or an older one's.
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const server = process.argv[2] || path.join(here, '../../../build/default/frontends/web/tuckline-web');
const clicks = Number(process.argv[3] || 20);
const rounds = Number(process.argv[4] || 4);

const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                        args: ['--no-sandbox'] });

// A server on a home whose log already holds `bytes` of earlier days'
// records, and a page on it past the intro.
async function desktop(bytes) {
  const dir = mkdtempSync(path.join(tmpdir(), 'tuckline-bench-'));
  const home = path.join(dir, 'home');
  mkdirSync(path.join(home, 'Library/Logs'), { recursive: true });
  mkdirSync(path.join(home, 'Library/Preferences'), { recursive: true });
  let log = '';
  for (let i = 0; log.length < bytes; i++)
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
  const page = await browser.newPage({ viewport: { width: 1920, height: 1080 } });
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Network.enable');
  const messages = [];
  cdp.on('Network.eventSourceMessageReceived', (e) => messages.push(Buffer.byteLength(e.data)));
  await page.goto(url);
  // Each drawing of an update measured with the layout it leaves: the page's
  // own switch where it has one, else its global render wrapped (the page
  // before its modules).
  await page.evaluate(() => {
    if (window.tuckline) {
      window.tuckline.timing = true;
      return;
    }
    const draw = window.render;
    window.render = function timed(...args) {
      const start = performance.now();
      const result = draw.apply(this, args);
      void document.body.offsetHeight;
      performance.measure('tuckline-render', { start });
      return result;
    };
  });
  await page.locator('#alert button', { hasText: '知道了' }).click({ timeout: 10000 });
  await page.locator('#alert').waitFor({ state: 'hidden' });
  // Past the start-up's records, so every update below is a click's.
  await page.waitForTimeout(2500);
  const close = async () => {
    await page.close();
    proc.kill('SIGTERM');
    await new Promise((resolve) => proc.once('exit', resolve));
    rmSync(dir, { recursive: true, force: true });
  };
  return { page, messages, close, figures: { drawn: [], painted: [], click: [], record: [] } };
}

// One click: the time to the redrawn bar and to the painted frame, the
// page's work on the click's update, then on its log record 0.3 s later.
async function click(d) {
  const r = await d.page.evaluate(() => new Promise((resolve) => {
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
  d.figures.drawn.push(r.laidOut);
  d.figures.painted.push(r.total);
  d.figures.click.push(r.render);
  // The click's log record follows 0.3 s later: the drawing of the update
  // that brings it.
  const record = await d.page.evaluate(() => new Promise((resolve) => {
    performance.clearMeasures();
    const started = performance.now();
    const poll = () => {
      const m = performance.getEntriesByName('tuckline-render');
      if (m.length) resolve(m[m.length - 1].duration);
      else if (performance.now() - started > 2000) resolve(NaN);
      else setTimeout(poll, 20);
    };
    poll();
  }));
  d.figures.record.push(record);
  await d.page.waitForTimeout(100);
}

const sizes = [['empty log', 0], ['64 KB log', 64 * 1024]];
const desktops = [];
for (const [, bytes] of sizes) desktops.push(await desktop(bytes));
for (const d of desktops) d.messages.length = 0;
for (let round = 0; round < rounds; round++)
  for (const d of desktops)
    for (let i = 0; i < clicks; i++) await click(d);

const sorted = (a) => a.filter((x) => !Number.isNaN(x)).sort((x, y) => x - y);
const pct = (a, p) => { const s = sorted(a); return s.length ? s[Math.min(s.length - 1, Math.floor(p * s.length))] : NaN; };
const ms = (a) => `median ${pct(a, 0.5).toFixed(2)}, p90 ${pct(a, 0.9).toFixed(2)}`;
console.log(`${server}: ${rounds} rounds of ${clicks} clicks per log size`);
sizes.forEach(([name], k) => {
  const { messages, figures: f } = desktops[k];
  const sum = messages.reduce((a, b) => a + b, 0);
  const n = rounds * clicks;
  console.log(`${name}:`);
  console.log(`  bytes per update: mean ${(sum / Math.max(1, messages.length)).toFixed(0)}, ` +
              `max ${Math.max(0, ...messages)}, per click ${(sum / n).toFixed(0)}`);
  console.log(`  click to redrawn bar (ms): ${ms(f.drawn)}`);
  console.log(`  click to painted frame (ms): ${ms(f.painted)}`);
  console.log(`  page's work on the click's update, drawn and laid out (ms): ${ms(f.click)}`);
  console.log(`  page's work on its log record's update, drawn and laid out (ms): ${ms(f.record)}`);
});
const ratio = (get) => pct(get(desktops[1].figures), 0.5) / pct(get(desktops[0].figures), 0.5);
console.log(`64 KB / empty, medians: click to redrawn ×${ratio((f) => f.drawn).toFixed(2)}, ` +
            `log record's update ×${ratio((f) => f.record).toFixed(2)}`);

for (const d of desktops) await d.close();
await browser.close();
