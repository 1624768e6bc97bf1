// The renderer: draws the screen from the session's snapshot and turns the user's acts into events.
// Nothing here decides a rule of the screen: enabled states, captions, checks and texts come from
// the snapshot exactly as the screen set them; the renderer lays them out, keeps the browser's focus
// where the screen's is, and says in plain words what happened.

import { ApiError, logout, Session, whoAmI } from './api.js';
import { arrange } from './arrange.js';
import { kindOf } from './controls.js';
import { chooseSort, closeDialog, dialogOpen, screenDialogOpen, showHelp, showHostError, showScreenDialog } from './dialogs.js';
import { el, setAttr, setText } from './dom.js';
import {
  BANNER_TEXT, DELETED_TEXT, describeFields, HELP_INTRO, keyEntry, KEYS, LOGOUT_TEXT, MOVE_WHILE_EDITING,
  READ_ONLY_TEXT, READ_ONLY_TITLE, refusalText, ROLE_TEXT, SAVED_TEXT, SORT_UNAVAILABLE, STATE_TEXT,
} from './texts.js';

const MENUS = [
  { caption: 'Exibir', items: ['mnuFolhaDados', 'mnuFormulario', 'mnuListagem'] },
  { caption: 'Registro', items: ['mnuIncluir', 'mnuAlterar', 'mnuExcluir', 'mnuProcurar', 'mnuVerificar', 'mnuCancelar', 'mnuConfirmar'] },
];
const CONFIRM = new Set(['sbtConfirmar', 'mnuConfirmar']);
const DELETE = new Set(['sbtExcluir', 'mnuExcluir']);
const MODIFIER_KEYS = new Set(['Shift', 'Control', 'Alt', 'Meta', 'CapsLock', 'Dead']);

const $ = (id) => document.getElementById(id);
const session = new Session({ onWait: showWait });

let snap = null;          // the whole snapshot the last answer left
let structure = '';       // names, kinds and parents of the controls the DOM was built for
let opened = false;
let chainAct = null;      // the user's act an answer belongs to (a question's answers continue it)
let pointerDown = false;  // the focus comes from the mouse: keep the caret where the user clicked
const nodes = new Map();  // control name -> node built by its kind
const children = new Map(); // container name -> its controls, in creation order
const layoutKeys = new Map(); // container name -> the bounds its layout was made for
const captions = new Map(); // control name -> the caption control that names it
const boundSet = new Map(); // control name -> the dataset it shows, once known
const dirty = new Set();  // edits (and grid cells "grid:FIELD") the user changed and has not sent

// What the kinds of controls see of the renderer.
const ctx = {
  get snap() {
    return snap;
  },
  nodes,
  dirty,
  focusing: false,
  act,
  click,
  toolClick,
  menuClick: (name) => {
    closeMenus();
    click(name);
  },
  commitEdit,
  commitCell,
  operable: (name) => operable(name, snap),
  readOnlyByState,
  buildChildren,
  showPage,
  gridKey,
  gridRowClick,
  sortGrid,
  gridCaption,
  isMainList: (name) => mainDataset() === snap.controls[name].dataSet,
  screenCode: () => (snap.controls.lblCodTela ? snap.controls.lblCodTela.caption : ''),
  filterItems,
  captionOf,
  associateOf,
  modifiers,
};

// --- talking to the session -------------------------------------------------------------------

// Runs an act of the user (possibly a chain: the text typed, then the click) as one busy period.
let inFlight = 0;
function busyWhile(run) {
  inFlight++;
  setBusy(true);
  return Promise.resolve().then(run).finally(() => {
    inFlight--;
    setBusy(inFlight > 0);
    if (inFlight === 0 && typeAhead.length) setTimeout(replayKeys);
  });
}

function act(event) {
  return busyWhile(() => send(event));
}

function send(event) {
  const before = snap;
  if (event.type !== 'answer') chainAct = event;
  return session.send(event).then(
    (s) => apply(s, before),
    (err) => {
      refused(event, err);
      // Undo what the browser already changed on its own (a typed value, a picked item, a check).
      if (event.control) {
        dirty.delete(event.column ? `${event.control}:${event.column}` : event.control);
        repaint([event.control]);
      }
    });
}

