// The browser desktop's page. Everything shown is drawn from the server's
// state (GET /api/state, then pushed on /api/events); the page keeps no model
// of its own and only turns what a person does into POST /api/input.
import { $, view } from './dom.js';
import { start } from './stream.js';
import { layoutScreen, renderMenus, renderItems, renderMenu } from './bar.js';
import { renderAlert, renderWindows } from './windows.js';
import { renderAppState, renderPanel, renderHotKeyHint, renderShows, setupPanel } from './panel.js';
import { renderNotices } from './answers.js';
import { setupMouse, setupKeys } from './input.js';

// Draws a state; with `changed`, the names of its parts that differ from
// the one drawn before, only what shows them (and `ops`, the patch that
// changed them, for the parts drawn line by line).
function render(s, changed = null, ops = null) {
  if (!s || typeof s.version !== 'number' || s.version <= view.shownVersion) return;
  const start = timing ? performance.now() : 0;
  view.state = s;
  view.shownVersion = s.version;
  const any = (...parts) => !changed || parts.some((p) => changed.has(p));
  if (any('screen')) layoutScreen();
  if (any('screen', 'frontmost')) renderMenus();
  if (any('screen', 'items', 'menu')) renderItems();
  if (any('screen', 'menu')) renderMenu();
  if (any('screen', 'alert')) renderAlert();
  if (any('screen', 'windows', 'terminated')) renderWindows();
  if (any('app', 'terminated')) renderAppState();
  if (any('panel')) renderPanel(changed ? ops : null);
  if (any('panel', 'terminated')) renderHotKeyHint();
  if (any('notices')) renderNotices(s);
  if (any('shows')) renderShows();
  $('#quit').hidden = !s.terminated;
  $('#terminate').disabled = !!s.terminated;
  document.body.dataset.version = String(s.version);
  document.body.dataset.collapsed = s.app ? String(s.app.collapsed) : '';
  if (timing) {
    void document.body.offsetHeight;  // the layout the drawing left, too
    performance.measure('tuckline-render', { start });
  }
}

// For tests and benches, what the page holds; with `timing` set, each
// drawing is measured as 'tuckline-render' (off otherwise: the measures
// would pile up for as long as the page is open).
let timing = false;
window.tuckline = {
  get state() { return view.state; },
  get timing() { return timing; },
  set timing(on) { timing = !!on; },
};

setupMouse();
setupKeys();
setupPanel();
start(render, window.tuckline);
