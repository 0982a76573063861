// The side panel: the app's state, its switches, and the files it writes.
import { $, el, view } from './dom.js';
import { api, send, fetchState } from './stream.js';
import { toast } from './answers.js';

function setText(sel, text) {
  const pre = $(sel);
  if (pre.textContent === text) return;
  const atEnd = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
  pre.textContent = text;
  if (atEnd) pre.scrollTop = pre.scrollHeight;
}

// A file's tail comes as its lines keyed by where each starts in the file
// (zero-padded, so they sort as numbers): an appended record is a few
// additions, not the whole tail again. Each line is a block of its own, so
// the page, too, adds, drops or changes only the lines an update names and
// lays out only those: its work does not grow with the tail shown.
class Tail {
  constructor(box) {
    this.box = box;
    this.keys = [];           // sorted, as the lines stand in the box
    this.nodes = new Map();   // key → its line's element
  }

  // The whole tail anew: the first state, or a patch that replaced it.
  reset(lines, truncated) {
    this.keys = [];
    this.nodes.clear();
    this.box.classList.toggle('truncated', !!truncated);
    if (typeof lines === 'string') lines = lines ? { 0: lines } : {};
    const keys = Object.keys(lines && typeof lines === 'object' ? lines : {}).sort();
    this.box.replaceChildren(...keys.map((k) => this.line(k, lines[k])));
    this.keys = keys;
    this.box.scrollTop = this.box.scrollHeight;
  }

  line(key, text) {
    const node = el('div', 'line', typeof text === 'string' ? text : '');
    this.nodes.set(key, node);
    return node;
  }

  // Where a key goes among the sorted ones; appended lines go last, so
  // that is looked at first.
  place(key) {
    const n = this.keys.length;
    if (!n || this.keys[n - 1] < key) return n;
    let lo = 0, hi = n;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (this.keys[mid] < key) lo = mid + 1; else hi = mid;
    }
    return lo;
  }

  // One operation on one line, from the patch that brought it.
  apply(op, key) {
    const old = this.nodes.get(key);
    if (op.op === 'remove') {
      if (!old) return;
      old.remove();
      this.nodes.delete(key);
      const i = this.place(key);
      if (this.keys[i] === key) this.keys.splice(i, 1);
    } else if (old) {
      old.textContent = typeof op.value === 'string' ? op.value : '';
    } else {
      const i = this.place(key);
      this.box.insertBefore(this.line(key, op.value), this.nodes.get(this.keys[i]) || null);
      this.keys.splice(i, 0, key);
    }
  }
}

const tails = {};
function tail(name) {
  return tails[name] ??= new Tail($(name === 'log' ? '#log' : '#syslog'));
}

// The two tails, from the patch where it names their lines, else whole.
function renderTails(p, ops) {
  for (const name of ['log', 'systemLog']) {
    const t = tail(name);
    const lineOps = [];
    let whole = !ops;
    for (const op of ops || []) {
      const parts = typeof op.path === 'string' ? op.path.split('/') : [];
      if (parts[1] !== 'panel') continue;
      if (parts.length === 2 || (parts[2] === name && parts.length === 3)) whole = true;
      else if (parts[2] === name && parts.length === 4) lineOps.push([op, parts[3]]);
    }
    if (whole) {
      t.reset(p[name], p[`${name}Truncated`]);
      continue;
    }
    t.box.classList.toggle('truncated', !!p[`${name}Truncated`]);
    if (!lineOps.length) continue;
    const atEnd = t.box.scrollTop + t.box.clientHeight >= t.box.scrollHeight - 4;
    for (const [op, key] of lineOps) t.apply(op, key.replace(/~1/g, '/').replace(/~0/g, '~'));
    if (atEnd) t.box.scrollTop = t.box.scrollHeight;
  }
}

export function renderAppState() {
  const a = view.state.app;
  $('#app-state').textContent = view.state.terminated ? 'not running'
    : !a ? 'launching'
    : `${a.collapsed ? 'collapsed' : 'expanded'}${a.expandedByHover ? ' (by hover)' : ''}` +
      `${a.collapseTimerPending ? ', collapse timer running' : ''}${a.didAutoReorder ? ', reordered once' : ''}`;
}

// With `ops`, the patch that changed the panel: the tails take only the
// lines it names.
export function renderPanel(ops = null) {
  const p = view.state.panel || {};
  renderTails(p, ops);
  setText('#defaults', p.defaults || '(none)');
  setText('#agent', p.launchAgent || '(not installed)');
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
export function renderHotKeyHint() {
  const f = (view.state.panel || {}).faults || {};
  const set = (f.registeredHotKeys || []).map((k) => keySymbols(k.combo));
  $('#hotkey-hint').textContent = view.state.terminated ? 'No hot key works while Tuckline is not running.'
    : set.length ? `The hot key ${set.join(', ')} works anywhere on the page.`
    : 'No hot key is set (设置… chooses one, unless another application holds it).';
}

// ctrl+opt+cmd+b as a Mac shows it: ⌃⌥⌘B.
function keySymbols(combo) {
  const symbols = { ctrl: '⌃', opt: '⌥', shift: '⇧', cmd: '⌘' };
  return String(combo).split('+').map((p) => symbols[p] || p.toUpperCase()).join('');
}

// Which process the page shows, and how it was started: the browser
// desktop's own copy, a console's, the one launchd started at login.
export function renderShows() {
  const s = view.state.shows;
  const box = $('#shows');
  box.hidden = s === undefined;
  box.textContent = s && typeof s === 'object'
    ? `Shows PID ${Number(s.pid) || '?'}: ${typeof s.how === 'string' ? s.how : 'started some other way'}`
    : 'Shows no process: no copy of Tuckline runs on this home.';
}

export function setupPanel() {
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
    // The server says what really runs now: a copy that gave way to one
    // already running is said to have done so.
    const jobs = (reply.jobs || []).map((j) => `${j.label} (PID ${j.pid})`).join(', ');
    const said = typeof reply.text === 'string' && reply.text
      ? reply.text.trim().replace(/\n/g, ' ')
      : `${reply.started} launch agent(s) started${jobs ? `: ${jobs}` : ''}; they end when this browser ` +
        'desktop stops';
    if (res.ok) toast(`${said} Agents print to ~/.simdesktop/launchd/.`, true);
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