function refused(event, err) {
  if (!(err instanceof ApiError)) {
    notify('Falha de comunicação com o servidor. Verifique a conexão e tente de novo.', 'error');
    return;
  }
  console.info(`A tela recusou ${JSON.stringify(event)}: ${err.status} ${err.code || ''} ${err.message}`);
  if (event.type === 'sort' && err.status === 400) return notify(SORT_UNAVAILABLE, 'error');
  if (!err.code && event.type === 'move' && snap && isEditing(snap.datasets[event.dataset])) return notify(MOVE_WHILE_EDITING, 'error');
  const c = snap && event.control ? snap.controls[event.control] : null;
  const set = c ? snap.datasets[datasetOf(event.control)] : null;
  notify(refusalText(err.code, {
    dataBound: !!(c && (c.field || c.dataSet)),
    datasetState: set ? set.state : null,
    readOnly: !!(c && c.readOnly),
    operable: c ? operable(event.control, snap) : undefined,
  }), 'error');
}

function answer(value) {
  closeDialog();
  return act({ type: 'answer', value });
}

// Sends the text of the edit (or grid cell) the user is typing in, before any other act: toolbar
// buttons do not take the focus, so the edit keeps it while its text reaches the screen.
function commitActive() {
  const active = document.activeElement;
  if (!active || !active.dataset) return Promise.resolve();
  if (active.dataset.grid) return commitCell(active);
  if (active.dataset.name) return commitEdit(active.dataset.name);
  return Promise.resolve();
}

function commitEdit(name) {
  if (!dirty.has(name)) return Promise.resolve();
  dirty.delete(name);
  return act({ type: 'type', control: name, text: nodes.get(name).input.value });
}

function commitCell(input) {
  const key = `${input.dataset.grid}:${input.dataset.column}`;
  if (!dirty.has(key)) return Promise.resolve();
  dirty.delete(key);
  return act({ type: 'type', control: input.dataset.grid, column: input.dataset.column, text: input.value });
}

function click(name) {
  return busyWhile(() => commitActive().then(() => act({ type: 'click', control: name })));
}

// Buttons whose work is the renderer's: the shortcut sheet and the choice of a sort column.
function toolClick(name) {
  if (name === 'sbtAjuda') return help();
  if (name === 'sbtOrdenar') return sortDialog();
  return click(name);
}

function showPage(page) {
  return busyWhile(() => commitActive().then(() => act({ type: 'page', page })));
}

// --- applying a snapshot ----------------------------------------------------------------------

function apply(next, before) {
  snap = next;
  // An explanation of a refusal is stale once another act went through.
  if ($('toast').classList.contains('error')) $('toast').hidden = true;
  const t0 = performance.now();
  render(before);
  performance.measure('tipoper:render', { start: t0 });
  if (next.result === 'failed' && next.error) showHostError(next.error, () => syncFocus());
  else notices(before, next);
}

function render(before) {
  const names = Object.keys(snap.controls);
  if (names.length === 0) {
    // Closed: nothing of the screen stays on the page.
    if (structure) clearScreen();
    $('closed').hidden = !opened;
    if (!opened) markReady();
    return;
  }
  opened = true;
  $('closed').hidden = true;
  const key = names.map((n) => `${n}:${snap.controls[n].type}<${snap.controls[n].parent}`).join('|');
  if (key !== structure) {
    build();
    structure = key;
    before = null;
  }
  const changed = changedControls(before);
  repaint(changed);
  rearrange(changed);
  updateChrome();
  if (snap.dialog) showScreenDialog(snap.dialog, answer, describeColumns);
  else if (screenDialogOpen()) closeDialog();
  if (session.pending === 0) syncFocus();
  markReady();
}

function repaint(names) {
  for (const name of names) {
    const node = nodes.get(name);
    const c = snap.controls[name];
    if (node && c) kindOf(c.type).update(ctx, node, c);
  }
}

// The controls an answer may have changed: those the snapshot changed, everything inside a container
// that was enabled, disabled, shown or hidden, the grids and navigators of a dataset that changed, and
// the controls of a dataset that changed state. A delta keeps unchanged objects; a whole answer brings
// new ones, compared by value.
function changedControls(before) {
  const all = Object.keys(snap.controls);
  if (!before || !before.controls || Object.keys(before.controls).length === 0) return all;
  const out = new Set();
  const inside = (name) => {
    for (const child of children.get(name) || []) {
      out.add(child);
      inside(child);
    }
  };
  for (const name of all) {
    const c = snap.controls[name];
    const p = before.controls[name];
    if (c === p || sameValue(p, c)) continue;
    out.add(name);
    if (!p || p.enabled !== c.enabled || p.visible !== c.visible || p.activePage !== c.activePage) inside(name);
  }
  for (const [set, d] of Object.entries(snap.datasets)) {
    const p = before.datasets && before.datasets[set];
    if (p === d) continue;
    const stateChanged = !p || p.state !== d.state;
    for (const name of all) {
      if (datasetOf(name) !== set) continue;
      if (stateChanged || snap.controls[name].type === 'TDBGrid' || snap.controls[name].type === 'TDBNavigator') out.add(name);
    }
  }
  return all.filter((n) => out.has(n)); // creation order: containers before what they hold
}

