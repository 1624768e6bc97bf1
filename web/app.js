// The renderer: draws the screen from the session's snapshot and turns the user's acts into events.
// Nothing here decides a rule of the screen: enabled states, captions, checks and texts come from the
// snapshot exactly as the screen set them; the renderer only lays them out.

import { ApiError, Session } from './api.js';
import { closeDialog, dialogOpen, screenDialogOpen, showHostError, showScreenDialog } from './dialogs.js';

// Keyboard shortcuts of the toolbar (also shown on the buttons and in the menus).
const SHORTCUTS = [
  { control: 'sbtIncluir', label: 'F2', match: (e) => e.key === 'F2' },
  { control: 'sbtAlterar', label: 'F3', match: (e) => e.key === 'F3' },
  { control: 'sbtExcluir', label: 'F4', match: (e) => e.key === 'F4' },
  { control: 'sbtVerificar', label: 'F5', match: (e) => e.key === 'F5' },
  { control: 'sbtProcurar', label: 'F6', match: (e) => e.key === 'F6' },
  { control: 'sbtCancelar', label: 'Esc', match: (e) => e.key === 'Escape' },
  { control: 'sbtConfirmar', label: 'F10', match: (e) => e.key === 'F10' || (e.ctrlKey && e.key === 'Enter') },
];
const MENU_SHORTCUT = { mnuIncluir: 'F2', mnuAlterar: 'F3', mnuExcluir: 'F4', mnuVerificar: 'F5', mnuProcurar: 'F6', mnuCancelar: 'Esc', mnuConfirmar: 'F10', mnuFolhaDados: 'Alt+1', mnuFormulario: 'Alt+2' };
const MENUS = [
  { caption: 'Exibir', items: ['mnuFolhaDados', 'mnuFormulario', 'mnuListagem'] },
  { caption: 'Registro', items: ['mnuIncluir', 'mnuAlterar', 'mnuExcluir', 'mnuProcurar', 'mnuVerificar', 'mnuCancelar', 'mnuConfirmar'] },
];
const FOCUSABLE = new Set(['TDBCheckBox', 'TRadioButton', 'TDBEdit', 'TEdit', 'TComboBox', 'TDBComboBox', 'TDBGrid']);
const CONTAINERS = new Set(['TGroupBox', 'TPanel', 'TScrollBox']);
const STATE_TEXT = { inactive: 'Fechado', browse: 'Consulta', edit: 'Alteração', insert: 'Inclusão' };

const $ = (id) => document.getElementById(id);
const session = new Session({ onWait: showWait });

let snap = null;          // the last snapshot
let def = null;           // the screen definition (for the per-kind arrangement of the options)
let structure = '';       // names and parents of the controls the DOM was built for
const nodes = new Map();  // control name -> {type, root, input}
const dirty = new Set();  // edits (and grid cells "grid:FIELD") the user changed and has not sent
let syncingFocus = false;
let opened = false;

function el(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === 'class') node.className = v;
    else if (k === 'text') node.textContent = v;
    else node.setAttribute(k, v);
  }
  for (const c of children) if (c !== null && c !== undefined) node.append(c);
  return node;
}

// --- talking to the session -------------------------------------------------------------------

function act(event) {
  return session.send(event).then(
    (s) => apply(s, true),
    (err) => {
      if (err instanceof ApiError) toast(err.message);
      else toast('Falha de comunicação com o servidor: ' + err.message);
      // Undo what the browser already changed on its own (a typed value, a picked item).
      if (event.control) dirty.delete(event.column ? `${event.control}:${event.column}` : event.control);
      if (snap) render(snap);
    });
}

function answer(value) {
  closeDialog();
  return act({ type: 'answer', value });
}

// Sends the text of the edit (or grid cell) the user is typing in, before a toolbar action: a
// toolbar button does not take the focus, so the edit keeps it while its text reaches the screen.
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
  const node = nodes.get(name);
  return act({ type: 'type', control: name, text: node.input.value });
}

function commitCell(input) {
  const key = `${input.dataset.grid}:${input.dataset.column}`;
  if (!dirty.has(key)) return Promise.resolve();
  dirty.delete(key);
  return act({ type: 'type', control: input.dataset.grid, column: input.dataset.column, text: input.value });
}

