// The settings window, its controls and pop-up menus, and the alert.
import { $, el, place, reconcile, cssColor, screenPoint, view } from './dom.js';
import { send } from './stream.js';

export function renderAlert() {
  const box = $('#alert');
  const a = view.state.alert;
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
  place(box, (view.state.screen.width - box.offsetWidth) / 2, view.state.screen.height * 0.18);
}

export function renderWindows() {
  const box = $('#windows');
  const sc = view.state.screen;
  // An application's windows go with it, whatever the ended desktop kept.
  const entries = (view.state.terminated ? [] : view.state.windows).map((w, i) => ({ key: `${i}:${w.title}`, sort: 'w', w }));
  reconcile(box, entries, (e) => {
    const win = el('div', 'window');
    win.setAttribute('role', 'dialog');
    const bar = el('div', 'titlebar');
    bar.addEventListener('mousedown', (ev) => {
      if (ev.button !== 0 || ev.target.closest('.traffic')) return;
      ev.preventDefault();
      view.windowDrag = { win, start: screenPoint(ev), left: parseFloat(win.style.left), top: parseFloat(win.style.top) };
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
    if (!view.windowDrag || view.windowDrag.win !== win)
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
  const x = (button.left - screen.left) / view.scale, y = (button.top - screen.top) / view.scale;
  const rowTop = menu.children[Math.max(0, selected)]?.offsetTop ?? 0;
  place(menu, x - 18, Math.max(view.state.screen.thickness + 2, y - rowTop + 1));
  menu.style.minWidth = `${button.width / view.scale + 24}px`;
}

export function closePopUp() {
  $('#popup-menu').hidden = true;
  popUpPress = null;
}

// A press inside the open pop-up menu: letting go now chooses.
export function keepPopUp() {
  popUpPress = null;
}