// Two control objects of whole answers showing the same: same keys, same values.
function sameValue(a, b) {
  if (!a || !b) return false;
  const keys = Object.keys(b);
  if (Object.keys(a).length !== keys.length) return false;
  for (const k of keys) {
    const x = a[k];
    const y = b[k];
    if (x === y) continue;
    if (x === null || y === null || typeof x !== 'object' || typeof y !== 'object' || JSON.stringify(x) !== JSON.stringify(y)) return false;
  }
  return true;
}

// Whether the user can act on the control: it and every container around it visible and enabled.
function operable(name, s) {
  for (let c = s.controls[name]; c; c = c.parent ? s.controls[c.parent] : null) {
    if (!c.enabled || !c.visible) return false;
  }
  return true;
}

const isEditing = (d) => !!d && (d.state === 'edit' || d.state === 'insert');

// The dataset a control shows: named by the snapshot, or found by its field among the datasets (the
// main list's first, since lookups repeat its codes).
function datasetOf(name) {
  const c = snap.controls[name];
  if (!c) return null;
  if (c.dataSet) return c.dataSet;
  if (!c.field) return null;
  if (boundSet.has(name)) return boundSet.get(name);
  const main = mainDataset();
  const order = [main, ...Object.keys(snap.datasets).filter((d) => d !== main)];
  const found = order.find((d) => snap.datasets[d] && snap.datasets[d].current && c.field in snap.datasets[d].current) || null;
  if (found) boundSet.set(name, found);
  return found;
}

// A data-bound control whose record is only being looked at: shown read-only, not disabled.
function readOnlyByState(name) {
  const set = datasetOf(name);
  const d = set ? snap.datasets[set] : null;
  return !!d && !isEditing(d);
}

function mainDataset() {
  const nav = Object.values(snap.controls).find((c) => c.type === 'TDBNavigator' && c.dataSet);
  if (nav) return nav.dataSet;
  const gridControl = Object.values(snap.controls).find((c) => c.type === 'TDBGrid' && c.dataSet);
  return gridControl ? gridControl.dataSet : null;
}

function filterItems() {
  const filter = Object.values(snap.controls).find((c) => c.type === 'TComboBox' && c.parent && !snap.controls[c.parent].parent);
  return filter ? filter.items : null;
}

// --- building the DOM once per screen ---------------------------------------------------------

function clearScreen() {
  nodes.clear();
  children.clear();
  layoutKeys.clear();
  captions.clear();
  boundSet.clear();
  structure = '';
  for (const id of ['screen', 'toolbar', 'menubar', 'navslot', 'statusText', 'screenCode']) $(id).replaceChildren();
  $('banner').hidden = true;
}

function build() {
  clearScreen();
  const ordered = Object.entries(snap.controls).sort((a, b) => (a[1].index ?? 0) - (b[1].index ?? 0));
  for (const [name, c] of ordered) {
    const p = c.parent || '';
    if (!children.has(p)) children.set(p, []);
    children.get(p).push(name);
  }
  const screen = $('screen');
  for (const name of children.get('') || []) {
    const c = snap.controls[name];
    const kind = kindOf(c.type);
    if (c.type === 'TMenuItem') continue; // the menus are built together below
    const node = kind.build(ctx, name, c);
    switch (kind.slot) {
      case 'toolbar':
        $('toolbar').append(node.root);
        break;
      case 'status':
        (c.type === 'TDBNavigator' ? $('navslot') : $('statusText')).append(node.root);
        break;
      case 'title':
        $('screenCode').append(node.root);
        break;
      case 'filter':
        node.root.classList.add('filter-bar');
        screen.prepend(node.root);
        break;
      default:
        screen.append(node.root);
    }
  }
  buildMenus();
}

function buildChildren(parent, body) {
  for (const name of children.get(parent) || []) {
    const c = snap.controls[name];
    body.append(kindOf(c.type).build(ctx, name, c).root);
  }
}

