// The browser desktop as a person uses it: Debian's chromium drives the
// page of a real tuckline-web on a fresh sandbox home. Every wait is for a
// condition on the page or the server, never for a length of time.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { request } from 'node:http';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const SERVER = process.env.TUCKLINE_WEB;
const BROWSER = process.env.CHROMIUM || '/usr/bin/chromium';
const WAIT = 10000;

let browser;
before(async () => {
  assert.ok(SERVER, 'TUCKLINE_WEB names the tuckline-web binary');
  browser = await chromium.launch({ executablePath: BROWSER, args: ['--no-sandbox'] });
});
after(async () => { await browser?.close(); });

// A tuckline-web on that home, once it has printed its address.
async function startServer(home, args = []) {
  const server = spawn(SERVER, ['--home', home, '--port', '0', ...args], { stdio: ['ignore', 'pipe', 'inherit'] });
  const exited = new Promise((resolve) => server.once('exit', resolve));
  // The printed address carries the session's token.
  const { url, token } = await new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (chunk) => {
      out += chunk;
      const m = out.match(/(http:\/\/127\.0\.0\.1:\d+)\/\?token=([0-9a-f]{32})\n/);
      if (m) resolve({ url: m[1], token: m[2] });
    });
    server.once('exit', (code) => reject(new Error(`tuckline-web ended (${code}) before printing its address`)));
  });
  return { server, exited, url, token };
}

// A server on a home of its own, and a page on it; both end with the test.
async function desktop(t, { args = [], viewport = { width: 1500, height: 900 } } = {}) {
  const dir = mkdtempSync(path.join(tmpdir(), 'tuckline-web-'));
  const home = path.join(dir, 'home');
  const { server, exited, url, token } = await startServer(home, args);
  const context = await browser.newContext({ viewport });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  // Servers the test starts later on the same home end before it goes.
  const others = [];
  t.after(async () => {
    await context.close();
    server.kill('SIGTERM');
    assert.equal(await exited, 0, 'tuckline-web quits cleanly on SIGTERM');
    for (const other of others) {
      other.server.kill('SIGTERM');
      await other.exited;
    }
    rmSync(dir, { recursive: true, force: true });
    assert.deepEqual(errors, [], 'the page runs without script errors');
  });
  await page.goto(`${url}/?token=${token}`);
  await page.locator('#connection[data-state="open"]').waitFor({ timeout: WAIT });
  return { page, context, server, exited, url, token, home, alsoOnHome: (other) => others.push(other) };
}

const item = (page, name) => page.locator(`.item[data-name="${name}"]`);
const waitState = (page, fn, arg) => page.waitForFunction(fn, arg, { timeout: WAIT });
const collapsed = (page, yes) =>
  waitState(page, (want) => document.body.dataset.collapsed === String(want), yes);

// The intro alert greets every fresh home; most scenarios start past it.
async function pastIntro(page) {
  const ok = page.locator('#alert button', { hasText: '知道了' });
  await ok.click({ timeout: WAIT });
  await page.locator('#alert').waitFor({ state: 'hidden', timeout: WAIT });
}

async function openMenu(page, how = 'right') {
  if (how === 'right') await item(page, 'arrow').click({ button: 'right' });
  else await item(page, 'arrow').click({ modifiers: ['Control'] });
  await page.locator('#menu').waitFor({ timeout: WAIT });
}

test('the bar shows the arrow, the separator line and the other icons; the intro alert answers', async (t) => {
  const { page } = await desktop(t);
  await waitState(page, () => document.querySelector('.item[data-name="arrow"]')?.dataset.image === 'chevron.right');
  // The separator is its image: a filled 1-point line, tinted as the bar.
  const line = item(page, 'separator').locator('svg rect');
  assert.equal(await line.count(), 1);
  assert.equal(await line.getAttribute('fill'), 'currentColor');
  assert.equal(await line.getAttribute('height'), '14');
  for (const name of ['Dropbox', 'Wi-Fi', 'Battery', 'Clock'])
    assert.equal(await item(page, name).getAttribute('data-visible'), 'true', name);
  assert.match(await item(page, 'Clock').innerText(), /\d+月\d+日 周. \d\d:\d\d/);
  await page.locator('#app-menus', { hasText: 'Finder' }).waitFor();

  const alert = page.locator('#alert');
  await alert.locator('.alert-message', { hasText: 'Tuckline 使用说明' }).waitFor({ timeout: WAIT });
  assert.match(await alert.locator('.alert-informative').innerText(), /⌃⌥⌘ B/);
  await pastIntro(page);

  // Again from the menu; its second button opens the settings.
  await openMenu(page);
  await page.locator('.menu-item', { hasText: '使用说明…' }).click();
  await alert.locator('button', { hasText: '打开设置' }).click({ timeout: WAIT });
  await page.locator('.window .window-title', { hasText: 'Tuckline 设置' }).waitFor({ timeout: WAIT });
  assert.equal(await alert.isHidden(), true);
});

