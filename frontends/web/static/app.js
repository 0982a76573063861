// The browser desktop's page. Everything shown is drawn from the server's
// state (GET /api/state, then pushed on /api/events); the page keeps no model
// of its own and only turns what a person does into POST /api/input.
'use strict';

const $ = (sel) => document.querySelector(sel);

// The session's secret: the address tuckline-web printed carries it
// (?token=…), and the server wants it back with every request.
const TOKEN = new URLSearchParams(location.search).get('token') || '';
const api = (path, init = {}) => fetch(path, { ...init, headers: { ...init.headers, 'X-Tuckline-Token': TOKEN } });
const SVG = 'http://www.w3.org/2000/svg';

let state = null;       // the last state drawn
let shownVersion = 0;
let scale = 1;

// ---------------------------------------------------------------- input

// Inputs go out one after another, in the order they happened; a slider
// dragged faster than the desktop answers only sends where it is now.
// Each send settles once its input has been answered.
const queue = [];
let sending = false;

function send(input) {
  return new Promise((resolve) => {
    const last = queue[queue.length - 1];
    if (last && input.type === 'window' && input.action === 'slide' &&
        last.input.type === 'window' && last.input.action === 'slide' && last.input.row === input.row) {
      last.input.value = input.value;
      last.done.push(resolve);
    } else {
      queue.push({ input, done: [resolve] });
    }
    if (!sending) pump();
  });
}

async function pump() {
  sending = true;
  while (queue.length) {
    const { input, done } = queue.shift();
    try {
      const res = await api('/api/input', {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(input),
      });
      const reply = await res.json().catch(() => ({}));
      if (refusesToken(res, reply)) strand('stale');
      else if (!res.ok) toast(reply.error || `${input.type}: ${res.status}`);
    } catch (e) {
      toast('the browser desktop does not answer');
    }
    for (const resolve of done) resolve();
  }
  sending = false;
}

// ---------------------------------------------------------------- stranded

// What the page says when it cannot reach its desktop, and what to do.
const STRANDED = {
  'no-token': ['This page was opened without its token',
    'The browser desktop answers only the address it printed when it started, which ends in ?token=…. ' +
    'Open that address; to see it again, run ', './scripts/run.sh', ' (it prints the current address).'],
  stale: ['This page belongs to a browser desktop that has ended',
    'The server now at this address was started after this page was opened and has a token of its own, ' +
    'so it does not answer this page. Open the address it printed; to see it again, run ', './scripts/run.sh',
    ' (it prints the current address).'],
  gone: ['The browser desktop does not answer',
    'tuckline-web has ended or is restarting; this page tries again every few seconds. To start it, run ',
    './scripts/run.sh', ' and open the address it prints.'],
};
let stranded = '';

// A page that has no token, or another session's, stays stranded: no
// request of it can succeed, so it stops asking.
function strand(kind) {
  if (stranded === kind || stranded === 'no-token' || stranded === 'stale') return;
  stranded = kind;
  document.body.dataset.stranded = kind;
  const box = $('#stranded');
  box.hidden = !kind;
  const conn = $('#connection');
  if (!kind) return;
  const [title, before, command, after] = STRANDED[kind];
  box.querySelector('h2').textContent = title;
  box.querySelector('p').replaceChildren(before, el('code', '', command), after);
  conn.dataset.state = 'lost';
  conn.textContent = kind === 'gone' ? 'reconnecting…' : 'not connected';
  if (kind !== 'gone') stopStream();
}

function refusesToken(res, reply) {
  return res.status === 401 || (res.status === 403 && reply.error === "this is not this session's token");
}

let toastTimer = 0;
function toast(text, good = false) {
  const t = $('#toast');
  t.textContent = text;
  t.classList.toggle('good', good);
  t.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { t.hidden = true; }, 4000);
}

function modifiersOf(e) {
  const m = [];
  if (e.ctrlKey) m.push('ctrl');
  if (e.altKey) m.push('opt');
  if (e.shiftKey) m.push('shift');
  if (e.metaKey) m.push('cmd');
  return m;
}

// ---------------------------------------------------------------- helpers

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function svg(tag, attrs) {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
  return e;
}

function place(e, x, y, w, h) {
  e.style.left = `${x}px`;
  e.style.top = `${y}px`;
  if (w !== undefined) e.style.width = `${w}px`;
  if (h !== undefined) e.style.height = `${h}px`;
}

// Keeps one element per key, in order, creating, updating and removing as
// the state says; elements that stay keep their hover, focus and open state.
function reconcile(parent, entries, create, update) {
  const old = new Map();
  for (const child of Array.from(parent.children)) if (child.dataset.key) old.set(child.dataset.key, child);
  let i = 0;
  for (const entry of entries) {
    let e = old.get(entry.key);
    if (e && e.dataset.sort !== entry.sort) {
      e.remove();
      e = undefined;
    }
    if (!e) {
      e = create(entry);
      e.dataset.key = entry.key;
      e.dataset.sort = entry.sort;
    }
    old.delete(entry.key);
    update(e, entry);
    if (parent.children[i] !== e) parent.insertBefore(e, parent.children[i] || null);
    i++;
  }
  for (const e of old.values()) e.remove();
}

// System colours as AppKit draws them in light mode.
const COLORS = {
  labelColor: [0, 0, 0, 0.85],
  secondaryLabelColor: [0, 0, 0, 0.5],
  tertiaryLabelColor: [0, 0, 0, 0.26],
  quaternaryLabelColor: [0, 0, 0, 0.1],
  separatorColor: [0, 0, 0, 0.1],
  blackColor: [0, 0, 0, 1],
  whiteColor: [255, 255, 255, 1],
  systemRedColor: [255, 59, 48, 1],
  systemOrangeColor: [255, 149, 0, 1],
  systemGreenColor: [40, 205, 65, 1],
  systemBlueColor: [0, 122, 255, 1],
  controlAccentColor: [0, 122, 255, 1],
  linkColor: [0, 104, 218, 1],
};
function cssColor(c) {
  if (!c) return '';
  const [r, g, b, a] = COLORS[c.name] || [0, 0, 0, 0.85];
  return `rgba(${r}, ${g}, ${b}, ${a * (c.alpha ?? 1)})`;
}