function buildMenus() {
  const known = new Set(MENUS.flatMap((m) => m.items));
  const extra = Object.keys(snap.controls).filter((n) => snap.controls[n].type === 'TMenuItem' && !known.has(n));
  const menus = extra.length ? [...MENUS, { caption: 'Outros', items: extra }] : MENUS;
  for (const menu of menus) {
    const items = menu.items.filter((n) => snap.controls[n]);
    if (items.length === 0) continue;
    const list = el('ul', { role: 'menu', 'aria-label': menu.caption });
    list.hidden = true;
    const opener = el('button', { type: 'button', class: 'menu-opener', 'aria-haspopup': 'menu', 'aria-expanded': 'false', text: menu.caption });
    const wrap = el('div', { class: 'menu' }, opener, list);
    opener.addEventListener('click', () => {
      const open = list.hidden;
      closeMenus();
      list.hidden = !open;
      opener.setAttribute('aria-expanded', String(open));
      if (open) list.querySelector('button:not(:disabled)')?.focus();
    });
    list.addEventListener('keydown', (e) => {
      const buttons = [...list.querySelectorAll('button:not(:disabled)')];
      const i = buttons.indexOf(document.activeElement);
      if (e.key === 'ArrowDown') buttons[(i + 1) % buttons.length]?.focus();
      else if (e.key === 'ArrowUp') buttons[(i - 1 + buttons.length) % buttons.length]?.focus();
      else if (e.key === 'Escape') {
        closeMenus();
        opener.focus();
      } else return;
      e.preventDefault();
      e.stopPropagation();
    });
    for (const name of items) {
      const node = kindOf('TMenuItem').build(ctx, name, snap.controls[name]);
      list.append(el('li', { role: 'none' }, node.root));
    }
    $('menubar').append(wrap);
  }
}

function closeMenus() {
  document.querySelectorAll('.menu ul').forEach((u) => (u.hidden = true));
  document.querySelectorAll('.menu-opener').forEach((b) => b.setAttribute('aria-expanded', 'false'));
}

// --- the layout -------------------------------------------------------------------------------

// Lays out again every container whose visible controls or their bounds changed.
function rearrange(changed) {
  const candidates = new Set();
  for (const name of changed) {
    const c = snap.controls[name];
    if (nodes.get(name)?.body) candidates.add(name);
    if (c && c.parent) candidates.add(c.parent);
  }
  let any = false;
  for (const name of candidates) any = arrangeContainer(name) || any;
  if (any) {
    // Captions found by the layout name the search buttons too.
    repaint(Object.keys(snap.controls).filter((n) => snap.controls[n].type === 'TBtnPesquisa'));
  }
}

function arrangeContainer(name) {
  const node = nodes.get(name);
  if (!node || !node.body) return false;
  const kids = children.get(name) || [];
  const shown = kids.filter((k) => snap.controls[k].visible && !(snap.controls[k].type === 'TTabSheet'));
  const key = shown.map((k) => `${k}@${JSON.stringify(snap.controls[k].bounds || null)}`).join('|');
  if (layoutKeys.get(name) === key) return false;
  layoutKeys.set(name, key);
  const active = document.activeElement;
  const roots = new Map(kids.map((k) => [k, nodes.get(k).root]));
  const placed = shown.filter((k) => snap.controls[k].bounds);
  const free = shown.filter((k) => !snap.controls[k].bounds);
  const items = placed.map((k) => ({ name: k, type: snap.controls[k].type, ...snap.controls[k].bounds }));
  if (items.length === 0 && free.length === 1) items.push({ name: free.pop(), type: 'TDBGrid', left: 0, top: 0, width: 0, height: 0, fill: true });
  const parts = [];
  if (items.length) {
    const { element, captions: found, flows } = arrange(items, roots);
    node.root.classList.toggle('has-flow', flows);
    parts.push(element);
    for (const [control, caption] of found) nameBy(control, caption);
  }
  for (const k of free) parts.push(roots.get(k));
  const hidden = el('div', { class: 'l-hidden', hidden: true }, ...kids.filter((k) => !shown.includes(k) && snap.controls[k].type !== 'TTabSheet').map((k) => roots.get(k)));
  node.body.replaceChildren(...parts, hidden);
  // Moving an element takes the focus from it: give it back.
  if (active && active !== document.activeElement && document.contains(active)) {
    ctx.focusing = true;
    active.focus({ preventScroll: true });
    ctx.focusing = false;
  }
  return true;
}