test('a Command-dragged icon goes behind the separator; arrow, hot key and hover collapse and expand', async (t) => {
  const { page } = await desktop(t);
  await pastIntro(page);
  const x = async (name) => (await item(page, name).boundingBox()).x;

  // Drop Dropbox just left of the separator, as a person does with ⌘ held.
  const from = await item(page, 'Dropbox').boundingBox();
  const to = await item(page, 'separator').boundingBox();
  await page.keyboard.down('Meta');
  await page.mouse.move(from.x + from.width / 2, from.y + from.height / 2);
  await page.mouse.down();
  await page.mouse.move(to.x + 1, to.y + to.height / 2, { steps: 8 });
  // Held over the separator: the line and the arrow move aside to make room.
  // (Where each is going: the glide there takes a moment.)
  const shift = (n) => item(page, n).evaluate((e) => Number(/translateX\((-?[\d.]+)px\)/.exec(e.style.transform)?.[1] ?? 0));
  assert.ok((await shift('separator')) > 10 && (await shift('arrow')) > 10, 'room made for the dragged icon');
  assert.equal(await shift('Slack'), 0);
  await page.mouse.up();
  await page.keyboard.up('Meta');
  await waitState(page, () => {
    const left = (n) => parseFloat(document.querySelector(`.item[data-name="${n}"]`).style.left);
    return left('Dropbox') < left('separator');
  });

  await item(page, 'arrow').click();
  await collapsed(page, true);
  assert.equal(await item(page, 'arrow').getAttribute('data-image'), 'chevron.left');
  assert.equal(await item(page, 'separator').locator('svg').count(), 0, 'no line while collapsed');
  assert.equal(await item(page, 'Dropbox').isHidden(), true, 'pushed off the screen');
  assert.equal(await item(page, 'Slack').isVisible(), true, 'right of the arrow, stays');

  await item(page, 'arrow').click();
  await collapsed(page, false);
  await item(page, 'Dropbox').waitFor({ state: 'visible', timeout: WAIT });
  assert.ok((await x('Dropbox')) < (await x('separator')));

  // The preset hot key, pressed on the keyboard.
  await page.keyboard.press('Control+Alt+Meta+KeyB');
  await collapsed(page, true);

  // Resting on the arrow expands; leaving it collapses again 1.5 s later.
  await page.mouse.move(700, 500);
  await item(page, 'arrow').hover();
  await collapsed(page, false);
  await waitState(page, () => /by hover/.test(document.querySelector('#app-state').textContent));
  await page.mouse.move(700, 500);
  await collapsed(page, true);
});