// ---------------------------------------------------------------- icons

function chevron(symbol, size) {
  const h = Math.max(8, size.height || 12);
  const w = Math.max(5, size.width || 7);
  const s = svg('svg', { width: w, height: h, viewBox: '0 0 7 12', 'aria-label': symbol });
  const d = symbol === 'chevron.left' ? 'M5.6 1 L1.2 6 L5.6 11' : 'M1.4 1 L5.8 6 L1.4 11';
  s.append(svg('path', { d, fill: 'none', stroke: 'currentColor', 'stroke-width': 1.7,
                         'stroke-linecap': 'round', 'stroke-linejoin': 'round' }));
  return s;
}

function drawnBitmap(image) {
  // The bitmap's fills, flipped from its bottom-left origin.
  const w = image.width || 1, h = image.height || 1;
  const s = svg('svg', { width: w, height: h, viewBox: `0 0 ${w} ${h}`, 'aria-label': 'line' });
  for (const f of image.fills || []) {
    const fill = image.template ? 'currentColor' : cssColor({ name: f.color });
    s.append(svg('rect', { x: f.x, y: h - f.y - f.height, width: f.width, height: f.height, fill }));
  }
  return s;
}

function systemSymbol(name) {
  // What the simulated system knows of a symbol, drawn loosely.
  const s = svg('svg', { width: 16, height: 14, viewBox: '0 0 16 14', 'aria-label': name });
  s.append(svg('rect', { x: 1, y: 1, width: 14, height: 12, rx: 3, fill: 'none', stroke: 'currentColor' }));
  return s;
}

const GLYPHS = {
  Dropbox: () => {
    const s = svg('svg', { width: 17, height: 15, viewBox: '0 0 20 18' });
    for (const [x, y] of [[0, 3.5], [10, 3.5], [0, 9.5], [10, 9.5]])
      s.append(svg('path', { d: `M${x + 5} ${y - 3} L${x + 10} ${y} L${x + 5} ${y + 3} L${x} ${y} Z`, fill: 'currentColor' }));
    s.append(svg('path', { d: 'M5 14 L10 17 L15 14 L10 11 Z', fill: 'currentColor' }));
    return s;
  },
  Slack: () => {
    const s = svg('svg', { width: 15, height: 15, viewBox: '0 0 16 16' });
    for (const [x, y, w, h] of [[5, 1, 2.6, 9], [8.4, 6, 2.6, 9], [1, 8.4, 9, 2.6], [6, 5, 9, 2.6]])
      s.append(svg('rect', { x, y, width: w, height: h, rx: 1.3, fill: 'currentColor' }));
    return s;
  },
  '1Password': () => {
    const s = svg('svg', { width: 15, height: 15, viewBox: '0 0 16 16' });
    s.append(svg('circle', { cx: 8, cy: 8, r: 6.6, fill: 'none', stroke: 'currentColor', 'stroke-width': 1.6 }));
    s.append(svg('rect', { x: 7, y: 4, width: 2, height: 8, rx: 1, fill: 'currentColor' }));
    return s;
  },
  Docker: () => {
    const s = svg('svg', { width: 19, height: 14, viewBox: '0 0 22 16' });
    for (const [x, y] of [[2, 6], [5.5, 6], [9, 6], [12.5, 6], [5.5, 2.5], [9, 2.5]])
      s.append(svg('rect', { x, y, width: 3, height: 3, fill: 'currentColor' }));
    s.append(svg('path', { d: 'M1 10 H19 C20 8 21 8 21.5 8.5 C20 13 15 15 9 15 C4 15 1.5 13 1 10 Z', fill: 'currentColor' }));
    return s;
  },
  Zoom: () => {
    const s = svg('svg', { width: 17, height: 12, viewBox: '0 0 18 12' });
    s.append(svg('rect', { x: 0.5, y: 1.5, width: 11.5, height: 9, rx: 2.2, fill: 'currentColor' }));
    s.append(svg('path', { d: 'M12.8 4.6 L17 2 V10 L12.8 7.4 Z', fill: 'currentColor' }));
    return s;
  },
  'Wi-Fi': () => {
    const s = svg('svg', { width: 17, height: 13, viewBox: '0 0 18 13' });
    for (const r of [12, 8, 4])
      s.append(svg('path', { d: `M${9 - r * 0.72} ${12 - r * 0.72} A${r} ${r} 0 0 1 ${9 + r * 0.72} ${12 - r * 0.72}`,
                             fill: 'none', stroke: 'currentColor', 'stroke-width': 1.9, 'stroke-linecap': 'round' }));
    s.append(svg('circle', { cx: 9, cy: 11.6, r: 1.3, fill: 'currentColor' }));
    return s;
  },
  Battery: () => {
    const s = svg('svg', { width: 26, height: 12, viewBox: '0 0 26 12' });
    s.append(svg('rect', { x: 0.5, y: 0.5, width: 22, height: 11, rx: 3, fill: 'none', stroke: 'currentColor', opacity: 0.55 }));
    s.append(svg('rect', { x: 2, y: 2, width: 14.5, height: 8, rx: 1.5, fill: 'currentColor' }));
    s.append(svg('path', { d: 'M24 4 C25.5 4.3 25.5 7.7 24 8 Z', fill: 'currentColor', opacity: 0.55 }));
    return s;
  },
  'Control Centre': () => {
    const s = svg('svg', { width: 16, height: 13, viewBox: '0 0 16 13' });
    s.append(svg('rect', { x: 0.8, y: 0.8, width: 14.4, height: 4.8, rx: 2.4, fill: 'none', stroke: 'currentColor', 'stroke-width': 1.3 }));
    s.append(svg('circle', { cx: 12.7, cy: 3.2, r: 1.6, fill: 'currentColor' }));
    s.append(svg('rect', { x: 0.8, y: 7.4, width: 14.4, height: 4.8, rx: 2.4, fill: 'none', stroke: 'currentColor', 'stroke-width': 1.3 }));
    s.append(svg('circle', { cx: 3.3, cy: 9.8, r: 1.6, fill: 'currentColor' }));
    return s;
  },
};

