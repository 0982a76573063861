// The menu bar: the frontmost application's menus, the status items and
// the menu open under one of them.
import { $, el, svg, place, reconcile, cssColor, view } from './dom.js';
import { send } from './stream.js';

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


// The bar is never drawn less than this high: below it the icons and the
// clock cannot be made out. A frame too narrow for that shows the right
// end of the screen, where the status items are, and scrolls.
const MIN_BAR_PX = 20;

export function layoutScreen() {
  const sc = view.state.screen;
  const screen = $('#screen');
  const frame = $('#screen-frame');
  const fit = frame.clientWidth / sc.width || 1;
  const least = MIN_BAR_PX / (sc.thickness || 24);
  const overflowing = fit < least;
  view.scale = Math.max(fit, least);
  screen.style.width = `${sc.width}px`;
  screen.style.height = `${sc.height}px`;
  screen.style.transform = `scale(${view.scale})`;
  // Only the top of the screen where the window would end below the page;
  // the hint and the connection's state stay in sight under it.
  const hint = $('#hint');
  const room = window.innerHeight - frame.getBoundingClientRect().top - hint.offsetHeight - 28;
  frame.style.height = `${Math.max(240, Math.min(sc.height * view.scale, room))}px`;
  // Answers sit over the screen, just above the hint.
  $('#stage').style.setProperty('--above-hint', `${hint.offsetHeight + 24}px`);
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

export function renderMenus() {
  const box = $('#app-menus');
  const f = view.state.frontmost;
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

export function renderItems() {
  const sc = view.state.screen;
  const openUnder = view.state.menu && view.state.menu.under;
  // Names are not unique everywhere: two own items without a button are
  // both "separator".
  const seen = new Map();
  const entries = view.state.items.map((item) => {
    const n = (seen.get(item.name) || 0) + 1;
    seen.set(item.name, n);
    return { key: `${item.name}#${n}`, sort: item.own ? 'own' : 'other', item };
  });
  reconcile($('#items'), entries, (e) => {
    const node = el('div', 'item');
    node.dataset.name = e.item.name;
    node.setAttribute('role', 'menuitem');
    node.addEventListener('mouseenter', () => { if (!view.drag) send({ type: 'hover', item: node.dataset.name }); });
    node.addEventListener('mouseleave', () => { if (!view.drag) send({ type: 'unhover' }); });
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
export let menuHighlight = -1;

export function highlightMenuRow(i) {
  menuHighlight = i;
  Array.from($('#menu').children).forEach((row, k) => row.classList.toggle('highlighted', k === i));
}

export function renderMenu() {
  const box = $('#menu');
  const m = view.state.menu;
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
  const top = view.state.screen.thickness + 1;
  const x = m.x ?? 0;
  const width = box.offsetWidth;
  place(box, Math.max(4, Math.min(x, view.state.screen.width - width - 4)), top);
}