test('the context menu opens the settings, whose controls write the defaults; quit and launch again', async (t) => {
  const { page, home } = await desktop(t);
  await pastIntro(page);

  await openMenu(page);
  const menu = page.locator('#menu');
  assert.equal(await menu.locator('.menu-item, .menu-separator').count(), 10);
  assert.equal(await menu.locator('.menu-separator').count(), 3);
  assert.deepEqual(await menu.locator('.menu-item .title').allInnerTexts(),
    ['隐藏图标', '隐藏图标', '显示图标', '重新放置到最右侧', '设置…', '使用说明…', '退出 Tuckline']);
  assert.equal(await menu.locator('.menu-item', { hasText: '设置…' }).locator('.key').innerText(), '⌘,');
  assert.equal(await menu.locator('.menu-item', { hasText: '退出' }).locator('.key').innerText(), '⌘Q');
  await page.keyboard.press('Escape');
  await menu.waitFor({ state: 'hidden', timeout: WAIT });
  assert.equal(await page.evaluate(() => document.body.dataset.collapsed), 'false', 'the menu changed nothing');

  await openMenu(page, 'control');
  await menu.locator('.menu-item', { hasText: '设置…' }).click();
  const win = page.locator('.window');
  await win.locator('.window-title', { hasText: 'Tuckline 设置' }).waitFor({ timeout: WAIT });

  // The separator switch: the line goes, and the choice is stored on disk.
  const sw = win.locator('[role="switch"][aria-label="显示分隔线"]');
  assert.equal(await sw.getAttribute('aria-checked'), 'true');
  await sw.click();
  await waitState(page, () => /showSeparator = 0/.test(document.querySelector('#defaults').textContent));
  assert.equal(await sw.getAttribute('aria-checked'), 'false');
  assert.equal(await item(page, 'separator').locator('svg').count(), 0);
  const plist = readFileSync(path.join(home, 'Library/Preferences/com.ferrowick.tuckline.plist'), 'utf8');
  assert.match(plist, /<key>showSeparator<\/key>\s*<false\/>/);

  // The delay slider, dragged to its right end, reports on the way.
  const slider = win.locator('input[type="range"]');
  const box = await slider.boundingBox();
  await page.mouse.move(box.x + box.width * 0.15, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.5, box.y + box.height / 2, { steps: 5 });
  await waitState(page, () => /autoCollapseDelay = (?!5\b)/.test(document.querySelector('#defaults').textContent));
  await page.mouse.move(box.x + box.width + 20, box.y + box.height / 2, { steps: 5 });
  await page.mouse.up();
  await waitState(page, () => /autoCollapseDelay = 30\b/.test(document.querySelector('#defaults').textContent));
  await win.locator('.node.text', { hasText: '30 秒' }).waitFor({ timeout: WAIT });

  // The hot-key pop-up: a click opens its menu, another picks an item.
  await win.locator('.popup-button').click();
  await page.locator('#popup-menu [role="option"]', { hasText: '不使用' }).click();
  await waitState(page, () => /hotKeyPreset = 3/.test(document.querySelector('#defaults').textContent));
  await win.locator('.popup-title', { hasText: '不使用' }).waitFor({ timeout: WAIT });
  assert.equal(await page.locator('#popup-menu').isHidden(), true);

  await win.locator('.close').click();
  await win.waitFor({ state: 'detached', timeout: WAIT });

  await openMenu(page);
  await menu.locator('.menu-item', { hasText: '退出 Tuckline' }).click();
  await page.locator('#quit').waitFor({ timeout: WAIT });
  // Its items went with the process; the other applications' stay.
  assert.equal(await page.locator('.item[data-own="true"]').count(), 0);
  assert.ok(await item(page, 'Dropbox').isVisible());
  await page.locator('#relaunch').click();
  await page.locator('#quit').waitFor({ state: 'hidden', timeout: WAIT });
  // The stored choice holds across the launch: no line.
  await waitState(page, () => document.querySelector('.item[data-name="arrow"]')?.dataset.image === 'chevron.right');
  assert.equal(await item(page, 'separator').locator('svg').count(), 0);
});