function clickControl(name) {
  return commitActive().then(() => act({ type: 'click', control: name }));
}

// --- applying a snapshot ----------------------------------------------------------------------

function apply(s, fromEvent) {
  snap = s;
  render(s);
  if (fromEvent && s.result === 'failed' && s.error) showHostError(s.error, () => syncFocus());
}

function render(s) {
  document.getElementById('app').setAttribute('aria-busy', 'false');
  const names = Object.keys(s.controls);
  if (names.length === 0) {
    $('closed').hidden = !opened;
    return;
  }
  opened = true;
  $('closed').hidden = true;
  const key = names.map((n) => `${n}<${s.controls[n].parent}`).join('|');
  if (key !== structure) {
    build(s);
    structure = key;
  }
  for (const [name, c] of Object.entries(s.controls)) update(name, c, s);
  applyArrangement(s);
  updateChrome(s);
  if (s.dialog) showScreenDialog(s.dialog, answer);
  else if (screenDialogOpen()) closeDialog();
  if (session.pending === 0) syncFocus();
}

// Whether the user can act on the control: it and every container around it visible and enabled.
function operable(name, s) {
  for (let c = s.controls[name], n = name; c; n = c.parent, c = c.parent ? s.controls[c.parent] : null) {
    if (!c.enabled || !c.visible) return false;
    if (!c.parent) break;
  }
  return true;
}

// --- building the DOM once per screen ---------------------------------------------------------

function build(s) {
  nodes.clear();
  const screen = $('screen');
  screen.replaceChildren();
  $('toolbar').replaceChildren();
  $('menubar').replaceChildren();
  $('statusbar').replaceChildren();
  const children = new Map();
  const ordered = Object.entries(s.controls).sort((a, b) => (a[1].index ?? 0) - (b[1].index ?? 0));
  for (const [name, c] of ordered) {
    const p = c.parent || '';
    if (!children.has(p)) children.set(p, []);
    children.get(p).push(name);
  }

  for (const name of children.get('') || []) {
    const c = s.controls[name];
    if (c.type === 'TSpeedButton') buildTool(name, c);
    else if (c.type === 'TMenuItem') continue;
    else if (c.type === 'TPageControl') screen.append(buildPages(name, c, s, children));
    else if (c.type === 'TDBNavigator') $('statusbar').prepend(buildNavigator(name, c));
    else if (name === 'lblCodTela') nodes.set(name, { type: c.type, root: $('screenCode') });
    else if (c.type === 'TDBText') {
      const root = el('span', { class: 'dbtext' });
      nodes.set(name, { type: c.type, root });
      $('statusbar').append(root);
    } else if (CONTAINERS.has(c.type)) {
      const bar = buildControl(name, c, s, children);
      bar.classList.add('filter-bar');
      bar.style.position = 'relative';
      bar.style.left = bar.style.top = '';
      bar.style.width = '100%';
      screen.prepend(bar);
    } else {
      screen.append(buildControl(name, c, s, children));
    }
  }
  buildMenus(s);
  $('statusbar').append(el('span', { class: 'state-chip', id: 'stateChip' }), el('span', { class: 'status-text', id: 'position' }));
}

function place(node, c) {
  const b = c.bounds;
  if (!b) return;
  node.classList.add('ctl');
  node.style.left = b.left + 'px';
  node.style.top = b.top + 'px';
  if (b.width) node.style.width = b.width + 'px';
  if (b.height) node.style.height = b.height + 'px';
}