function itemContent(item) {
  if (item.own) {
    const img = item.image || { kind: 'none' };
    if (img.kind === 'symbol') {
      if (img.symbol === 'chevron.left' || img.symbol === 'chevron.right') return chevron(img.symbol, img);
      return systemSymbol(img.symbol);
    }
    if (img.kind === 'line') return drawnBitmap(img);
    return null;  // no image: an empty stretch of bar
  }
  if (item.name === 'Clock') return el('span', 'label', item.text || '');
  if (GLYPHS[item.name]) return GLYPHS[item.name]();
  const initials = item.name.replace(/[^A-Za-z0-9]/g, '').slice(0, 2) || '?';
  return el('span', 'glyph', initials);
}

// A signature of what an item looks like, to redraw its inside only when
// that changed.
function looks(item) {
  if (!item.own) return item.text === undefined ? item.name : item.name + '\n' + item.text;
  const img = item.image || {};
  return JSON.stringify([img.kind, img.symbol, img.template, img.width, img.height, img.fills]);
}

// ---------------------------------------------------------------- drawing

// Draws a state; with `changed`, the names of its parts that differ from
// the one drawn before, only what shows them.
function render(s, changed = null) {
  if (!s || typeof s.version !== 'number' || s.version <= shownVersion) return;
  state = s;
  shownVersion = s.version;
  const any = (...parts) => !changed || parts.some((p) => changed.has(p));
  if (any('screen')) layoutScreen();
  if (any('screen', 'frontmost')) renderMenus();
  if (any('screen', 'items', 'menu')) renderItems();
  if (any('screen', 'menu')) renderMenu();
  if (any('screen', 'alert')) renderAlert();
  if (any('screen', 'windows', 'terminated')) renderWindows();
  if (any('app', 'terminated')) renderAppState();
  if (any('panel')) renderPanel();
  if (any('panel', 'terminated')) renderHotKeyHint();
  $('#quit').hidden = !s.terminated;
  $('#terminate').disabled = !!s.terminated;
  document.body.dataset.version = String(s.version);
  document.body.dataset.collapsed = s.app ? String(s.app.collapsed) : '';
}

// The bar is never drawn less than this high: below it the icons and the
// clock cannot be made out. A frame too narrow for that shows the right
// end of the screen, where the status items are, and scrolls.
const MIN_BAR_PX = 20;

function layoutScreen() {
  const sc = state.screen;
  const screen = $('#screen');
  const frame = $('#screen-frame');
  const fit = frame.clientWidth / sc.width || 1;
  const least = MIN_BAR_PX / (sc.thickness || 24);
  const overflowing = fit < least;
  scale = Math.max(fit, least);
  screen.style.width = `${sc.width}px`;
  screen.style.height = `${sc.height}px`;
  screen.style.transform = `scale(${scale})`;
  // Only the top of the screen where the window would end below the page;
  // the hint and the connection's state stay in sight under it.
  const hint = $('#hint');
  const room = window.innerHeight - frame.getBoundingClientRect().top - hint.offsetHeight - 28;
  frame.style.height = `${Math.max(240, Math.min(sc.height * scale, room))}px`;
  frame.classList.toggle('overflowing', overflowing);
  if (overflowing && !frame.dataset.scrolled) {
    frame.dataset.scrolled = '1';
    frame.scrollLeft = frame.scrollWidth;
  }
  $('#bar').style.height = `${sc.thickness}px`;
  const notch = $('#notch');
  notch.hidden = !sc.notch;
  if (sc.notch) place(notch, sc.notchX, 0, sc.notchWidth, sc.thickness);
}

function renderMenus() {
  const box = $('#app-menus');
  const f = state.frontmost;
  const entries = [{ key: 'apple', sort: 'apple' }];
  // Each title where the desktop laid it out (past the notch, if one is in
  // the way); status items under the titles are hidden by the desktop.
  (f.titles || []).forEach((t, i) => entries.push({ key: `t${i}`, sort: t.bold ? 'app' : 'menu', title: t }));
  reconcile(box, entries, (e) => {
    if (e.sort === 'apple') {
      const span = el('span', 'apple');
      const s = svg('svg', { width: 13, height: 16, viewBox: '0 0 14 17', 'aria-label': 'Apple' });
      s.append(svg('path', { fill: 'currentColor', d:
        'M11.6 9c0-2.1 1.7-3.1 1.8-3.1-1-1.5-2.5-1.6-3-1.7-1.3-.1-2.5.8-3.1.8-.7 0-1.6-.8-2.7-.8C3.2 4.2 1.9 5 ' +
        '1.2 6.3c-1.5 2.6-.4 6.4 1.1 8.5.7 1 1.5 2.2 2.6 2.1 1-.1 1.4-.7 2.7-.7 1.2 0 1.6.7 2.7.6 1.1 0 1.8-1 ' +
        '2.5-2.1.8-1.2 1.1-2.3 1.1-2.4 0 0-2.3-.9-2.3-3.3zM9.5 2.8c.6-.7 1-1.7.9-2.7-.9 0-1.9.6-2.5 1.3-.6.6-1 ' +
        '1.6-.9 2.6 1 .1 1.9-.5 2.5-1.2z' }));
      span.append(s);
      return span;
    }
    return el('span', e.sort === 'app' ? 'app-name' : 'menu-title');
  }, (node, e) => {
    if (!e.title) return;
    node.textContent = e.title.text;
    place(node, e.title.x, 0, e.title.width);
  });
  const pick = $('#frontmost');
  const names = JSON.stringify(f.applications || []);
  if (pick.dataset.names !== names) {
    pick.dataset.names = names;
    pick.replaceChildren(...(f.applications || []).map((n) => { const o = el('option', '', n); o.value = n; return o; }));
  }
  pick.value = f.app;
}