test('after a quit, Log in brings the launch agent\'s copy, a process of its own, onto the page, which drives it', async (t) => {
  const { page, home } = await desktop(t);
  await pastIntro(page);
  await openMenu(page);
  await page.locator('#menu .menu-item', { hasText: '退出 Tuckline' }).click();
  await page.locator('#quit').waitFor({ timeout: WAIT });
  // What switching start at login on writes: the agent runs this program.
  mkdirSync(path.join(home, 'Library/LaunchAgents'), { recursive: true });
  writeFileSync(path.join(home, 'Library/LaunchAgents/com.ferrowick.tuckline.plist'),
    '<plist version="1.0"><dict><key>Label</key><string>com.ferrowick.tuckline</string>' +
    `<key>ProgramArguments</key><array><string>${SERVER}</string></array>` +
    '<key>RunAtLoad</key><true/></dict></plist>');
  const panel = await page.locator('#login').isVisible();
  if (!panel) await page.locator('#panel-toggle').click();
  await page.locator('#login').click();
  if (!panel) await page.locator('#panel-toggle').click();
  await page.locator('#quit').waitFor({ state: 'hidden', timeout: WAIT });
  await item(page, 'arrow').waitFor({ timeout: WAIT });
  await item(page, 'arrow').click();
  await collapsed(page, true);
  // That copy is not this server's: its log record names another process.
  await waitState(page, () => /切换为收起[^[]*进程 PID=\d+/.test(document.querySelector('#log').textContent));
  const log = await page.locator('#log').textContent();
  const pid = Number(log.match(/切换为收起[^[]*进程 PID=(\d+)/)[1]);
  assert.notEqual(pid, 0);
  // Quit from its menu: the page says so, and offers the launch again.
  await openMenu(page);
  await page.locator('#menu .menu-item', { hasText: '退出 Tuckline' }).click();
  await page.locator('#quit').waitFor({ timeout: WAIT });
});

test('on a 1280 × 800 laptop the bar stays legible, the panel folds away and the window moves by its title bar', async (t) => {
  const { page, url, token } = await desktop(t, { viewport: { width: 1280, height: 800 } });
  const box = async (sel) => page.locator(sel).first().boundingBox();
  assert.ok((await box('#bar')).height >= 20, 'bar at least 20 px high');
  assert.equal(await page.locator('#panel').isHidden(), true);
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= innerWidth), 'no sideways scrolling');
  for (const name of ['arrow', 'Clock']) {
    const b = await item(page, name).boundingBox();
    assert.ok(b.x >= 0 && b.x + b.width <= 1280, `${name} on the page`);
  }
  // The alert's two short buttons side by side, the default one on the right.
  await page.locator('#alert .alert-message').waitFor({ timeout: WAIT });
  const ok = await box('#alert button.default');
  const other = await box('#alert button:not(.default)');
  assert.ok(Math.abs(ok.y - other.y) < 1 && ok.x > other.x + other.width, 'buttons in one row');

  await page.locator('#alert button', { hasText: '打开设置' }).click();
  const win = page.locator('.window');
  await win.waitFor({ timeout: WAIT });
  // The whole usage note is there to read.
  const note = await win.locator('.node.text', { hasText: '注意' }).boundingBox();
  assert.ok(note.y + note.height <= (await box('.window')).y + (await box('.window')).height);
  assert.ok(note.y + note.height <= 800, 'the note is on the page');

  // Dragged by its title bar, the window goes along, and the desktop keeps
  // it there: closed and opened again, it is where it was left.
  const frame = async () =>
    JSON.parse((await http(`${url}/api/state`, { headers: { 'X-Tuckline-Token': token } })).text).windows[0]?.frame;
  const before = await frame();
  const scale = (await box('#bar')).width / 1512;
  const title = await box('.window .titlebar');
  await page.mouse.move(title.x + title.width / 2, title.y + title.height / 2);
  await page.mouse.down();
  await page.mouse.move(title.x + title.width / 2 - 200, title.y + title.height / 2 + 60, { steps: 6 });
  await page.mouse.up();
  await waitState(page, (x) => {
    const w = document.querySelector('.window');
    return w && Math.abs(parseFloat(w.style.left) - x) < 2;
  }, before.x - 200 / scale);
  // The page places the window as the hand moves; the desktop has it only
  // once the move sent at the release is answered.
  let moved = await frame();
  for (const end = Date.now() + WAIT; moved.x === before.x && Date.now() < end; moved = await frame())
    await new Promise((resolve) => setTimeout(resolve, 20));
  assert.ok(Math.abs(moved.x - (before.x - 200 / scale)) < 2 && moved.y < before.y, JSON.stringify({ before, moved }));
  // Never above the menu bar.
  const high = await box('.window .titlebar');
  await page.mouse.move(high.x + 100, high.y + 5);
  await page.mouse.down();
  await page.mouse.move(high.x + 100, 0, { steps: 4 });
  await page.mouse.up();
  await waitState(page, () => document.querySelector('.window')?.style.top === '24px');
  await win.locator('.close').click();
  await win.waitFor({ state: 'detached', timeout: WAIT });
  await openMenu(page);
  await page.locator('.menu-item', { hasText: '设置…' }).click();
  await waitState(page, () => document.querySelector('.window')?.style.top === '24px');

  // The panel slides in on request.
  await page.locator('#panel-toggle').click();
  await page.locator('#panel').waitFor({ timeout: WAIT });
});