function buildControl(name, c, s, children) {
  let root;
  let input = null;
  switch (c.type) {
    case 'TLabel':
      root = el('div', { class: 'text-label' });
      break;
    case 'TDBText':
      root = el('div', { class: 'dbtext' });
      break;
    case 'TBevel':
      root = el('div', { class: 'bevel' });
      break;
    case 'TGroupBox':
    case 'TPanel':
    case 'TScrollBox': {
      root = el('div', { class: `container ${c.type === 'TGroupBox' ? 'groupbox' : 'panel'}` });
      if (c.type === 'TGroupBox') root.append(el('span', { class: 'legend' }));
      for (const child of children.get(name) || []) root.append(buildControl(child, s.controls[child], s, children));
      if (c.type === 'TScrollBox') root.style.overflow = 'auto';
      break;
    }
    case 'TDBCheckBox':
    case 'TRadioButton': {
      input = el('input', { type: c.type === 'TDBCheckBox' ? 'checkbox' : 'radio', 'data-name': name });
      root = el('label', { class: c.type === 'TDBCheckBox' ? 'check' : 'radio' }, input, el('span', { class: 'caption' }));
      input.addEventListener('click', (e) => {
        e.preventDefault(); // the screen decides the new state
        clickControl(name);
      });
      break;
    }
    case 'TDBEdit':
    case 'TEdit':
      input = root = el('input', { class: 'edit', type: 'text', 'data-name': name, autocomplete: 'off', spellcheck: 'false' });
      input.addEventListener('input', () => dirty.add(name));
      input.addEventListener('change', () => commitEdit(name));
      input.addEventListener('keydown', (e) => {
        if (e.key === 'Enter' && !e.ctrlKey) {
          e.preventDefault();
          commitEdit(name);
        }
      });
      break;
    case 'TComboBox':
    case 'TDBComboBox':
      input = root = el('select', { class: 'combo', 'data-name': name });
      input.addEventListener('change', () => act({ type: 'pick', control: name, index: input.selectedIndex }));
      if (c.type === 'TDBComboBox') {
        // Letters go to the screen's key handler, which may set the field itself.
        input.addEventListener('keydown', (e) => {
          if (e.key.length === 1 && /[\p{L}\p{N}]/u.test(e.key) && !e.ctrlKey && !e.altKey) {
            e.preventDefault();
            act({ type: 'key', control: name, key: e.key.toUpperCase(), shift: modifiers(e) });
          }
        });
      }
      break;
    case 'TBtnPesquisa':
    case 'TSpeedButton':
      root = el('button', { type: 'button', class: 'search-btn', 'aria-label': c.hint || c.caption || name }, c.type === 'TBtnPesquisa' ? '…' : c.caption);
      root.addEventListener('mousedown', (e) => e.preventDefault());
      root.addEventListener('click', () => clickControl(name));
      break;
    case 'TDBGrid':
      root = buildGrid(name, c);
      break;
    default:
      root = el('div', { class: 'text-label' });
  }
  root.dataset.control = name;
  place(root, c);
  nodes.set(name, { type: c.type, root, input });
  return root;
}

function modifiers(e) {
  const list = [];
  if (e.altKey) list.push('alt');
  if (e.ctrlKey) list.push('ctrl');
  if (e.shiftKey) list.push('shift');
  return list;
}

function buildTool(name, c) {
  const shortcut = SHORTCUTS.find((k) => k.control === name);
  const button = el('button', { type: 'button', class: 'tool', 'data-tool': name, tabindex: '0' },
    el('span', { class: 'caption' }), el('span', { class: 'key', text: shortcut ? shortcut.label : '\u00a0' }));
  if (name === 'sbtCancelar' || name === 'sbtImprimir') button.classList.add('sep');
  button.addEventListener('mousedown', (e) => e.preventDefault()); // the edit keeps the focus
  button.addEventListener('click', () => clickControl(name));
  nodes.set(name, { type: c.type, root: button });
  $('toolbar').append(button);
}

function buildMenus(s) {
  const known = new Set(MENUS.flatMap((m) => m.items));
  const extra = Object.keys(s.controls).filter((n) => s.controls[n].type === 'TMenuItem' && !known.has(n));
  const menus = extra.length ? [...MENUS, { caption: 'Outros', items: extra }] : MENUS;
  for (const menu of menus) {
    const items = menu.items.filter((n) => s.controls[n]);
    if (items.length === 0) continue;
    const list = el('ul', { role: 'menu' });
    list.hidden = true;
    const opener = el('button', { type: 'button', 'aria-haspopup': 'true', 'aria-expanded': 'false', text: menu.caption });
    const wrap = el('div', { class: 'menu' }, opener, list);
    const close = () => {
      list.hidden = true;
      opener.setAttribute('aria-expanded', 'false');
    };
    opener.addEventListener('click', () => {
      const open = list.hidden;
      document.querySelectorAll('.menu ul').forEach((u) => (u.hidden = true));
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
        close();
        syncFocus();
      } else return;
      e.preventDefault();
      e.stopPropagation();
    });
    for (const name of items) {
      const button = el('button', { type: 'button', role: 'menuitem' }, el('span', { class: 'caption' }),
        MENU_SHORTCUT[name] ? el('kbd', { text: MENU_SHORTCUT[name] }) : null);
      button.addEventListener('click', () => {
        close();
        clickControl(name);
      });
      nodes.set(name, { type: 'TMenuItem', root: button });
      list.append(el('li', { role: 'none' }, button));
    }
    $('menubar').append(wrap);
  }
}