function renderItems() {
  const sc = state.screen;
  const openUnder = state.menu && state.menu.under;
  // Names are not unique everywhere: two own items without a button are
  // both "separator".
  const seen = new Map();
  const entries = state.items.map((item) => {
    const n = (seen.get(item.name) || 0) + 1;
    seen.set(item.name, n);
    return { key: `${item.name}#${n}`, sort: item.own ? 'own' : 'other', item };
  });
  reconcile($('#items'), entries, (e) => {
    const node = el('div', 'item');
    node.dataset.name = e.item.name;
    node.setAttribute('role', 'menuitem');
    node.addEventListener('mouseenter', () => { if (!drag) send({ type: 'hover', item: node.dataset.name }); });
    node.addEventListener('mouseleave', () => { if (!drag) send({ type: 'unhover' }); });
    return node;
  }, (node, e) => {
    const item = e.item;
    place(node, item.x, 0, item.width);
    node.dataset.visible = String(item.visible);
    node.dataset.onScreen = String(item.onScreen);
    node.dataset.own = String(item.own);
    const sig = looks(item);
    if (node.dataset.looks !== sig) {
      node.dataset.looks = sig;
      node.replaceChildren();
      const content = itemContent(item);
      if (content) node.append(content);
    }
    node.dataset.image = item.own ? (item.image ? (item.image.symbol || item.image.kind) : 'none') : 'app';
    node.title = item.toolTip || '';
    node.classList.toggle('highlighted', openUnder === item.name);
  });
}

// The row of the open menu the arrow keys or the pointer are on, by index.
let menuHighlight = -1;

function highlightMenuRow(i) {
  menuHighlight = i;
  Array.from($('#menu').children).forEach((row, k) => row.classList.toggle('highlighted', k === i));
}

function renderMenu() {
  const box = $('#menu');
  const m = state.menu;
  // A menu that opens anew starts with nothing highlighted.
  if (!m || box.hidden) menuHighlight = -1;
  box.hidden = !m;
  if (!m) return;
  const entries = m.items.map((it, i) => ({ key: String(i), sort: it.separator ? 'sep' : 'item', it }));
  reconcile(box, entries, (e) => {
    if (e.sort === 'sep') return el('div', 'menu-separator');
    const row = el('div', 'menu-item');
    row.setAttribute('role', 'menuitem');
    row.append(el('span', 'title'), el('span', 'key'));
    row.addEventListener('mouseenter', () => {
      highlightMenuRow(row.classList.contains('disabled') ? -1 : Array.from(box.children).indexOf(row));
    });
    row.addEventListener('mouseleave', () => highlightMenuRow(-1));
    row.addEventListener('mouseup', (ev) => {
      ev.stopPropagation();
      if (!row.classList.contains('disabled')) send({ type: 'menu', choose: row.dataset.title });
    });
    return row;
  }, (row, e) => {
    if (e.sort === 'sep') return;
    row.dataset.title = e.it.title;
    row.querySelector('.title').textContent = e.it.title;
    row.querySelector('.key').textContent = e.it.keyLabel || '';
    row.classList.toggle('disabled', !e.it.enabled);
  });
  highlightMenuRow(menuHighlight);
  const top = state.screen.thickness + 1;
  const x = m.x ?? 0;
  const width = box.offsetWidth;
  place(box, Math.max(4, Math.min(x, state.screen.width - width - 4)), top);
}

function renderAlert() {
  const box = $('#alert');
  const a = state.alert;
  box.hidden = !a;
  if (!a) return;
  box.querySelector('.alert-message').textContent = a.message;
  box.querySelector('.alert-informative').textContent = a.informative;
  const buttons = box.querySelector('.alert-buttons');
  reconcile(buttons, a.buttons.map((b, i) => ({ key: `${i}:${b}`, sort: 'b', title: b, first: i === 0 })), (e) => {
    const b = el('button', e.first ? 'default' : '', e.title);
    b.type = 'button';
    b.addEventListener('click', () => send({ type: 'alert', button: e.title }));
    return b;
  }, () => {});
  // Side by side, the default one on the right, when every title fits in
  // its half; one above the other, the default first, when one does not.
  buttons.classList.remove('stacked');
  const cramped = Array.from(buttons.children).some((b) => b.scrollWidth > b.clientWidth);
  buttons.classList.toggle('stacked', a.buttons.length > 2 || cramped);
  place(box, (state.screen.width - box.offsetWidth) / 2, state.screen.height * 0.18);
}

function renderWindows() {
  const box = $('#windows');
  const sc = state.screen;
  // An application's windows go with it, whatever the ended desktop kept.
  const entries = (state.terminated ? [] : state.windows).map((w, i) => ({ key: `${i}:${w.title}`, sort: 'w', w }));
  reconcile(box, entries, (e) => {
    const win = el('div', 'window');
    win.setAttribute('role', 'dialog');
    const bar = el('div', 'titlebar');
    bar.addEventListener('mousedown', (ev) => {
      if (ev.button !== 0 || ev.target.closest('.traffic')) return;
      ev.preventDefault();
      windowDrag = { win, start: screenPoint(ev), left: parseFloat(win.style.left), top: parseFloat(win.style.top) };
    });
    const traffic = el('div', 'traffic');
    const close = el('span', 'close');
    close.title = 'close';
    close.addEventListener('click', () => send({ type: 'window', action: 'close' }));
    traffic.append(close, el('span'), el('span'));
    bar.append(traffic, el('span', 'window-title'));
    win.append(bar, el('div', 'content'));
    return win;
  }, (win, e) => {
    const w = e.w;
    // Where the person holds it, it stays until let go.
    if (!windowDrag || windowDrag.win !== win)
      place(win, w.frame.x, sc.height - (w.frame.y + w.frame.height), w.frame.width, w.frame.height);
    win.querySelector('.window-title').textContent = w.title;
    win.querySelector('.close').hidden = !w.closable;
    win.classList.toggle('inactive', !w.key);
    const flat = [];
    if (w.view) flatten(w.view, '0', flat);
    reconcile(win.querySelector('.content'), flat, createNode, updateNode);
  });
}

