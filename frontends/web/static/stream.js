// The page's line to its desktop: the session's token, inputs sent in
// order, and the event stream that brings the state and what changed.
import { $, el, view } from './dom.js';
import { toast } from './answers.js';

// The session's secret: the address tuckline-web printed carries it
// (?token=…), and the server wants it back with every request.
const TOKEN = new URLSearchParams(location.search).get('token') || '';
export const api = (path, init = {}) => fetch(path, { ...init, headers: { ...init.headers, 'X-Tuckline-Token': TOKEN } });

// ---------------------------------------------------------------- input

// Inputs go out one after another, in the order they happened; a slider
// dragged faster than the desktop answers only sends where it is now.
// Each send settles once its input has been answered.
const queue = [];
let sending = false;

export function send(input) {
  return new Promise((resolve) => {
    // A page cut off from its desktop takes nothing; its banner says why.
    if (stranded) {
      resolve();
      return;
    }
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
      if (refusesToken(res, reply)) strand('wrong-token');
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
  'wrong-token': ['Wrong token: this address is not the one the server printed',
    'The browser desktop at this address answers only the address it printed when it started, and the token ' +
    'in this one is not its token (this page may be older than the server). Open the address the server ' +
    'printed; to see it again, run ', './scripts/run.sh', ' (it prints the current address).'],
  gone: ['The browser desktop does not answer',
    'tuckline-web has ended or is restarting: nothing on this page works until it is back, and the page ' +
    'tries again every few seconds. To start a new one, run ', './scripts/run.sh',
    ' and open the address it prints (Ctrl-C stops it; --home and a new folder start over).'],
};
const TITLE = document.title;
let stranded = '';
const lost = (kind) => kind === 'no-token' || kind === 'wrong-token';

// A page that has no token, or another session's, stays stranded: no
// request of it can succeed, so it stops asking. Stranded, everything a
// person could press is disabled, and the tab's title says so too.
function strand(kind) {
  if (stranded === kind || lost(stranded)) return;
  stranded = kind;
  document.body.dataset.stranded = kind;
  const box = $('#stranded');
  box.hidden = !kind;
  $('#controls').disabled = !!kind;
  $('#relaunch').disabled = !!kind;
  document.title = kind ? `${kind === 'gone' ? 'Ended' : 'Not connected'} — ${TITLE}` : TITLE;
  const conn = $('#connection');
  if (!kind) return;
  const [title, before, command, after] = STRANDED[kind];
  box.querySelector('h2').textContent = title;
  box.querySelector('p').replaceChildren(before, el('code', '', command), after);
  conn.dataset.state = 'lost';
  conn.textContent = kind === 'gone' ? 'reconnecting…' : 'not connected';
  if (kind !== 'gone') stopStream();
}

// The server's word for a token it does not take; older servers said it
// in a sentence.
function refusesToken(res, reply) {
  return res.status === 401 || (res.status === 403 &&
    (reply.error === 'wrong-token' || reply.error === "this is not this session's token"));
}


// ---------------------------------------------------------------- updates

// Resolves to false when the server did not answer at all.
export async function fetchState() {
  if (lost(stranded)) return true;
  try {
    const res = await api('/api/state');
    if (res.ok) {
      render(await res.json());
      return true;
    }
    const reply = await res.json().catch(() => ({}));
    if (refusesToken(res, reply)) strand('wrong-token');
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
    if (parts.length > 1) changed.add(`${parts[0]}/${parts[1]}`);
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
    view.shownVersion = 0;
  });
  source.addEventListener('error', async () => {
    if (lost(stranded)) return;
    conn.dataset.state = 'lost';
    conn.textContent = 'reconnecting…';
    const closed = source.readyState === EventSource.CLOSED;
    // A stream refused (a server that answers with another token) is not
    // tried again by the browser: asking once more says why.
    if (closed) {
      if (events === source) stopStream();
      const answered = await fetchState();
      if (lost(stranded)) return;
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
    if (!view.state || update.from !== view.shownVersion) { fetchState(); return; }
    let changed;
    try {
      changed = applyPatch(view.state, update.patch);
    } catch (err) {
      // The page's copy may be half changed: only a fresh one is right.
      view.state = null;
      view.shownVersion = 0;
      fetchState();
      return;
    }
    view.state.version = update.version;
    render(view.state, changed, update.patch);
  });
}

let render = () => {};

// Draws every state that comes with `draw`; `hooks` gets the stream, for
// tests that check it was let go.
export function start(draw, hooks) {
  render = draw;
  Object.defineProperty(hooks, 'events', { get: () => events });
  window.addEventListener('pagehide', () => stopStream());
  if (!TOKEN) {
    strand('no-token');
  } else {
    connect();
    fetchState();
  }
}