test('a notched screen shows no item in or left of the notch; another application brought to the front', async (t) => {
  // A wide icon of another application pushes Tuckline's into the notch.
  const { page } = await desktop(t, { args: ['--notch', '--items', 'Dropbox:26,Wide:380,Slack:24'] });
  await pastIntro(page);
  await page.locator('#notch').waitFor();
  await waitState(page, () => document.querySelector('.item[data-name="arrow"]')?.dataset.visible === 'false');
  assert.equal(await item(page, 'separator').getAttribute('data-visible'), 'false');
  assert.equal(await item(page, 'Wide').getAttribute('data-visible'), 'true');

  await page.locator('#panel-toggle').click();
  await page.locator('#frontmost').selectOption('DaVinci Resolve');
  await page.locator('#app-menus .menu-title', { hasText: 'Fairlight' }).waitFor({ timeout: WAIT });
  const notch = await page.locator('#notch').boundingBox();
  for (const box of await page.locator('#app-menus .menu-title').evaluateAll((els) =>
    els.map((e) => { const r = e.getBoundingClientRect(); return { x: r.x, right: r.right }; })))
    assert.ok(box.right <= notch.x + 0.5 || box.x >= notch.x + notch.width - 0.5, 'no title under the notch');
});

test('after a run of updates sent as patches the page holds exactly the state the server has', async (t) => {
  const { page, url, token } = await desktop(t);
  await pastIntro(page);
  await item(page, 'arrow').click();
  await collapsed(page, true);
  await page.keyboard.press('Control+Alt+Meta+KeyB');
  await collapsed(page, false);
  await openMenu(page);
  await page.locator('.menu-item', { hasText: '设置…' }).click();
  await page.locator('[role="switch"][aria-label="显示分隔线"]').click();
  await waitState(page, () => /showSeparator = 0/.test(document.querySelector('#defaults').textContent));
  // The 0.3 s log records come as patches too; compare once both sides agree on the version.
  for (;;) {
    const server = JSON.parse((await http(`${url}/api/state`, { headers: { 'X-Tuckline-Token': token } })).text);
    const shown = await page.evaluate(() => ({ ...tuckline.state }));
    if (shown.version !== server.version) {
      await page.waitForFunction((v) => Number(document.body.dataset.version) >= v, server.version, { timeout: WAIT });
      continue;
    }
    assert.ok(server.version > 5);
    assert.deepEqual(shown, server);
    break;
  }
});

// Raw HTTP, to send what no page of ours would.
function http(url, { method = 'GET', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const req = request(url, { method, headers }, (res) => {
      let text = '';
      res.on('data', (c) => { text += c; });
      res.on('end', () => resolve({ status: res.statusCode, text }));
    });
    req.on('error', reject);
    req.end(body);
  });
}

test('the server answers only the page it printed the address of, and refuses bad input without a change', async (t) => {
  const { page, url, token } = await desktop(t);
  const state = async () => JSON.parse((await http(`${url}/api/state`, { headers: { 'X-Tuckline-Token': token } })).text);
  const before = await state();
  const ours = { 'Content-Type': 'application/json', 'X-Tuckline-Token': token, Origin: url };
  const post = (body, headers = {}) => http(`${url}/api/input`, { method: 'POST', headers: { ...ours, ...headers }, body });
  const click = '{"type":"click","item":"arrow"}';

  assert.equal((await http(`${url}/api/state`, { headers: { Host: 'evil.example:80', 'X-Tuckline-Token': token } })).status, 403);
  assert.equal((await http(`${url}/api/state`)).status, 401);
  assert.equal((await http(`${url}/api/events?token=${'0'.repeat(32)}`)).status, 403);
  assert.equal((await post(click, { 'X-Tuckline-Token': '' })).status, 401);
  assert.equal((await post(click, { Origin: 'http://evil.example' })).status, 403);
  assert.equal((await post(click, { Origin: url.replace(/\d+$/, (p) => String(Number(p) + 1)) })).status, 403);
  assert.equal((await post(click, { Origin: '' })).status, 403);
  assert.equal((await post(click, { 'Content-Type': 'text/plain' })).status, 415);
  assert.equal((await post('{"type":"click","item":')).status, 400);
  assert.equal((await post('{"type":"click","item":42}')).status, 400);
  assert.equal((await post('{"type":"teleport"}')).status, 400);
  assert.equal((await post(JSON.stringify({ type: 'click', item: 'x'.repeat(20000) }))).status, 413);
  assert.equal((await post('{"type":"click","item":"Nowhere"}')).status, 409);
  const after = await state();
  assert.equal(after.app.collapsed, before.app.collapsed);
  assert.deepEqual(after.items, before.items);
  await page.locator('#alert').waitFor();  // the page kept working
});