function flatten(node, path, out) {
  if (node.kind !== 'stack' && node.kind !== 'view') out.push({ key: path, sort: node.kind, node });
  (node.children || []).forEach((c, i) => flatten(c, `${path}.${i}`, out));
}

function createNode(e) {
  const n = e.node;
  const box = el('div', `node ${n.kind}`);
  if (n.kind === 'switch') {
    box.setAttribute('role', 'switch');
    box.addEventListener('click', () => send({ type: 'window', action: 'switch', row: box.dataset.row }));
  } else if (n.kind === 'slider') {
    const input = el('input');
    input.type = 'range';
    input.step = 'any';
    input.addEventListener('input', () => {
      sliderFill(input);
      send({ type: 'window', action: 'slide', row: box.dataset.row, value: Number(input.value) });
    });
    input.addEventListener('pointerdown', () => { input.dataset.active = '1'; });
    input.addEventListener('pointerup', () => { delete input.dataset.active; });
    input.addEventListener('change', () => { delete input.dataset.active; });
    box.append(input);
  } else if (n.kind === 'popup') {
    const b = el('button', 'popup-button');
    b.type = 'button';
    b.setAttribute('aria-haspopup', 'listbox');
    b.append(el('span', 'popup-title'), el('span', 'popup-arrows'));
    b.addEventListener('mousedown', (ev) => {
      if (ev.button !== 0) return;
      ev.preventDefault();
      ev.stopPropagation();
      openPopUp(box, ev);
    });
    box.append(b);
  } else if (n.kind === 'button') {
    const b = el('button');
    b.type = 'button';
    b.addEventListener('click', () => send({ type: 'window', action: 'button', title: b.textContent }));
    box.append(b);
  }
  return box;
}

function updateNode(box, e) {
  const n = e.node;
  const f = n.frame;
  place(box, f.x, f.y, f.width, f.height);
  box.dataset.row = n.row || '';
  if (n.background) box.style.background = cssColor(n.background);
  if (n.kind === 'text') {
    box.textContent = (n.lines && n.lines.length ? n.lines : [n.text]).join('\n');
    box.style.fontSize = `${n.font.size}px`;
    box.style.lineHeight = `${Math.round(n.font.size * 1.25)}px`;
    box.style.fontWeight = n.font.weight === 'semibold' ? '600' : n.font.weight === 'medium' ? '500' : '400';
    box.style.fontVariantNumeric = n.font.monospacedDigits ? 'tabular-nums' : '';
    box.style.color = cssColor(n.color) || 'rgba(0, 0, 0, 0.85)';
    box.classList.toggle('right', n.alignment === 'right');
  } else if (n.kind === 'custom') {
    box.classList.toggle('divider', !!n.divider);
  } else if (n.kind === 'switch') {
    box.classList.toggle('on', !!n.on);
    box.setAttribute('aria-checked', String(!!n.on));
    box.setAttribute('aria-label', n.row || 'switch');
  } else if (n.kind === 'slider') {
    const input = box.querySelector('input');
    input.min = n.min;
    input.max = n.max;
    input.setAttribute('aria-label', n.row || 'slider');
    // Not under the person's pointer: they are moving it.
    if (!input.dataset.active) input.value = n.value;
    input.dataset.value = String(n.value);
    sliderFill(input);
  } else if (n.kind === 'popup') {
    const b = box.querySelector('.popup-button');
    b.setAttribute('aria-label', n.row || 'pop-up');
    b.querySelector('.popup-title').textContent = n.text || '';
    box.dataset.items = JSON.stringify(n.items);
    box.dataset.selected = String(n.selected);
  } else if (n.kind === 'button') {
    box.querySelector('button').textContent = n.text;
  }
}

// The track is filled with the accent colour up to the knob, as AppKit
// draws a slider in the key window.
function sliderFill(input) {
  const min = Number(input.min), max = Number(input.max), v = Number(input.value);
  const part = max > min ? Math.min(1, Math.max(0, (v - min) / (max - min))) : 0;
  input.style.setProperty('--fill', `${(part * 100).toFixed(2)}%`);
}

// The press that opened a pop-up's menu, until the pointer has moved:
// letting go right there leaves the menu open, as a quick click does on a
// Mac.
let popUpPress = null;

// A pop-up button's menu opens over the button with the chosen item right
// where the button shows it, a check mark before it, as on a Mac.
function openPopUp(box, e) {
  const menu = $('#popup-menu');
  popUpPress = { x: e.clientX, y: e.clientY };
  const items = JSON.parse(box.dataset.items || '[]');
  const selected = Number(box.dataset.selected);
  menu.replaceChildren(...items.map((title, i) => {
    const row = el('div', 'menu-item');
    row.setAttribute('role', 'option');
    row.setAttribute('aria-selected', String(i === selected));
    row.append(el('span', 'check', i === selected ? '✓' : ''), el('span', 'title', title));
    row.addEventListener('mouseup', (ev) => {
      ev.stopPropagation();
      const press = popUpPress;
      popUpPress = null;
      if (press && Math.hypot(ev.clientX - press.x, ev.clientY - press.y) < 4) return;
      closePopUp();
      if (i !== selected) send({ type: 'window', action: 'pick', row: box.dataset.row, value: title });
    });
    return row;
  }));
  menu.dataset.row = box.dataset.row;
  menu.hidden = false;
  const screen = $('#screen').getBoundingClientRect();
  const button = box.getBoundingClientRect();
  const x = (button.left - screen.left) / scale, y = (button.top - screen.top) / scale;
  const rowTop = menu.children[Math.max(0, selected)]?.offsetTop ?? 0;
  place(menu, x - 18, Math.max(state.screen.thickness + 2, y - rowTop + 1));
  menu.style.minWidth = `${button.width / scale + 24}px`;
}

