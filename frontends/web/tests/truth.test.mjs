// What the page is told of other processes on its home: a record another
// process appends to the log reaches it without any input, and a second
// browser desktop on the same home says, at its terminal and to its page,
// that its own copy gave way to the one that already ran. Debian's
// chromium, real servers; every wait is for a condition, never a length of
// time.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { chromium } from 'playwright-core';
import { freshHome } from './home.mjs';

const SERVER = process.env.TUCKLINE_WEB;
const CLI = process.env.TUCKLINE_CLI;
const WAIT = 10000;

let browser;
before(async () => {
  assert.ok(SERVER && CLI, 'TUCKLINE_WEB and TUCKLINE_CLI name the programs');
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
});
after(async () => { await browser?.close(); });

// A server on the home, once it printed its address; ends with the test.
async function serve(home) {
  const proc = spawn(SERVER, ['--home', home.path, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
  let err = '';
  proc.stderr.on('data', (c) => { err += c; });
  const exited = new Promise((resolve) => proc.once('exit', resolve));
  home.runs(proc, exited);
  const url = await new Promise((resolve, reject) => {
    let out = '';
    proc.stdout.on('data', (c) => {
      out += c;
      const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}\n/);
      if (m) resolve(m[0].trim());
    });
    proc.once('exit', (code) => reject(new Error(`tuckline-web ended (${code})`)));
  });
  return { proc, url, stderr: () => err };
}

// A page on the address, with every event its stream brings.
async function open(t, url) {
  const context = await browser.newContext({ viewport: { width: 1800, height: 900 } });
  t.after(() => context.close());
  const page = await context.newPage();
  const events = [];
  const cdp = await context.newCDPSession(page);
  await cdp.send('Network.enable');
  cdp.on('Network.eventSourceMessageReceived', (e) => events.push(e.data));
  await page.goto(url);
  await page.locator('#connection[data-state="open"]').waitFor({ timeout: WAIT });
  return { page, events };
}

// Asked again every few milliseconds: asked on every turn of the event
// loop, the test held a core the servers it waits for need. `what` may be
// a function, for a message that says what was last seen.
const until = async (what, cond) => {
  const end = Date.now() + WAIT;
  while (!(await cond())) {
    if (Date.now() >= end) assert.fail(`waited in vain for ${typeof what === 'function' ? what() : what}`);
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
};

test('a record another process appends to the log reaches the page without any input', async (t) => {
  const home = freshHome(t, 'tuckline-truth-');
  const { proc, url } = await serve(home);
  const { page } = await open(t, url);
  // A console started on the same home gives way, and says so in the log.
  const console_ = spawn(CLI, ['--home', home.path, '--virtual', '--script', '/dev/null'], { stdio: 'ignore' });
  assert.equal(await new Promise((resolve) => console_.once('exit', resolve)), 1);
  await page.waitForFunction((pid) => document.querySelector('#log').textContent.includes(`检测到已有实例 PID=${pid}，本实例退出`),
    proc.pid, { timeout: WAIT });
});

test('a second browser desktop on the home says its copy gave way and shows the one that ran', async (t) => {
  const home = freshHome(t, 'tuckline-truth-');
  const first = await serve(home);
  const second = await serve(home);
  const said = `gave way to PID ${first.proc.pid} (a browser desktop's copy), which already ran on this home; it shows that one.`;
  await until('the terminal to say so', () => second.stderr().includes(said));
  const { events } = await open(t, second.url);
  // The page is told, and is told it shows the first server's copy.
  await until('the notice on the stream', () => events.some((e) => e.includes(said)));
  const shows = `{"how":"a browser desktop's copy","pid":${first.proc.pid}}`;
  await until('the copy shown', () => events.some((e) => e.includes(shows)));
  const notices = JSON.parse(events[0]).notices;
  assert.ok(notices.some((n) => n.id === `gave-way:${second.proc.pid}:${first.proc.pid}` && n.text.includes(said)), events[0]);
  // Once the copy it names has ended, it no longer holds.
  first.proc.kill('SIGTERM');
  const state = async () => {
    const { origin, searchParams } = new URL(second.url);
    const res = await fetch(`${origin}/api/state`, { headers: { 'X-Tuckline-Token': searchParams.get('token') } });
    return res.json();
  };
  let s;
  await until(() => `the notice to go; it still held: ${JSON.stringify(s.notices)}`,
    async () => { s = await state(); return s.shows === null && !s.notices.length; });
});