function nameBy(control, { caption, detail }) {
  captions.set(control, caption);
  const target = nodes.get(control);
  const label = nodes.get(caption);
  if (target && label) setAttr(target.input || target.root, 'aria-labelledby', detail ? `${label.root.id} txt-descricao` : label.root.id);
}

function captionOf(name) {
  if (!name) return null;
  const caption = captions.get(name);
  if (caption && snap.controls[caption]) return snap.controls[caption].caption.replace(/[:\s]+$/, '');
  const c = snap.controls[name];
  return c && c.caption ? c.caption : null;
}

// The control a search button looks up for: named by the snapshot, else the edit just left of it.
function associateOf(button) {
  const c = snap.controls[button];
  if (!c) return null;
  if (c.associate) return c.associate;
  const b = c.bounds;
  if (!b) return null;
  let best = null;
  for (const name of children.get(c.parent) || []) {
    const o = snap.controls[name];
    if (!o.bounds || !['TDBEdit', 'TEdit'].includes(o.type) || Math.abs(o.bounds.top - b.top) > 4) continue;
    const gap = b.left - (o.bounds.left + o.bounds.width);
    if (gap >= -2 && gap <= 12 && (!best || gap < best.gap)) best = { name, gap };
  }
  return best && best.name;
}

function describeColumns(fields, labels) {
  return describeFields(fields, labels, snap, (name) => captionOf(name));
}

function gridCaption(name) {
  const sheet = sheetOf(name);
  return sheet ? `Lista: ${snap.controls[sheet].caption}` : 'Lista';
}

function sheetOf(name) {
  for (let n = name; n; n = snap.controls[n].parent) if (snap.controls[n].type === 'TTabSheet') return n;
  return null;
}

// --- the state of the screen, around it ---------------------------------------------------------

// The dataset the user works on now: the one being edited, else the one of the page shown.
function workingDataset() {
  const editing = Object.keys(snap.datasets).find((d) => isEditing(snap.datasets[d]) &&
    Object.values(snap.controls).some((c) => c.dataSet === d));
  if (editing) return editing;
  const pages = Object.values(snap.controls).find((c) => c.type === 'TPageControl');
  if (pages && pages.activePage) {
    const gridOnPage = Object.keys(snap.controls).find((n) => snap.controls[n].type === 'TDBGrid' && sheetOf(n) === pages.activePage);
    if (gridOnPage && snap.controls[gridOnPage].dataSet) return snap.controls[gridOnPage].dataSet;
  }
  return mainDataset();
}

function updateChrome() {
  const set = workingDataset();
  const d = set ? snap.datasets[set] : null;
  const state = d ? d.state : 'inactive';
  document.body.dataset.state = state;
  const chip = $('stateChip');
  setText(chip, STATE_TEXT[state] || state);
  chip.className = `state-chip ${state}`;
  setText($('position'), !d || !d.recordCount ? 'Nenhum registro' : state === 'insert' ? 'Registro novo' : `Registro ${d.recNo} de ${d.recordCount}`);
  const banner = $('banner');
  banner.hidden = !BANNER_TEXT[state];
  if (BANNER_TEXT[state]) setText(banner, BANNER_TEXT[state]);
  banner.className = `banner ${state}`;
  const confirm = nodes.get('sbtConfirmar');
  if (confirm) confirm.root.classList.toggle('primary', isEditing(d) && !confirm.root.disabled);
}

// "Registro gravado." after a save, "Registro excluído." after a delete.
function notices(before, next) {
  if (!before || !chainAct || chainAct.type !== 'click' || next.result !== 'done') return;
  for (const [name, d] of Object.entries(next.datasets)) {
    const p = before.datasets && before.datasets[name];
    if (!p) continue;
    if (CONFIRM.has(chainAct.control) && isEditing(p) && d.state === 'browse') return notify(SAVED_TEXT, 'ok');
    if (DELETE.has(chainAct.control) && d.state === 'browse' && d.recordCount === p.recordCount - 1 && p.state === 'browse')
      return notify(DELETED_TEXT, 'ok');
  }
}

// --- focus ------------------------------------------------------------------------------------

function focusTarget(name) {
  const node = nodes.get(name);
  if (!node) return null;
  if (node.type === 'TDBGrid') {
    const column = snap.controls[name].column;
    return node.root.querySelector(`input[data-column="${column}"]`) || node.root;
  }
  return node.input || node.root;
}