function closePopUp() {
  $('#popup-menu').hidden = true;
  popUpPress = null;
}

function setText(sel, text) {
  const pre = $(sel);
  if (pre.textContent === text) return;
  const atEnd = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
  pre.textContent = text;
  if (atEnd) pre.scrollTop = pre.scrollHeight;
}

// A file's tail comes as its lines keyed by where each starts in the file
// (zero-padded, so they sort as numbers): an appended record is a few
// additions, not the whole tail again.
function linesText(lines) {
  if (typeof lines === 'string') return lines;
  return Object.keys(lines || {}).sort().map((k) => lines[k]).join('');
}

function renderAppState() {
  const a = state.app;
  $('#app-state').textContent = state.terminated ? 'not running'
    : !a ? 'launching'
    : `${a.collapsed ? 'collapsed' : 'expanded'}${a.expandedByHover ? ' (by hover)' : ''}` +
      `${a.collapseTimerPending ? ', collapse timer running' : ''}${a.didAutoReorder ? ', reordered once' : ''}`;
}

function renderPanel() {
  const p = state.panel || {};
  setText('#log', (p.logTruncated ? '…\n' : '') + (linesText(p.log) || '(empty)'));
  setText('#defaults', p.defaults || '(none)');
  setText('#agent', p.launchAgent || '(not installed)');
  setText('#syslog', (p.systemLogTruncated ? '…\n' : '') + (linesText(p.systemLog) || '(empty)'));
  const f = p.faults || {};
  for (const box of document.querySelectorAll('[data-target]'))
    box.checked = !!(f.items && f.items[box.dataset.target] && f.items[box.dataset.target][box.dataset.kind]);
  $('#logs-missing').checked = !!f.logsFolderMissing;
  for (const box of document.querySelectorAll('[data-symbol]'))
    box.checked = (f.missingSymbols || []).includes(box.dataset.symbol);
  $('#next-queued').textContent = f.nextItem && f.nextItem.length ? `queued: ${f.nextItem.join(', ')}` : '';
  $('#taken').textContent = f.takenHotKeys && f.takenHotKeys.length ? `taken: ${f.takenHotKeys.join(', ')}` : '';
}

// The hot key Tuckline holds now, as the hint under the screen names it.
function renderHotKeyHint() {
  const f = (state.panel || {}).faults || {};
  const set = (f.registeredHotKeys || []).map((k) => keySymbols(k.combo));
  $('#hotkey-hint').textContent = state.terminated ? 'No hot key works while Tuckline is not running.'
    : set.length ? `The hot key ${set.join(', ')} works anywhere on the page.`
    : 'No hot key is set (设置… chooses one, unless another application holds it).';
}

// ctrl+opt+cmd+b as a Mac shows it: ⌃⌥⌘B.
function keySymbols(combo) {
  const symbols = { ctrl: '⌃', opt: '⌥', shift: '⇧', cmd: '⌘' };
  return String(combo).split('+').map((p) => symbols[p] || p.toUpperCase()).join('');
}

// ---------------------------------------------------------------- mouse

// A Command-drag (or Option-drag) of a status item, in screen points.
let drag = null;
let suppressClick = false;
// A window held by its title bar.
let windowDrag = null;

// While an icon is Command-dragged the others move aside to open a gap
// where it would land, as the menu bar does. System items stay put, and
// nothing goes into their area.
function makeRoom(d, target) {
  const from = state.items.find((i) => i.name === d.name);
  const shifts = new Map();
  if (from && target) {
    const firstSystem = state.items.find((i) => i.system && i.visible);
    let at = target.leftOf ? target.item.x : target.item.x + target.item.width;
    if (firstSystem) at = Math.min(at, firstSystem.x);
    for (const item of state.items) {
      if (item === from || item.system || !item.visible) continue;
      const mid = item.x + item.width / 2;
      if (at < from.x && mid > at && mid < from.x) shifts.set(item.name, from.width);
      if (at > from.x && mid > from.x + from.width && mid < at) shifts.set(item.name, -from.width);
    }
  }
  for (const node of document.querySelectorAll('#items .item')) {
    if (node === d.node) continue;
    const by = shifts.get(node.dataset.name);
    node.style.transform = by ? `translateX(${by}px)` : '';
  }
}

function clearRoom() {
  for (const node of document.querySelectorAll('#items .item')) if (node !== drag?.node) node.style.transform = '';
}

function screenPoint(e) {
  const r = $('#screen').getBoundingClientRect();
  return { x: (e.clientX - r.left) / scale, y: (e.clientY - r.top) / scale };
}

function dropTarget(x, name) {
  let best = null;
  for (const item of state.items) {
    if (!item.visible || item.name === name) continue;
    const d = x < item.x ? item.x - x : x > item.x + item.width ? x - item.x - item.width : 0;
    if (!best || d < best.d) best = { d, item };
  }
  if (!best) return null;
  return { other: best.item.name, leftOf: x < best.item.x + best.item.width / 2, item: best.item };
}