function buildPages(name, c, s, children) {
  const tabs = el('div', { class: 'tabs', role: 'tablist' });
  const pages = el('div', { class: 'pages' }, tabs);
  for (const page of c.pages || []) {
    const pc = s.controls[page];
    const tab = el('button', { type: 'button', class: 'tab', role: 'tab', 'data-page': page, tabindex: '0' });
    tab.addEventListener('mousedown', (e) => e.preventDefault());
    tab.addEventListener('click', () => commitActive().then(() => act({ type: 'page', page })));
    tabs.append(tab);
    const inner = el('div', { class: 'page-inner' });
    let bottom = 0;
    for (const child of children.get(page) || []) {
      const cc = s.controls[child];
      const node = buildControl(child, cc, s, children);
      if (!cc.bounds && cc.type === 'TDBGrid') node.classList.add('fill');
      if (cc.bounds) bottom = Math.max(bottom, cc.bounds.top + cc.bounds.height);
      inner.append(node);
    }
    inner.style.minHeight = bottom ? bottom + 16 + 'px' : '100%';
    if (!bottom) inner.style.height = '100%';
    const body = el('div', { class: 'page', role: 'tabpanel' }, inner);
    nodes.set(page, { type: pc.type, root: body, tab });
    pages.append(body);
  }
  nodes.set(name, { type: c.type, root: pages });
  return pages;
}

function buildNavigator(name, c) {
  const wrap = el('div', { class: 'navigator', role: 'group', 'aria-label': 'Navegação' });
  const moves = [['«', 'Primeiro', () => 1], ['‹', 'Anterior', (d) => d.recNo - 1], ['›', 'Próximo', (d) => d.recNo + 1], ['»', 'Último', (d) => d.recordCount]];
  for (const [glyph, title, target] of moves) {
    const b = el('button', { type: 'button', title, 'aria-label': title, text: glyph });
    b.addEventListener('mousedown', (e) => e.preventDefault());
    b.addEventListener('click', () => {
      const d = snap.datasets[snap.controls[name].dataSet];
      if (!d || d.recordCount === 0) return;
      const recNo = Math.max(1, Math.min(d.recordCount, target(d)));
      if (recNo !== d.recNo) act({ type: 'move', dataset: snap.controls[name].dataSet, recNo });
    });
    wrap.append(b);
  }
  nodes.set(name, { type: c.type, root: wrap });
  return wrap;
}

// --- grids ------------------------------------------------------------------------------------

function buildGrid(name, c) {
  const root = el('div', { class: 'grid', 'data-name': name, role: 'grid' });
  root.append(el('table', {}, el('thead'), el('tbody')));
  root.addEventListener('keydown', (e) => gridKey(name, e));
  root.addEventListener('click', (e) => {
    const row = e.target.closest('tr[data-rec]');
    if (!row) return;
    const d = snap.datasets[snap.controls[name].dataSet];
    const recNo = Number(row.dataset.rec);
    if (d && recNo !== d.recNo && !(d.state === 'edit' || d.state === 'insert'))
      act({ type: 'move', dataset: snap.controls[name].dataSet, recNo });
  });
  return root;
}

function gridKey(name, e) {
  if (e.altKey && (e.key === 'PageDown' || e.key === 'PageUp')) {
    e.preventDefault();
    act({ type: 'key', control: name, key: e.key, shift: modifiers(e) });
    return;
  }
  if (e.target.tagName === 'INPUT') {
    if (e.key === 'Enter') {
      e.preventDefault();
      commitCell(e.target);
    }
    return;
  }
  const d = snap.datasets[snap.controls[name].dataSet];
  if (!d || d.recordCount === 0) return;
  const targets = { ArrowDown: d.recNo + 1, ArrowUp: d.recNo - 1, Home: 1, End: d.recordCount, PageDown: d.recNo + 10, PageUp: d.recNo - 10 };
  if (!(e.key in targets)) return;
  e.preventDefault();
  const recNo = Math.max(1, Math.min(d.recordCount, targets[e.key]));
  if (recNo !== d.recNo) act({ type: 'move', dataset: snap.controls[name].dataSet, recNo });
}