test('an open menu and an alert answer the keyboard as on a Mac; the panel can always quit the app', async (t) => {
  const { page } = await desktop(t);
  const alert = page.locator('#alert');
  await alert.waitFor({ timeout: WAIT });
  await page.keyboard.press('Escape');  // no Cancel button: Escape leaves the alert as it is
  await page.keyboard.press('Enter');  // its default button, 知道了
  await alert.waitFor({ state: 'hidden', timeout: WAIT });
  assert.match(await page.locator('#hotkey-hint').innerText(), /The hot key ⌃⌥⌘B works/);

  const menu = page.locator('#menu');
  const highlighted = () => menu.locator('.menu-item.highlighted .title').allInnerTexts();
  await openMenu(page);
  assert.deepEqual(await highlighted(), []);
  await page.keyboard.press('ArrowUp');
  assert.deepEqual(await highlighted(), ['退出 Tuckline']);
  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('ArrowUp');
  assert.deepEqual(await highlighted(), ['设置…']);
  await page.keyboard.press('ArrowDown');
  assert.deepEqual(await highlighted(), ['使用说明…']);
  await page.keyboard.press('Enter');
  await alert.locator('.alert-message', { hasText: '使用说明' }).waitFor({ timeout: WAIT });
  await page.keyboard.press('Enter');
  await alert.waitFor({ state: 'hidden', timeout: WAIT });

  await openMenu(page);
  await page.keyboard.press('Escape');
  await menu.waitFor({ state: 'hidden', timeout: WAIT });
  // The key equivalents the menu shows: ⌘, opens the settings, ⌘Q quits.
  await openMenu(page);
  await page.keyboard.press('Meta+Comma');
  await page.locator('.window .window-title', { hasText: 'Tuckline 设置' }).waitFor({ timeout: WAIT });
  assert.equal(await menu.isHidden(), true);
  await openMenu(page);
  await page.keyboard.press('Meta+KeyQ');
  await page.locator('#quit').waitFor({ timeout: WAIT });

  // With no arrow to reach, the panel's Quit ends it the system's way.
  await page.locator('#relaunch').click();
  await page.locator('#quit').waitFor({ state: 'hidden', timeout: WAIT });
  await page.locator('#panel-toggle').click();
  await page.locator('#terminate').click();
  await page.locator('#quit').waitFor({ timeout: WAIT });
  assert.equal(await page.locator('.item[data-own="true"]').count(), 0);
  assert.equal(await page.locator('#terminate').isDisabled(), true);
});

test('a page without its token, or left open across a restart, says so and how to get the address', async (t) => {
  const { page, context, server, exited, url, home, alsoOnHome } = await desktop(t);
  const stranded = page.locator('#stranded');
  const port = url.replace(/.*:/, '');

  const bare = await context.newPage();
  await bare.goto(`${url}/`);
  await bare.locator('#stranded h2', { hasText: 'without its token' }).waitFor({ timeout: WAIT });
  assert.match(await bare.locator('#stranded').innerText(), /\.\/scripts\/run\.sh/);
  assert.equal(await bare.locator('#screen-frame').isHidden(), true);
  await bare.close();

  // The server goes: the page says so and keeps trying.
  server.kill('SIGTERM');
  assert.equal(await exited, 0);
  await stranded.locator('h2', { hasText: 'does not answer' }).waitFor({ timeout: WAIT });
  // A new one on the same port has a token of its own: the page stops asking.
  const again = await startServer(home, ['--port', port]);
  alsoOnHome(again);
  assert.equal(again.url, url);
  await stranded.locator('h2', { hasText: 'Wrong token' }).waitFor({ timeout: WAIT });
  assert.match(await stranded.innerText(), /\.\/scripts\/run\.sh/);
  assert.equal(await page.locator('#screen-frame').isHidden(), true);
  await waitState(page, () => tuckline.events === null);
});