function setupMouse() {
  const items = $('#items');
  items.addEventListener('mousedown', (e) => {
    const node = e.target.closest('.item');
    if (!node || e.button !== 0 || !(e.metaKey || e.altKey)) return;
    e.preventDefault();
    drag = { name: node.dataset.name, node, start: screenPoint(e), moved: false };
  });
  window.addEventListener('mousemove', (e) => {
    if (windowDrag) {
      const w = windowDrag, p = screenPoint(e);
      w.moved = true;
      w.x = w.left + p.x - w.start.x;
      // The title bar never goes under the menu bar.
      w.y = Math.max(state.screen.thickness, w.top + p.y - w.start.y);
      place(w.win, w.x, w.y);
      return;
    }
    if (!drag) return;
    const p = screenPoint(e);
    if (!drag.moved && Math.abs(p.x - drag.start.x) < 3) return;
    drag.moved = true;
    drag.node.classList.add('dragging');
    drag.node.style.transform = `translateX(${p.x - drag.start.x}px)`;
    const t = dropTarget(p.x, drag.name);
    makeRoom(drag, t);
  });
  window.addEventListener('mouseup', (e) => {
    if (windowDrag) {
      const w = windowDrag;
      windowDrag = null;
      // AppKit's frame origin: the window's bottom left, from the screen's bottom.
      if (w.moved) send({ type: 'window', action: 'move', x: w.x,
                          y: state.screen.height - w.y - w.win.offsetHeight });
      return;
    }
    if (!drag) return;
    const d = drag;
    drag = null;
    d.node.classList.remove('dragging');
    d.node.style.transform = '';
    if (!d.moved) return;
    suppressClick = true;
    setTimeout(() => { suppressClick = false; }, 0);
    const p = screenPoint(e);
    const t = p.y >= -10 && p.y <= state.screen.thickness + 30 ? dropTarget(p.x, d.name) : null;
    // The gap stays until the bar has the icon in it.
    if (t) send({ type: 'drag', item: d.name, other: t.other, leftOf: t.leftOf }).finally(clearRoom);
    else clearRoom();
  });
  items.addEventListener('click', (e) => {
    const node = e.target.closest('.item');
    if (!node || suppressClick) return;
    send({ type: 'click', item: node.dataset.name, modifiers: modifiersOf(e) });
  });
  items.addEventListener('contextmenu', (e) => {
    const node = e.target.closest('.item');
    if (!node) return;
    e.preventDefault();
    // A Control-click comes here on a Mac (and no click follows): it is a
    // click with Control held, which the app takes as a right-click.
    if (e.button === 0 && e.ctrlKey) send({ type: 'click', item: node.dataset.name, modifiers: modifiersOf(e) });
    else send({ type: 'rightClick', item: node.dataset.name });
  });
  // A click beside an open menu closes it, as on a Mac.
  document.addEventListener('mousedown', (e) => {
    if (!e.target.closest('#popup-menu')) closePopUp();
    else popUpPress = null;
  });
  $('#screen').addEventListener('mousedown', (e) => {
    if (state && state.menu && !e.target.closest('#menu') && !e.target.closest('.item'))
      send({ type: 'menu', close: true });
  });
  window.addEventListener('resize', () => { if (state) { layoutScreen(); renderMenu(); renderAlert(); } });
}

// ---------------------------------------------------------------- keyboard

function setupKeys() {
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && !$('#popup-menu').hidden) {
      e.preventDefault();
      closePopUp();
      return;
    }
    if (state && state.menu && menuKey(e)) {
      e.preventDefault();
      return;
    }
    if (state && state.alert && !state.menu && alertKey(e)) {
      e.preventDefault();
      return;
    }
    // A hot key needs Control or Option; Command alone stays the
    // browser's (⌘R, ⌘W). By the key's place, not its character: Option
    // turns B into ∫ on a Mac.
    if (!(e.ctrlKey || e.altKey) || e.repeat) return;
    const m = /^(?:Key([A-Z])|Digit([0-9]))$/.exec(e.code);
    if (!m) return;
    e.preventDefault();
    send({ type: 'key', combo: [...modifiersOf(e), (m[1] || m[2]).toLowerCase()].join('+') });
  });
}

// An open menu by keyboard, as on a Mac: the arrow keys move the
// highlight over the items that can be chosen, Return chooses it, Escape
// closes the menu, and the key equivalents it shows choose their item.
function menuKey(e) {
  const items = state.menu.items;
  const choosable = items.map((it, i) => (!it.separator && it.enabled ? i : -1)).filter((i) => i >= 0);
  if (e.key === 'Escape') {
    send({ type: 'menu', close: true });
  } else if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
    if (!choosable.length) return true;
    const at = choosable.indexOf(menuHighlight);
    const next = e.key === 'ArrowDown' ? (at < 0 ? 0 : Math.min(at + 1, choosable.length - 1))
      : (at < 0 ? choosable.length - 1 : Math.max(at - 1, 0));
    highlightMenuRow(choosable[next]);
  } else if (e.key === 'Enter') {
    // Return with nothing highlighted closes the menu.
    if (choosable.includes(menuHighlight)) send({ type: 'menu', choose: items[menuHighlight].title });
    else send({ type: 'menu', close: true });
  } else if ((e.metaKey || e.ctrlKey) && !e.altKey && e.key.length === 1) {
    const it = items.find((x) => !x.separator && x.enabled && x.key && x.key === e.key.toLowerCase());
    if (!it) return false;
    send({ type: 'menu', choose: `cmd+${it.key}` });
  } else {
    return false;
  }
  return true;
}

// An alert takes Return for its default button (the first) and Escape for
// a Cancel button, the only one AppKit gives that key.
function alertKey(e) {
  const buttons = state.alert.buttons;
  let button;
  if (e.key === 'Enter') button = buttons[0];
  else if (e.key === 'Escape') button = buttons.find((b) => b === 'Cancel' || b === '取消');
  if (!button) return false;
  send({ type: 'alert', button });
  return true;
}

// ---------------------------------------------------------------- panel

