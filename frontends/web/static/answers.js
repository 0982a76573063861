// What the page answers a person with: a toast for what just happened, and
// the desktop's notices, each shown once as it comes and listed in the
// panel for as long as it holds. Toasts sit in a corner of the window, not
// under the screen, so an answer is in view whatever the window's size.
import { $, el } from './dom.js';

const SHOWN_MS = 4000;
const NOTICE_MS = 8000;
// More at once would cover the screen; the oldest give way.
const MOST_TOASTS = 4;

export function toast(text, good = false, ms = SHOWN_MS) {
  const box = $('#toasts');
  const t = el('p', good ? 'toast good' : 'toast', String(text));
  box.append(t);
  while (box.children.length > MOST_TOASTS) box.firstElementChild.remove();
  setTimeout(() => t.remove(), ms);
  return t;
}

// The ids shown while they hold: a notice that goes and comes back is news
// again, and the set never outgrows the notices there are.
let shownNotices = new Set();

// The state's notices, as the server sends them; anything not shaped so
// is left out rather than trusted.
function noticesOf(state) {
  const list = Array.isArray(state?.notices) ? state.notices : [];
  return list.filter((n) => n && typeof n.id === 'string' && typeof n.text === 'string');
}

export function renderNotices(state) {
  const notices = noticesOf(state);
  const now = new Set();
  for (const n of notices) {
    now.add(n.id);
    if (!shownNotices.has(n.id)) toast(n.text, false, NOTICE_MS).dataset.notice = n.id;
  }
  shownNotices = now;
  const list = $('#notices');
  list.replaceChildren(...notices.map((n) => {
    const li = el('li', '', n.text);
    li.dataset.notice = n.id;
    return li;
  }));
  list.closest('section').hidden = !notices.length;
  // Folded away, the panel's button says there is something to read.
  const toggle = $('#panel-toggle');
  toggle.textContent = notices.length ? `Log, defaults, faults · ${notices.length} notice${notices.length > 1 ? 's' : ''}`
    : 'Log, defaults, faults';
  toggle.classList.toggle('has-notices', notices.length > 0);
}