// The desktop measures text in the font the page draws it with: every menu
// title, menu item and text of the settings window is as wide on the page
// as the desktop says, to a pixel, and each menu title fits its place.
test('every text on the screen is as wide on the page as the desktop measured it', async (t) => {
  const { page } = await desktop(t);
  await pastIntro(page);
  const measure = () => page.evaluate(() => {
    const state = tuckline.state;
    const scale = document.querySelector('#bar').getBoundingClientRect().width / state.screen.width;
    const drawn = (node, from = 0, to = node.textContent.length) => {
      const r = document.createRange();
      r.setStart(node, from);
      r.setEnd(node, to);
      return r.getBoundingClientRect().width / scale;
    };
    const out = [];
    state.frontmost.titles.forEach((title, i) => {
      const e = document.querySelector(`#app-menus [data-key="t${i}"]`);
      out.push({ text: title.text, page: drawn(e.firstChild), desktop: title.textWidth, room: title.width });
    });
    const rows = Array.from(document.querySelectorAll('#menu .menu-item'));
    (state.menu?.items || []).filter((it) => !it.separator).forEach((it, i) => {
      out.push({ text: it.title, page: drawn(rows[i].querySelector('.title').firstChild), desktop: it.titleWidth });
      if (it.keyLabel) out.push({ text: it.keyLabel, page: drawn(rows[i].querySelector('.key').firstChild), desktop: it.keyWidth });
    });
    const measured = new Map();
    const walk = (n) => {
      if (n.kind === 'text') measured.set(n.lines.join('\n'), n.lineWidths);
      if (n.kind === 'popup' || n.kind === 'button') measured.set(n.text, [n.textWidth]);
      (n.children || []).forEach(walk);
    };
    state.windows.forEach((w) => walk(w.view));
    for (const e of document.querySelectorAll('.window .node.text, .window .popup-title, .window .node.button button')) {
      const node = e.firstChild;
      if (!node) continue;
      let from = 0;
      node.textContent.split('\n').forEach((line, i) => {
        if (line) out.push({ text: line, page: drawn(node, from, from + line.length), desktop: measured.get(node.textContent)?.[i] });
        from += line.length + 1;
      });
    }
    return out;
  });

  await openMenu(page);
  await page.locator('.menu-item', { hasText: '设置…' }).click();
  await page.locator('.window .node.text').first().waitFor({ timeout: WAIT });
  await openMenu(page);
  const texts = await measure();
  await page.keyboard.press('Escape');
  // English titles too, kerned.
  await page.locator('#panel-toggle').click();
  await page.locator('#frontmost').selectOption('DaVinci Resolve');
  await page.locator('#app-menus .menu-title', { hasText: 'Fairlight' }).waitFor({ timeout: WAIT });
  texts.push(...(await measure()).filter((x) => x.room !== undefined));

  const worst = texts.reduce((w, x) => Math.max(w, Math.abs(x.page - x.desktop)), 0);
  t.diagnostic(`${texts.length} texts, largest difference page − desktop ${worst.toFixed(3)} px`);
  for (const x of texts) t.diagnostic(`${(x.page - x.desktop).toFixed(3).padStart(7)} px  ${x.text}`);
  assert.ok(texts.length > 50, 'titles, menu items and the window\'s texts are all there');
  for (const x of texts) {
    assert.ok(Math.abs(x.page - x.desktop) <= 1, `${x.text}: page ${x.page} px, desktop ${x.desktop}`);
    if (x.room !== undefined) assert.ok(x.page <= x.room, `${x.text} fits its place in the bar`);
  }
});