function setupPanel() {
  $('#panel-toggle').addEventListener('click', () => {
    const open = document.body.classList.toggle('panel-open');
    $('#panel-toggle').setAttribute('aria-expanded', String(open));
  });
  $('#login').addEventListener('click', async () => {
    const res = await api('/api/input', { method: 'POST', headers: { 'Content-Type': 'application/json' },
                                            body: JSON.stringify({ type: 'login' }) });
    const reply = await res.json().catch(() => ({}));
    // Which copies, and how they end: with this browser desktop's session,
    // as a Mac's agents end at logout.
    const jobs = (reply.jobs || []).map((j) => `${j.label} (PID ${j.pid})`).join(', ');
    if (res.ok) toast(`${reply.started} launch agent(s) started${jobs ? `: ${jobs}` : ''}; they end when this ` +
                      'browser desktop stops, and print to ~/.simdesktop/launchd/', true);
    else toast(reply.error || 'log in failed');
  });
  $('#refresh').addEventListener('click', () => fetchState());
  $('#relaunch').addEventListener('click', () => send({ type: 'launch' }));
  $('#terminate').addEventListener('click', () => send({ type: 'terminate' }));
  $('#frontmost').addEventListener('change', (e) => send({ type: 'frontmost', app: e.target.value }));
  for (const b of document.querySelectorAll('[data-next]'))
    b.addEventListener('click', () => send({ type: 'fault', fault: 'next-item', kind: b.dataset.next }));
  for (const box of document.querySelectorAll('[data-target]'))
    box.addEventListener('change', () =>
      send({ type: 'fault', fault: box.dataset.target, kind: box.dataset.kind, on: box.checked }));
  $('#logs-missing').addEventListener('change', (e) =>
    send({ type: 'fault', fault: 'logs-folder', missing: e.target.checked }));
  for (const box of document.querySelectorAll('[data-symbol]'))
    box.addEventListener('change', () =>
      send({ type: 'fault', fault: 'symbol', name: box.dataset.symbol, missing: box.checked }));
  $('#take-hotkey').addEventListener('click', () =>
    send({ type: 'fault', fault: 'hotkey-taken', combo: $('#hotkey-combo').value }));
}

// ---------------------------------------------------------------- updates

// Resolves to false when the server did not answer at all.
async function fetchState() {
  if (stranded === 'no-token' || stranded === 'stale') return true;
  try {
    const res = await api('/api/state');
    if (res.ok) {
      render(await res.json());
      return true;
    }
    const reply = await res.json().catch(() => ({}));
    if (refusesToken(res, reply)) strand('stale');
    else toast(reply.error || `state: ${res.status}`);
    return true;
  } catch (e) {
    return false;  // the stream says when the server is gone
  }
}

// RFC 6902, as far as the server's documents go (add, remove, replace);
// anything else throws, and the page asks for the whole state instead.
function applyPatch(doc, ops) {
  const changed = new Set();
  for (const op of ops) {
    if (typeof op.path !== 'string' || !op.path.startsWith('/')) throw new Error(`patch path ${op.path}`);
    const parts = op.path.slice(1).split('/').map((p) => p.replace(/~1/g, '/').replace(/~0/g, '~'));
    changed.add(parts[0]);
    let parent = doc;
    for (const p of parts.slice(0, -1)) {
      parent = Object.hasOwn(parent, p) ? parent[p] : undefined;
      if (parent === null || typeof parent !== 'object') throw new Error(`patch path ${op.path}`);
    }
    const last = parts[parts.length - 1];
    if (Array.isArray(parent)) {
      const i = last === '-' ? parent.length : Number(last);
      const room = op.op === 'add' ? parent.length : parent.length - 1;
      if (!/^(-|0|[1-9][0-9]*)$/.test(last) || i > room) throw new Error(`patch index ${op.path}`);
      if (op.op === 'add') parent.splice(i, 0, op.value);
      else if (op.op === 'remove') parent.splice(i, 1);
      else if (op.op === 'replace') parent[i] = op.value;
      else throw new Error(`patch op ${op.op}`);
    } else if (last === '__proto__') {
      throw new Error(`patch path ${op.path}`);
    } else if (op.op === 'add' || (op.op === 'replace' && Object.hasOwn(parent, last))) {
      parent[last] = op.value;
    } else if (op.op === 'remove' && Object.hasOwn(parent, last)) {
      delete parent[last];
    } else {
      throw new Error(`patch ${op.op} ${op.path}`);
    }
  }
  return changed;
}

let events = null;
let lostTimer = 0;

function stopStream() {
  if (events) events.close();
  events = null;
  clearTimeout(lostTimer);
  lostTimer = 0;
}

function connect() {
  const conn = $('#connection');
  const source = new EventSource(`/api/events?token=${encodeURIComponent(TOKEN)}`);
  events = source;
  source.addEventListener('open', () => {
    clearTimeout(lostTimer);
    lostTimer = 0;
    if (stranded === 'gone') strand('');
    conn.dataset.state = 'open';
    conn.textContent = 'live';
    // A restarted server counts its versions from the start again; the
    // stream's first event is its current state.
    shownVersion = 0;
  });
  source.addEventListener('error', async () => {
    if (stranded === 'no-token' || stranded === 'stale') return;
    conn.dataset.state = 'lost';
    conn.textContent = 'reconnecting…';
    const closed = source.readyState === EventSource.CLOSED;
    // A stream refused (a server that answers with another token) is not
    // tried again by the browser: asking once more says why.
    if (closed) {
      if (events === source) stopStream();
      const answered = await fetchState();
      if (stranded === 'stale') return;
      strand(answered ? '' : 'gone');
      setTimeout(connect, answered ? 1000 : 3000);
      return;
    }
    // The browser tries again by itself, each try failing anew; a few
    // seconds after the first, the page says so.
    if (!lostTimer) lostTimer = setTimeout(() => strand('gone'), 3000);
  });
  // The whole state first, then what changed, as JSON Patch documents from
  // the version the page has.
  source.addEventListener('state', (e) => {
    try { render(JSON.parse(e.data)); } catch (err) { toast('unreadable state from the server'); }
  });
  source.addEventListener('patch', (e) => {
    let update;
    try { update = JSON.parse(e.data); } catch (err) { toast('unreadable update from the server'); return; }
    if (!state || update.from !== shownVersion) { fetchState(); return; }
    let changed;
    try {
      changed = applyPatch(state, update.patch);
    } catch (err) {
      // The page's copy may be half changed: only a fresh one is right.
      state = null;
      shownVersion = 0;
      fetchState();
      return;
    }
    state.version = update.version;
    render(state, changed);
  });
}

window.addEventListener('pagehide', () => stopStream());
setupMouse();
setupKeys();
setupPanel();
if (!TOKEN) {
  strand('no-token');
} else {
  connect();
  fetchState();
}
