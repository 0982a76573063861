// What every part of the page shares: a few DOM helpers, the colours the
// desktop names, and the view the last state was drawn into.

export const $ = (sel) => document.querySelector(sel);
const SVG = 'http://www.w3.org/2000/svg';

// The page keeps no model of its own: the last state drawn, its version,
// the scale the screen is drawn at, and what the pointer holds.
export const view = {
  state: null,
  shownVersion: 0,
  scale: 1,
  drag: null,        // a Command-dragged status item, in screen points
  windowDrag: null,  // a window held by its title bar
};

export function modifiersOf(e) {
  const m = [];
  if (e.ctrlKey) m.push('ctrl');
  if (e.altKey) m.push('opt');
  if (e.shiftKey) m.push('shift');
  if (e.metaKey) m.push('cmd');
  return m;
}

export function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

export function svg(tag, attrs) {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
  return e;
}

export function place(e, x, y, w, h) {
  e.style.left = `${x}px`;
  e.style.top = `${y}px`;
  if (w !== undefined) e.style.width = `${w}px`;
  if (h !== undefined) e.style.height = `${h}px`;
}

// Keeps one element per key, in order, creating, updating and removing as
// the state says; elements that stay keep their hover, focus and open state.
export function reconcile(parent, entries, create, update) {
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
export function cssColor(c) {
  if (!c) return '';
  const [r, g, b, a] = COLORS[c.name] || [0, 0, 0, 0.85];
  return `rgba(${r}, ${g}, ${b}, ${a * (c.alpha ?? 1)})`;
}

export function screenPoint(e) {
  const r = $('#screen').getBoundingClientRect();
  return { x: (e.clientX - r.left) / view.scale, y: (e.clientY - r.top) / view.scale };
}

