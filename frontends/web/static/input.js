// What a person does with the mouse and the keyboard, as inputs for the
// desktop.
import { $, place, modifiersOf, screenPoint, view } from './dom.js';
import { send } from './stream.js';
import { layoutScreen, renderMenu, menuHighlight, highlightMenuRow } from './bar.js';
import { renderAlert, closePopUp, keepPopUp } from './windows.js';

// ---------------------------------------------------------------- mouse

let suppressClick = false;

// While an icon is Command-dragged the others move aside to open a gap
// where it would land, as the menu bar does. System items stay put, and
// nothing goes into their area.
function makeRoom(d, target) {
  const from = view.state.items.find((i) => i.name === d.name);
  const shifts = new Map();
  if (from && target) {
    const firstSystem = view.state.items.find((i) => i.system && i.visible);
    let at = target.leftOf ? target.item.x : target.item.x + target.item.width;
    if (firstSystem) at = Math.min(at, firstSystem.x);
    for (const item of view.state.items) {
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
  for (const node of document.querySelectorAll('#items .item')) if (node !== view.drag?.node) node.style.transform = '';
}


function dropTarget(x, name) {
  let best = null;
  for (const item of view.state.items) {
    if (!item.visible || item.name === name) continue;
    const d = x < item.x ? item.x - x : x > item.x + item.width ? x - item.x - item.width : 0;
    if (!best || d < best.d) best = { d, item };
  }
  if (!best) return null;
  return { other: best.item.name, leftOf: x < best.item.x + best.item.width / 2, item: best.item };
}

export function setupMouse() {
  const items = $('#items');
  items.addEventListener('mousedown', (e) => {
    const node = e.target.closest('.item');
    if (!node || e.button !== 0 || !(e.metaKey || e.altKey)) return;
    e.preventDefault();
    view.drag = { name: node.dataset.name, node, start: screenPoint(e), moved: false };
  });
  window.addEventListener('mousemove', (e) => {
    if (view.windowDrag) {
      const w = view.windowDrag, p = screenPoint(e);
      w.moved = true;
      w.x = w.left + p.x - w.start.x;
      // The title bar never goes under the menu bar.
      w.y = Math.max(view.state.screen.thickness, w.top + p.y - w.start.y);
      place(w.win, w.x, w.y);
      return;
    }
    if (!view.drag) return;
    const p = screenPoint(e);
    if (!view.drag.moved && Math.abs(p.x - view.drag.start.x) < 3) return;
    view.drag.moved = true;
    view.drag.node.classList.add('dragging');
    view.drag.node.style.transform = `translateX(${p.x - view.drag.start.x}px)`;
    const t = dropTarget(p.x, view.drag.name);
    makeRoom(view.drag, t);
  });
  window.addEventListener('mouseup', (e) => {
    if (view.windowDrag) {
      const w = view.windowDrag;
      view.windowDrag = null;
      // AppKit's frame origin: the window's bottom left, from the screen's bottom.
      if (w.moved) send({ type: 'window', action: 'move', x: w.x,
                          y: view.state.screen.height - w.y - w.win.offsetHeight });
      return;
    }
    if (!view.drag) return;
    const d = view.drag;
    view.drag = null;
    d.node.classList.remove('dragging');
    d.node.style.transform = '';
    if (!d.moved) return;
    suppressClick = true;
    setTimeout(() => { suppressClick = false; }, 0);
    const p = screenPoint(e);
    const t = p.y >= -10 && p.y <= view.state.screen.thickness + 30 ? dropTarget(p.x, d.name) : null;
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
    else keepPopUp();
  });
  $('#screen').addEventListener('mousedown', (e) => {
    if (view.state && view.state.menu && !e.target.closest('#menu') && !e.target.closest('.item'))
      send({ type: 'menu', close: true });
  });
  window.addEventListener('resize', () => { if (view.state) { layoutScreen(); renderMenu(); renderAlert(); } });
}

// ---------------------------------------------------------------- keyboard

export function setupKeys() {
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && !$('#popup-menu').hidden) {
      e.preventDefault();
      closePopUp();
      return;
    }
    if (view.state && view.state.menu && menuKey(e)) {
      e.preventDefault();
      return;
    }
    if (view.state && view.state.alert && !view.state.menu && alertKey(e)) {
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
  const items = view.state.menu.items;
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
  const buttons = view.state.alert.buttons;
  let button;
  if (e.key === 'Enter') button = buttons[0];
  else if (e.key === 'Escape') button = buttons.find((b) => b === 'Cancel' || b === '取消');
  if (!button) return false;
  send({ type: 'alert', button });
  return true;
}