const usable = (e) => !!e && !e.disabled && e.tabIndex >= 0 && e.getClientRects().length > 0 && !e.closest('[hidden]');

// The first control the user can work in on the page shown (the screen's focus may be on a page
// no longer shown, for example the list after Alterar).
function firstOnPage() {
  const pages = Object.values(snap.controls).find((c) => c.type === 'TPageControl');
  const page = pages && pages.activePage ? nodes.get(pages.activePage) : null;
  const scope = page ? page.root : $('screen');
  return [...scope.querySelectorAll('input, select, .grid')].find(usable) || null;
}

function syncFocus() {
  if (!snap || dialogOpen() || !nodes.size) return;
  let target = snap.focus ? focusTarget(snap.focus) : null;
  if (!usable(target)) target = firstOnPage();
  if (!target || document.activeElement === target) return;
  ctx.focusing = true;
  try {
    target.focus();
  } finally {
    ctx.focusing = false;
  }
}

// The control of the screen the browser's focus is in (a grid for its cells).
function focusedControl() {
  const a = document.activeElement;
  if (!a || !a.dataset || !snap) return null;
  const name = a.dataset.grid || a.dataset.name || a.dataset.control;
  return name && snap.controls[name] ? name : null;
}

document.addEventListener('mousedown', () => (pointerDown = true), true);
document.addEventListener('mouseup', () => setTimeout(() => (pointerDown = false)), true);

document.addEventListener('focusin', (e) => {
  const t = e.target;
  // Entering an edit from the keyboard selects its text, so typing replaces it.
  if (!pointerDown && t.tagName === 'INPUT' && t.type === 'text') t.select();
  if (ctx.focusing || !snap || dialogOpen() || !t.dataset) return;
  const name = t.dataset.name;
  if (name && !t.dataset.grid && snap.controls[name] && snap.focus !== name) act({ type: 'focus', control: name });
});

// --- keyboard ---------------------------------------------------------------------------------

function modifiers(e) {
  const list = [];
  if (e.altKey) list.push('alt');
  if (e.ctrlKey) list.push('ctrl');
  if (e.shiftKey) list.push('shift');
  return list;
}

function gridKey(name, e) {
  if (e.altKey && (e.key === 'PageDown' || e.key === 'PageUp')) {
    e.preventDefault();
    act({ type: 'key', control: name, key: e.key, shift: modifiers(e) });
    return;
  }
  if (e.target.tagName === 'INPUT') {
    if (e.key === 'Enter' && !e.ctrlKey) {
      e.preventDefault();
      commitCell(e.target);
    }
    return;
  }
  const set = snap.controls[name].dataSet;
  const d = snap.datasets[set];
  if (!d || d.recordCount === 0 || e.altKey || e.ctrlKey) return;
  const targets = { ArrowDown: d.recNo + 1, ArrowUp: d.recNo - 1, Home: 1, End: d.recordCount, PageDown: d.recNo + 10, PageUp: d.recNo - 10 };
  if (!(e.key in targets)) return;
  e.preventDefault();
  const recNo = Math.max(1, Math.min(d.recordCount, targets[e.key]));
  if (recNo !== d.recNo) act({ type: 'move', dataset: set, recNo });
}

function gridRowClick(name, recNo) {
  const set = snap.controls[name].dataSet;
  const d = snap.datasets[set];
  if (d && recNo !== d.recNo) act({ type: 'move', dataset: set, recNo });
}

// Sorting a list is the host's: the dataset takes the column as its order and keeps its record.
function sortGrid(name, field, descending) {
  const c = snap.controls[name];
  const down = descending ?? !!(c.sort && c.sort.column === field && !c.sort.descending);
  return busyWhile(() => commitActive().then(() => act({ type: 'sort', control: name, column: field, descending: down })));
}

function sortDialog() {
  const name = Object.keys(snap.controls).find((n) => snap.controls[n].type === 'TDBGrid' && snap.controls[n].dataSet === workingDataset());
  if (!name) return Promise.resolve();
  return chooseSort(snap.controls[name].columns || [], snap.controls[name].sort).then((choice) => {
    if (choice) return sortGrid(name, choice.field, choice.descending);
    syncFocus();
    return null;
  });
}

function help() {
  showHelp(KEYS, HELP_INTRO, () => syncFocus());
}

function openLookup() {
  const control = focusedControl();
  const button = control && Object.keys(snap.controls).find((n) => snap.controls[n].type === 'TBtnPesquisa' && associateOf(n) === control);
  if (!button) return notify('Este campo não tem pesquisa.', 'error');
  if (!operable(button, snap)) return notify(refusalText('disabled'), 'error');
  return click(button);
}