function updateGrid(name, c, s) {
  const node = nodes.get(name);
  const d = s.datasets[c.dataSet] || { rows: [], recNo: 0, state: 'inactive' };
  const columns = c.columns || [];
  const [thead, tbody] = node.root.querySelector('table').children;
  thead.replaceChildren(el('tr', {}, ...columns.map((col) =>
    el('th', { style: `min-width:${Math.max(col.width || 60, 48)}px`, text: col.title || col.field }))));
  const editing = c.editing && (d.state === 'edit' || d.state === 'insert');
  const rows = d.rows || [];
  const active = document.activeElement;
  const keepKey = active && active.dataset && active.dataset.grid === name && dirty.has(`${name}:${active.dataset.column}`)
    ? active.dataset.column : null;
  const body = [];
  rows.forEach((row, i) => {
    const current = i + 1 === d.recNo;
    const tr = el('tr', { 'data-rec': String(i + 1), class: current ? 'current' : '', 'aria-selected': String(current) });
    for (const col of columns) {
      const td = el('td', { class: current && c.column === col.field ? 'selected' : '' });
      if (current && editing) {
        if (keepKey === col.field) {
          td.append(active);
        } else {
          const value = c.column === col.field ? c.text : d.current[col.field] ?? '';
          const input = el('input', { type: 'text', 'data-grid': name, 'data-column': col.field, 'aria-label': col.title || col.field });
          input.value = value;
          input.addEventListener('input', () => dirty.add(`${name}:${col.field}`));
          input.addEventListener('change', () => commitCell(input));
          input.addEventListener('focus', () => {
            if (syncingFocus) return;
            if (snap.focus !== name || snap.controls[name].column !== col.field)
              act({ type: 'focus', control: name, column: col.field });
          });
          td.append(input);
        }
      } else {
        td.textContent = row[col.field] ?? '';
      }
      tr.append(td);
    }
    body.push(tr);
  });
  tbody.replaceChildren(...body);
  if (rows.length === 0) tbody.append(el('tr', {}, el('td', { class: 'empty', colspan: String(columns.length), text: 'Nenhum registro.' })));
  const cur = tbody.querySelector('tr.current');
  if (cur && cur.scrollIntoView) cur.scrollIntoView({ block: 'nearest' });
}

// --- the per-kind arrangement -----------------------------------------------------------------

// Where the option boxes stand for the kind shown in the filter: the kind's rows of the upper block
// in columns, then the lower block one row under the other with a companion control beside the
// first. The screen moves its controls the same way; laying them out here keeps the page tidy
// whatever geometry the snapshot carries.
function arrangement(s) {
  const a = def && def.arrangement;
  const combo = s.controls.cbbEntSaid;
  if (!a || !a.layout || !combo) return null;
  const kind = a[combo.itemIndex === 0 ? 'E' : 'S'];
  if (!kind) return null;
  const l = a.layout;
  const heightOf = (name) => (s.controls[name] && s.controls[name].bounds ? s.controls[name].bounds.height : l.rowHeight - l.rowGap);
  const positions = new Map();
  (kind.upper || []).forEach((row, r) => row.forEach((name, col) => {
    if (name) positions.set(name, [l.columns[col], l.top + r * l.rowHeight]);
  }));
  let y = l.top + (kind.upper || []).length * l.rowHeight + l.lowerGap;
  for (const row of kind.lower || []) {
    let tallest = 0;
    row.forEach((name, i) => {
      if (!name) return;
      positions.set(name, [i === 0 ? l.columns[0] : l.besideLeft, y]);
      tallest = Math.max(tallest, heightOf(name));
    });
    y += Math.max(l.rowHeight, tallest + l.rowGap);
  }
  return { container: l.container, positions, height: y + l.bottomMargin };
}

