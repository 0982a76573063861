// What a person sees of the browser desktop: every answer inside the
// window, the desktop's notices, a page cut off from its server, and
// run.sh's own answers. Waits are for conditions, never for a time.
//
// With TUCKLINE_SCREENSHOT=FILE (relative to the repository), the first
// scenario also leaves its picture there, for the README.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { freshHome } from './home.mjs';

const SERVER = process.env.TUCKLINE_WEB;
const CLI = process.env.TUCKLINE_CLI;
const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
const WAIT = 10000;

let browser;
before(async () => {
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
});
after(async () => { await browser?.close(); });

async function server(home) {
  const proc = spawn(SERVER, ['--home', home.path, '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
  const exited = new Promise((resolve) => proc.once('exit', resolve));
  home.runs(proc, exited);
  const url = await new Promise((resolve, reject) => {
    let out = '';
    proc.stdout.on('data', (c) => {
      out += c;
      const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}/);
      if (m) resolve(m[0]);
    });
    proc.once('exit', (code) => reject(new Error(`tuckline-web ended (${code})`)));
  });
  return { proc, exited, url };
}

async function open(t, url, width, height) {
  const context = await browser.newContext({ viewport: { width, height } });
  t.after(() => context.close());
  const page = await context.newPage();
  await page.goto(url);
  return page;
}

async function inView(page, locator, what) {
  await locator.waitFor({ timeout: WAIT });
  const b = await locator.boundingBox();
  const v = page.viewportSize();
  assert.ok(b && b.y >= 0 && b.y + b.height <= v.height && b.x >= 0 && b.x + b.width <= v.width,
            `${what} inside ${v.width} × ${v.height}: ${JSON.stringify(b)}`);
}

test('every answer is inside the window, notices come once and stay listed, the panel names the process shown', async (t) => {
  const { url } = await server(freshHome(t, 'tuckline-page-'));
  for (const [width, height] of [[1280, 800], [1920, 1080]]) {
    const page = await open(t, url, width, height);
    if (width === 1280) await page.locator('#alert button', { hasText: '知道了' }).click({ timeout: WAIT });
    if (await page.locator('#login').isHidden()) await page.locator('#panel-toggle').click();
    await page.locator('#login').click();
    await inView(page, page.locator('.toast', { hasText: 'Tuckline runs as' }), `"Log in"'s answer`);
    // A choice the desktop refuses, answered in view too.
    await page.locator('#frontmost').evaluate((s) => s.append(new Option('Nowhere', 'Nowhere')));
    await page.locator('#frontmost').selectOption('Nowhere');
    await inView(page, page.locator('.toast:not(.good)').last(), 'a refusal');
    // The process shown, once the server says which.
    const shows = await page.evaluate(() => window.tuckline.state.shows);
    if (shows) assert.match(await page.locator('#shows').innerText(), new RegExp(`PID ${shows.pid}`));
    else assert.equal(await page.locator('#shows').isHidden(), shows === undefined);
  }

  // Notices as the server words them, set in the state the page reads.
  const page = await open(t, url, 1280, 800);
  await page.locator('#connection[data-state="open"]').waitFor({ timeout: WAIT });
  let notices = [], bump = 1000;
  await page.route('**/api/state', async (route) => {
    const state = await (await route.fetch()).json();
    await route.fulfill({ json: { ...state, version: state.version + bump++, notices } });
  });
  const reread = async () => {
    const v = await page.evaluate(() => Number(document.body.dataset.version));
    await page.locator('#refresh').dispatchEvent('click');
    await page.waitForFunction((was) => Number(document.body.dataset.version) > was, v, { timeout: WAIT });
  };
  notices = [{ id: 'fonts', text: 'a font is missing' }, { bad: true }];
  await reread();
  await inView(page, page.locator('.toast[data-notice="fonts"]'), 'a notice');
  await reread();
  assert.equal(await page.locator('.toast[data-notice="fonts"]').count(), 1, 'a notice is shown once');
  assert.deepEqual(await page.locator('#notices li').allInnerTexts(), ['a font is missing']);
  assert.match(await page.locator('#panel-toggle').innerText(), /1 notice/);
  notices = [];
  await reread();
  assert.equal(await page.locator('#notices').isHidden(), true);
  await page.unroute('**/api/state');

  if (process.env.TUCKLINE_SCREENSHOT) await picture(t, url);
});

// The README's picture: the menu open over the settings window, the panel
// with the log beside the screen.
async function picture(t, url) {
  const page = await open(t, url, 1760, 900);
  await page.locator('#alert').waitFor({ state: 'hidden', timeout: WAIT });
  for (const then of ['设置…', null]) {
    await page.locator('.item[data-name="arrow"]').click({ button: 'right' });
    if (then) await page.locator('.menu-item', { hasText: then }).click();
  }
  await page.locator('.window .node.text').first().waitFor({ timeout: WAIT });
  await page.locator('#menu').waitFor({ timeout: WAIT });
  await page.screenshot({ path: path.resolve(ROOT, process.env.TUCKLINE_SCREENSHOT) });
}

test('a page cut off from its server says why and how to go on, and takes nothing', async (t) => {
  const { url, proc, exited } = await server(freshHome(t, 'tuckline-page-'));
  const wrong = await open(t, url.replace(/token=\w+/, `token=${'0'.repeat(32)}`), 1280, 800);
  await wrong.locator('#stranded h2', { hasText: 'Wrong token' }).waitFor({ timeout: WAIT });
  assert.doesNotMatch(await wrong.locator('#stranded').innerText(), /has ended/);

  const page = await open(t, url, 1280, 800);
  await page.locator('#connection[data-state="open"]').waitFor({ timeout: WAIT });
  proc.kill('SIGTERM');
  await exited;
  const banner = page.locator('#stranded');
  await banner.locator('h2', { hasText: 'does not answer' }).waitFor({ timeout: WAIT });
  await inView(page, banner, 'the banner');
  assert.match(await banner.innerText(), /\.\/scripts\/run\.sh/);
  assert.match(await page.title(), /^Ended/);
  assert.equal(await page.locator('#login').isDisabled(), true);
  assert.equal(await page.locator('#screen-frame').evaluate((e) => getComputedStyle(e).pointerEvents), 'none');
});

test('run.sh answers --help at once with every option of both programs, and refuses a mistyped one', () => {
  const run = (...args) => spawnSync('bash', [path.join(ROOT, 'scripts/run.sh'), ...args], { encoding: 'utf8', timeout: 5000 });
  const help = run('--help');
  assert.equal(help.status, 0);
  const options = (text) => new Set(text.match(/(?<=^\s+|\| )--[a-z-]+/gm));
  const listed = options(help.stdout);
  for (const program of [SERVER, CLI]) {
    for (const o of options(spawnSync(program, ['--help'], { encoding: 'utf8' }).stdout))
      assert.ok(listed.has(o), `run.sh --help lists ${o} of ${path.basename(program)}`);
  }
  const typo = run('--consol');
  assert.equal(typo.status, 2);
  assert.match(typo.stderr, /unknown option --consol;[^]*--console[^]*--home/);
});