function goToChrome() {
  closeMenus();
  const first = [...document.querySelectorAll('.menu-opener, .toolbar button')].find((b) => !b.disabled);
  if (first) first.focus();
}

// The toolbar moves with the arrow keys, as one stop.
$('toolbar').addEventListener('keydown', (e) => {
  const buttons = [...$('toolbar').querySelectorAll('button:not(:disabled)')];
  const i = buttons.indexOf(document.activeElement);
  const to = { ArrowRight: i + 1, ArrowLeft: i - 1, Home: 0, End: buttons.length - 1 }[e.key];
  if (to === undefined || i < 0) return;
  e.preventDefault();
  buttons[(to + buttons.length) % buttons.length].focus();
});

// Keys pressed while an act runs wait, in order, and then go where the focus went: the keyboard can
// run ahead of the screen (a Tab and the next field's text typed at once) without losing a key.
const typeAhead = [];
window.addEventListener('keydown', (e) => {
  if (inFlight === 0 || !e.isTrusted || dialogOpen() || MODIFIER_KEYS.has(e.key)) return;
  e.preventDefault();
  e.stopImmediatePropagation();
  if (typeAhead.length < 64) {
    const { key, code, shiftKey, ctrlKey, altKey, metaKey } = e;
    typeAhead.push({ key, code, shiftKey, ctrlKey, altKey, metaKey });
  }
}, true);

function replayKeys() {
  while (typeAhead.length && inFlight === 0) {
    // A question that came up is answered on purpose, not by keys pressed before it was shown.
    if (dialogOpen()) {
      typeAhead.length = 0;
      return;
    }
    const init = typeAhead.shift();
    const target = document.activeElement || document.body;
    const event = new KeyboardEvent('keydown', { ...init, bubbles: true, cancelable: true });
    if (target.dispatchEvent(event)) keyDefault(target, init);
  }
}

// What the browser itself does with a key, for the keys replayed: typing, erasing, pressing.
function keyDefault(target, { key, ctrlKey, altKey, metaKey }) {
  const text = target.tagName === 'INPUT' && target.type === 'text' && !target.readOnly && !target.disabled;
  if (text && !ctrlKey && !altKey && !metaKey && (key.length === 1 || key === 'Backspace' || key === 'Delete')) {
    let { selectionStart: from, selectionEnd: to } = target;
    if (key.length === 1) target.setRangeText(key, from, to, 'end');
    else {
      if (from === to) key === 'Backspace' ? (from = Math.max(0, from - 1)) : (to += 1);
      target.setRangeText('', from, to, 'end');
    }
    target.dispatchEvent(new Event('input', { bubbles: true }));
  } else if ((key === ' ' && target.matches('input[type="checkbox"], input[type="radio"]')) || (key === 'Enter' && target.tagName === 'BUTTON')) {
    target.click();
  }
}

document.addEventListener('keydown', (e) => {
  if (dialogOpen() || !snap || nodes.size === 0) return;
  const inChrome = !!e.target.closest && !!e.target.closest('.menubar, .toolbar');
  if (inChrome && e.key === 'Escape') {
    e.preventDefault();
    closeMenus();
    syncFocus();
    return;
  }
  if (e.key === 'Tab' && !e.ctrlKey && !e.altKey && focusedControl() && !inChrome) {
    // The screen moves the focus in its own tab order, running the exit handlers on the way; the
    // browser's focus says where the user is, even when the screen's is on a page no longer shown.
    e.preventDefault();
    const cell = e.target.dataset.grid ? e.target : null;
    if (cell) {
      const columns = (snap.controls[cell.dataset.grid].columns || []).map((c) => c.field);
      const next = columns.indexOf(cell.dataset.column) + (e.shiftKey ? -1 : 1);
      if (next >= 0 && next < columns.length) {
        busyWhile(() => commitCell(cell).then(() => act({ type: 'focus', control: cell.dataset.grid, column: columns[next] })));
        return;
      }
    }
    const control = focusedControl();
    busyWhile(() => commitActive().then(() => act({ type: 'key', control, key: 'Tab', shift: e.shiftKey ? ['shift'] : [] })));
    return;
  }
  const entry = keyEntry(e);
  if (entry) {
    e.preventDefault();
    if (entry.action === 'help') return help();
    if (entry.action === 'lookup') return openLookup();
    if (entry.action === 'toolbar') return goToChrome();
    if (entry.control && snap.controls[entry.control]) {
      if (operable(entry.control, snap)) toolClick(entry.control);
      else notify(refusalText('disabled'), 'error');
    }
    return;
  }
  if (e.altKey && /^[1-9]$/.test(e.key)) {
    const pages = Object.values(snap.controls).find((c) => c.type === 'TPageControl')?.pages || [];
    const page = pages[Number(e.key) - 1];
    if (page) {
      e.preventDefault();
      showPage(page);
    }
  }
});