function applyArrangement(s) {
  const arranged = arrangement(s);
  if (!arranged) return;
  for (const [name, [left, top]] of arranged.positions) {
    const node = nodes.get(name);
    if (!node || !s.controls[name] || s.controls[name].parent !== arranged.container) continue;
    node.root.style.left = left + 'px';
    node.root.style.top = top + 'px';
  }
  const box = nodes.get(arranged.container);
  if (!box) return;
  box.root.style.height = arranged.height + 'px';
  // The page grows with the box.
  const inner = box.root.closest('.page-inner');
  const b = s.controls[arranged.container].bounds;
  if (inner && b) inner.style.minHeight = b.top + arranged.height + 16 + 'px';
}

// --- updating from the snapshot ---------------------------------------------------------------

function update(name, c, s) {
  const node = nodes.get(name);
  if (!node) return;
  const { root, input } = node;
  const can = operable(name, s);
  if (node.tab) {
    // A tab sheet: its tab, and the page shown when it is the active one.
    node.tab.textContent = c.caption;
    node.tab.disabled = !c.enabled || !c.visible;
    node.tab.hidden = !c.visible;
    const activePage = s.controls[c.parent] && s.controls[c.parent].activePage;
    node.tab.setAttribute('aria-selected', String(activePage === name));
    root.hidden = activePage !== name;
    return;
  }
  root.hidden = !c.visible;
  switch (node.type) {
    case 'TSpeedButton':
      if (root.classList.contains('tool')) {
        root.querySelector('.caption').textContent = c.caption;
        root.title = c.hint || c.caption;
      } else {
        root.textContent = c.caption;
      }
      root.disabled = !can;
      return;
    case 'TMenuItem':
      root.querySelector('.caption').textContent = c.caption;
      root.disabled = !can;
      root.parentElement.hidden = !c.visible;
      return;
    case 'TLabel':
      root.textContent = c.caption;
      root.classList.toggle('off', !can);
      return;
    case 'TDBText':
      root.textContent = c.text;
      return;
    case 'TGroupBox':
      root.querySelector('.legend').textContent = c.caption;
      root.classList.toggle('plain-caption', !c.caption);
      root.classList.toggle('off', !c.enabled);
      return;
    case 'TPanel':
    case 'TScrollBox':
      root.classList.toggle('off', !c.enabled);
      return;
    case 'TDBCheckBox':
    case 'TRadioButton':
      root.querySelector('.caption').textContent = c.caption;
      root.title = c.hint || c.caption;
      input.checked = c.checked === true;
      input.indeterminate = c.type === 'TDBCheckBox' && c.checked === null;
      input.disabled = !can;
      root.classList.toggle('off', !can);
      break;
    case 'TDBEdit':
    case 'TEdit': {
      const typing = dirty.has(name) && document.activeElement === input;
      if (!typing) {
        dirty.delete(name);
        const shown = document.activeElement === input ? c.text : c.displayText ?? c.text;
        if (input.value !== shown) input.value = shown;
      }
      input.disabled = !can;
      input.readOnly = !!c.readOnly;
      if (c.maxLength > 0) input.maxLength = c.maxLength;
      else input.removeAttribute('maxlength');
      input.classList.toggle('btnface', c.color === 'clBtnFace' && !c.readOnly);
      input.title = c.hint || '';
      break;
    }
    case 'TComboBox':
    case 'TDBComboBox': {
      const items = c.items || [];
      if (input.options.length !== items.length || [...input.options].some((o, i) => o.text !== items[i]))
        input.replaceChildren(...items.map((t) => el('option', { text: t })));
      input.selectedIndex = c.itemIndex ?? -1;
      input.disabled = !can;
      break;
    }
    case 'TBtnPesquisa':
      root.disabled = !can;
      root.title = c.hint || '';
      break;
    case 'TDBGrid':
      updateGrid(name, c, s);
      root.classList.toggle('off', !can);
      break;
    case 'TDBNavigator':
      root.querySelectorAll('button').forEach((b) => (b.disabled = !can));
      return;
    default:
      if ('caption' in c && root.classList.contains('text-label')) root.textContent = c.caption || c.text || '';
      return;
  }
  // The screen's tab order: positive tab indexes first, in the screen's order.
  const target = input || root;
  if (FOCUSABLE.has(node.type)) target.tabIndex = c.tabIndex === null || c.tabIndex === undefined ? -1 : c.tabIndex + 1;
}

function updateChrome(s) {
  const nav = Object.values(s.controls).find((c) => c.type === 'TDBNavigator' && !c.parent);
  const d = nav && s.datasets[nav.dataSet];
  const chip = $('stateChip');
  if (chip && d) {
    chip.textContent = STATE_TEXT[d.state] || d.state;
    chip.className = `state-chip ${d.state}`;
    $('position').textContent = d.recordCount ? `Registro ${d.recNo} de ${d.recordCount}` : 'Nenhum registro';
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

function syncFocus() {
  if (!snap || dialogOpen() || !snap.focus) return;
  if (document.activeElement && document.activeElement.closest && document.activeElement.closest('.menu ul')) return;
  const target = focusTarget(snap.focus);
  if (!target || document.activeElement === target || target.disabled) return;
  syncingFocus = true;
  try {
    target.focus();
  } finally {
    syncingFocus = false;
  }
}

function screenControlFocused() {
  const a = document.activeElement;
  return !!(a && a.dataset && (a.dataset.grid || (a.dataset.name && snap.controls[a.dataset.name])) && snap.focus);
}

document.addEventListener('focusin', (e) => {
  if (syncingFocus || !snap || dialogOpen()) return;
  const t = e.target;
  if (!t.dataset) return;
  const name = t.dataset.name;
  if (name && !t.dataset.grid && snap.controls[name] && snap.focus !== name) act({ type: 'focus', control: name });
});

// --- keyboard ---------------------------------------------------------------------------------

document.addEventListener('keydown', (e) => {
  if (dialogOpen() || !snap || Object.keys(snap.controls).length === 0) return;
  if (e.key === 'Tab' && !e.ctrlKey && !e.altKey && screenControlFocused()) {
    // The screen moves the focus in its own tab order, running the exit handlers on the way.
    e.preventDefault();
    const cell = document.activeElement.dataset.grid ? document.activeElement : null;
    if (cell) {
      const grid = snap.controls[cell.dataset.grid];
      const columns = (grid.columns || []).map((c) => c.field);
      const next = columns.indexOf(cell.dataset.column) + (e.shiftKey ? -1 : 1);
      if (next >= 0 && next < columns.length) {
        commitCell(cell).then(() => act({ type: 'focus', control: cell.dataset.grid, column: columns[next] }));
        return;
      }
    }
    commitActive().then(() => act({ type: 'key', control: snap.focus, key: 'Tab', shift: e.shiftKey ? ['shift'] : [] }));
    return;
  }
  const shortcut = SHORTCUTS.find((k) => k.match(e));
  if (shortcut) {
    e.preventDefault();
    const c = snap.controls[shortcut.control];
    if (c && operable(shortcut.control, snap)) clickControl(shortcut.control);
    return;
  }
  if (e.altKey && ['1', '2', '3'].includes(e.key)) {
    const pages = Object.values(snap.controls).find((c) => c.type === 'TPageControl')?.pages || [];
    const page = pages[Number(e.key) - 1];
    if (page) {
      e.preventDefault();
      commitActive().then(() => act({ type: 'page', page }));
    }
  }
});

document.addEventListener('click', (e) => {
  if (!e.target.closest('.menu')) document.querySelectorAll('.menu ul').forEach((u) => (u.hidden = true));
});

// --- wait indicator and messages --------------------------------------------------------------

function showWait(text) {
  $('wait').hidden = text === null;
  if (text !== null) $('waitText').textContent = text;
}

let toastTimer = null;
function toast(text) {
  const t = $('toast');
  t.textContent = text;
  t.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => (t.hidden = true), 4000);
}

// --- start ------------------------------------------------------------------------------------

async function start() {
  fetch('/definition.json')
    .then((r) => (r.ok ? r.json() : null))
    .then((loaded) => {
      def = loaded;
      if (def && def.form && def.form.caption) {
        $('formCaption').textContent = def.form.caption;
        document.title = def.form.caption;
      }
      if (snap) render(snap);
    })
    .catch(() => {});
  try {
    await session.start();
    await act({ type: 'open' });
  } catch (err) {
    toast('Não foi possível abrir a tela: ' + err.message);
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
window.tipoper = { get snapshot() { return snap; }, get pending() { return session.pending; } };
start();