document.addEventListener('click', (e) => {
  if (!e.target.closest('.menu')) closeMenus();
});

// --- busy, wait indicator and notices ----------------------------------------------------------

// While an event runs nothing else can be clicked: a click made now would run after it, on a screen
// the user has not seen yet. A press that began before (the blur of an edit sends its text, then the
// click lands) goes on after that text.
function setBusy(on) {
  document.body.classList.toggle('busy', on);
  $('app').setAttribute('aria-busy', String(on));
}

let pressBeganIdle = true;
document.addEventListener('mousedown', (e) => {
  pressBeganIdle = inFlight === 0;
  if (!pressBeganIdle) {
    e.preventDefault();
    e.stopPropagation();
  }
}, true);
document.addEventListener('click', (e) => {
  if (inFlight > 0 && !pressBeganIdle && !e.target.closest('#overlay')) {
    e.preventDefault();
    e.stopPropagation();
  }
}, true);

function showWait(text) {
  $('wait').hidden = text === null;
  if (text !== null) setText($('waitText'), text);
}

let noticeTimer = null;
function notify(text, kind) {
  const t = $('toast');
  t.className = `toast ${kind}`;
  t.textContent = text;
  t.hidden = false;
  clearTimeout(noticeTimer);
  noticeTimer = setTimeout(() => (t.hidden = true), kind === 'ok' ? 2500 : 5000);
}

// --- measuring ----------------------------------------------------------------------------------

// For the benchmark: "tipoper:repaint" measures from a key or click to the frame painted after the
// screen answered it; "tipoper:ready" marks the screen first shown.
let inputPending = false;
for (const type of ['keydown', 'mousedown']) {
  document.addEventListener(type, (e) => {
    performance.mark('tipoper:input', { startTime: e.timeStamp });
    inputPending = true;
  }, true);
}
let ready = false;
function markReady() {
  if (!ready && (nodes.size || !opened)) {
    ready = true;
    requestAnimationFrame(() => performance.mark('tipoper:ready'));
  }
  if (inputPending && session.pending === 0) {
    inputPending = false;
    requestAnimationFrame(() => setTimeout(() => performance.measure('tipoper:repaint', 'tipoper:input')));
  }
}

// --- start ------------------------------------------------------------------------------------

// The header's user area: who is logged in, their role, a read-only mark for a user who may only
// read (the screen itself refuses their changes), and the way out.
function showUser(me) {
  const readOnly = me.role === 'consulta';
  document.body.classList.toggle('read-only', readOnly);
  $('userArea').replaceChildren(
    el('span', { id: 'userName', class: 'user-name', text: me.user }),
    el('span', { id: 'userRole', class: 'user-role', text: ROLE_TEXT[me.role] || me.role }),
    readOnly ? el('span', { id: 'readOnly', class: 'read-only-badge', title: READ_ONLY_TITLE, text: READ_ONLY_TEXT }) : null,
    el('button', { id: 'logout', type: 'button', class: 'logout', text: LOGOUT_TEXT, onclick: () => logout() }),
  );
}

async function start() {
  try {
    showUser(await whoAmI());
    await session.start();
    await act({ type: 'open' });
  } catch (err) {
    notify('Não foi possível abrir a tela. Recarregue a página para tentar de novo.', 'error');
  }
}

$('reopen').addEventListener('click', () => act({ type: 'open' }));
// Leaving the page while a record or a line is being edited would lose it: the browser asks first.
window.addEventListener('beforeunload', (e) => {
  const editing = snap && Object.values(snap.datasets || {}).some((d) => d.state === 'edit' || d.state === 'insert');
  if (!editing && dirty.size === 0) return;
  e.preventDefault();
  e.returnValue = '';
});
window.addEventListener('pagehide', () => session.close());
window.tipoper = {
  get snapshot() {
    return snap;
  },
  get pending() {
    return inFlight + typeAhead.length;
  },
};
start();
