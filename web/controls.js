// One entry per kind of control: how it is built once and how it follows the snapshot. `slot` says
// where a control without a parent goes (the toolbar, the menus, the status bar, the title bar, the
// screen). Enabled states, captions, checks and texts come from the snapshot exactly as the screen
// set them; an entry only decides how they look.

import { el, idFor, setAttr, setProp, setText } from './dom.js';
import { closedListHint, keyOf, MENU_KEYS } from './texts.js';

const TEXT_INPUT = { class: 'edit', type: 'text', autocomplete: 'off', spellcheck: 'false' };
const PRINTABLE = (e) => e.key.length === 1 && !e.ctrlKey && !e.altKey && !e.metaKey;

// The root element every kind builds, with the name the events use.
function register(ctx, name, c, parts) {
  parts.root.dataset.control = name;
  const node = { name, type: c.type, ...parts };
  ctx.nodes.set(name, node);
  return node;
}

// --- simple texts --------------------------------------------------------------------------------

const label = {
  slot: 'title',
  build: (ctx, name, c) => register(ctx, name, c, { root: el('div', { class: 'text-label' }) }),
  update(ctx, node, c) {
    setText(node.root, c.caption);
    node.root.classList.toggle('off', !ctx.operable(node.name));
    // A caption long enough to be cut on a narrow line keeps its whole text in a tooltip (measuring
    // each one after every answer would cost a layout per label).
    setAttr(node.root, 'title', c.caption && c.caption.length > 24 ? c.caption : null);
  },
};

const dbText = {
  slot: 'status',
  build: (ctx, name, c) => register(ctx, name, c, { root: el('span', { class: 'dbtext' }) }),
  update(ctx, node, c) {
    setText(node.root, c.text);
    setAttr(node.root, 'title', c.text || null);
  },
};

const bevel = {
  build: (ctx, name, c) => register(ctx, name, c, { root: el('div', { class: 'bevel', 'aria-hidden': 'true' }) }),
  update() {},
};

// --- containers ------------------------------------------------------------------------------------

function container(kind) {
  return {
    slot: 'filter',
    build(ctx, name, c) {
      const body = el('div', { class: 'body' });
      let root;
      if (kind === 'group') {
        root = el('fieldset', { class: 'container groupbox' }, el('legend', { class: 'legend' }), body);
      } else {
        root = el('div', { class: `container panel${kind === 'scroll' ? ' scroll' : ''}`, role: 'group' }, body);
      }
      const node = register(ctx, name, c, { root, body });
      ctx.buildChildren(name, body);
      return node;
    },
    update(ctx, node, c) {
      if (kind === 'group') {
        const legend = node.root.firstChild;
        setText(legend, c.caption.trim());
        node.root.classList.toggle('plain-caption', !c.caption.trim());
      } else {
        // A panel is named by its caption when it has one; otherwise it only groups.
        setAttr(node.root, 'aria-label', c.caption ? c.caption.trim() : null);
        setAttr(node.root, 'role', c.caption ? 'group' : null);
      }
      node.root.classList.toggle('off', !ctx.operable(node.name));
    },
  };
}

// Tab sheets are built by their page control: a tab in the strip and a page with the sheet's controls.
const pageControl = {
  slot: 'screen',
  build(ctx, name, c) {
    const strip = el('div', { class: 'tabs', role: 'tablist', 'aria-label': 'Páginas' });
    const root = el('div', { class: 'pages' }, strip);
    const node = register(ctx, name, c, { root, strip });
    (c.pages || []).forEach((page, i) => {
      const tab = el('button', { type: 'button', class: 'tab', role: 'tab', 'data-page': page });
      const body = el('div', { class: 'body' });
      const panel = el('div', { class: 'page', role: 'tabpanel' }, body);
      setAttr(panel, 'aria-labelledby', idFor(tab, 'tab'));
      setAttr(tab, 'aria-controls', idFor(panel, 'page'));
      setAttr(tab, 'aria-keyshortcuts', `Alt+${i + 1}`);
      tab.addEventListener('mousedown', (e) => e.preventDefault());
      tab.addEventListener('click', () => ctx.showPage(page));
      tab.addEventListener('keydown', (e) => {
        const step = { ArrowRight: 1, ArrowLeft: -1 }[e.key];
        if (!step) return;
        e.preventDefault();
        const pages = ctx.snap.controls[name].pages;
        const next = pages[(pages.indexOf(page) + step + pages.length) % pages.length];
        ctx.showPage(next).then(() => ctx.nodes.get(next)?.tab.focus());
      });
      strip.append(tab);
      root.append(panel);
      register(ctx, page, ctx.snap.controls[page], { root: panel, body, tab });
      ctx.buildChildren(page, body);
    });
    return node;
  },
  update() {},
};

const tabSheet = {
  build() {
    throw new Error('folhas são criadas pelo seu controle de páginas');
  },
  update(ctx, node, c) {
    const owner = ctx.snap.controls[c.parent];
    const shown = owner && owner.activePage === node.name;
    setText(node.tab, c.caption);
    setProp(node.tab, 'disabled', !c.enabled || !c.visible);
    node.tab.hidden = !c.visible;
    setAttr(node.tab, 'aria-selected', String(shown));
    setProp(node.tab, 'tabIndex', shown ? 0 : -1);
    node.root.hidden = !shown;
  },
};

// --- choices -----------------------------------------------------------------------------------------

function check(type) {
  return {
    build(ctx, name, c) {
      const input = el('input', { type, 'data-name': name });
      const root = el('label', { class: type === 'checkbox' ? 'check' : 'radio' }, input, el('span', { class: 'caption' }));
      input.addEventListener('click', (e) => {
        e.preventDefault(); // the screen decides the new state
        ctx.click(name);
      });
      return register(ctx, name, c, { root, input });
    },
    update(ctx, node, c) {
      const can = ctx.operable(node.name);
      setText(node.root.lastChild, c.caption);
      setAttr(node.root, 'title', c.hint || c.caption || null);
      setProp(node.input, 'checked', c.checked === true);
      setProp(node.input, 'indeterminate', type === 'checkbox' && c.checked === null);
      setProp(node.input, 'disabled', !can);
      node.root.classList.toggle('off', !can);
      node.root.classList.toggle('browse', can && ctx.readOnlyByState(node.name));
      focusOrder(ctx, node, c);
    },
  };
}

// The browser's tab order is the DOM order; a control that cannot take the focus now is skipped.
function focusOrder(ctx, node, c) {
  setProp(node.input || node.root, 'tabIndex', c.tabIndex === null || c.tabIndex === undefined ? -1 : 0);
}

const edit = {
  build(ctx, name, c) {
    const input = el('input', { ...TEXT_INPUT, 'data-name': name });
    input.addEventListener('input', () => ctx.dirty.add(name));
    input.addEventListener('change', () => ctx.commitEdit(name));
    input.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' && !e.ctrlKey) {
        e.preventDefault();
        ctx.commitEdit(name);
      } else if (input.readOnly && PRINTABLE(e)) {
        // Typing where the record cannot change: let the screen say why.
        e.preventDefault();
        ctx.act({ type: 'type', control: name, text: input.value + e.key });
      }
    });
    return register(ctx, name, c, { root: input, input });
  },
  update(ctx, node, c) {
    const { input } = node;
    const focused = document.activeElement === input;
    if (!(ctx.dirty.has(node.name) && focused)) {
      ctx.dirty.delete(node.name);
      const shown = focused ? c.text : c.displayText ?? c.text;
      if (input.value !== shown) input.value = shown ?? '';
    }
    const can = ctx.operable(node.name);
    const byState = ctx.readOnlyByState(node.name);
    setProp(input, 'disabled', !can);
    setProp(input, 'readOnly', !!c.readOnly || byState);
    input.classList.toggle('browse', can && byState);
    if (c.maxLength > 0) setProp(input, 'maxLength', c.maxLength);
    else setAttr(input, 'maxlength', null);
    input.classList.toggle('btnface', c.color === 'clBtnFace' && !c.readOnly);
    setAttr(input, 'title', c.hint || (input.value.length > 20 ? input.value : null));
    focusOrder(ctx, node, c);
  },
};

const combo = {
  build(ctx, name, c) {
    const input = el('select', { class: 'combo', 'data-name': name });
    input.addEventListener('change', () => ctx.act({ type: 'pick', control: name, index: input.selectedIndex }));
    input.addEventListener('mousedown', (e) => {
      // A list that cannot change now does not open; the screen says why.
      if (ctx.readOnlyByState(name)) {
        e.preventDefault();
        input.focus();
        ctx.act({ type: 'pick', control: name, index: input.selectedIndex });
      }
    });
    if (c.type === 'TDBComboBox') {
      // Letters go to the screen's key handler, which may set the field itself.
      input.addEventListener('keydown', (e) => {
        if (PRINTABLE(e) && /[\p{L}\p{N}]/u.test(e.key)) {
          e.preventDefault();
          ctx.act({ type: 'key', control: name, key: e.key.toUpperCase(), shift: ctx.modifiers(e) });
        }
      });
    }
    return register(ctx, name, c, { root: input, input });
  },
  update(ctx, node, c) {
    const { input } = node;
    const items = c.items || [];
    if (input.options.length !== items.length || [...input.options].some((o, i) => o.text !== items[i]))
      input.replaceChildren(...items.map((t) => el('option', { text: t })));
    setProp(input, 'selectedIndex', c.itemIndex ?? -1);
    const can = ctx.operable(node.name);
    setProp(input, 'disabled', !can);
    input.classList.toggle('browse', can && ctx.readOnlyByState(node.name));
    setAttr(input, 'aria-readonly', ctx.readOnlyByState(node.name) ? 'true' : null);
    focusOrder(ctx, node, c);
  },
};

// --- buttons -----------------------------------------------------------------------------------------

const searchButton = {
  build(ctx, name, c) {
    const root = el('button', { type: 'button', class: 'search-btn', text: '…' });
    root.addEventListener('mousedown', (e) => e.preventDefault());
    root.addEventListener('click', () => ctx.click(name));
    return register(ctx, name, c, { root });
  },
  update(ctx, node, c) {
    setProp(node.root, 'disabled', !ctx.operable(node.name));
    const of = ctx.captionOf(ctx.associateOf(node.name));
    const text = of ? `${c.hint || 'Pesquisar'}: ${of}` : c.hint || 'Pesquisar';
    setAttr(node.root, 'aria-label', text);
    setAttr(node.root, 'title', `${text} (F7 no campo)`);
  },
};

const speedButton = {
  slot: 'toolbar',
  build(ctx, name, c) {
    const key = keyOf(name);
    let root;
    if (c.parent) {
      root = el('button', { type: 'button', class: 'btn' });
    } else {
      root = el('button', { type: 'button', class: 'tool', 'data-tool': name, 'aria-keyshortcuts': key || undefined },
        el('span', { class: 'caption' }), el('span', { class: 'key', text: key || '\u00a0', 'aria-hidden': 'true' }));
      if (name === 'sbtCancelar' || name === 'sbtImprimir') root.classList.add('sep');
    }
    root.addEventListener('mousedown', (e) => e.preventDefault()); // the edit keeps the focus
    root.addEventListener('click', () => ctx.toolClick(name));
    return register(ctx, name, c, { root });
  },
  update(ctx, node, c) {
    const caption = node.root.classList.contains('tool') ? node.root.firstChild : node.root;
    setText(caption, c.caption);
    setAttr(node.root, 'title', c.hint || c.caption);
    setProp(node.root, 'disabled', !ctx.operable(node.name));
    node.root.hidden = !c.visible;
  },
};

const menuItem = {
  slot: 'menu',
  build(ctx, name, c) {
    const key = keyOf(name.replace(/^mnu/, 'sbt')) || MENU_KEYS[name];
    const root = el('button', { type: 'button', role: 'menuitem', tabindex: '-1' }, el('span', { class: 'caption' }),
      key ? el('kbd', { text: key }) : null);
    root.addEventListener('click', () => ctx.menuClick(name));
    return register(ctx, name, c, { root });
  },
  update(ctx, node, c) {
    setText(node.root.firstChild, c.caption);
    setProp(node.root, 'disabled', !ctx.operable(node.name));
    node.root.parentElement.hidden = !c.visible;
  },
};

const navigator = {
  slot: 'status',
  build(ctx, name, c) {
    const root = el('div', { class: 'navigator', role: 'group', 'aria-label': 'Navegação' });
    const moves = [['«', 'Primeiro', () => 1], ['‹', 'Anterior', (d) => d.recNo - 1], ['›', 'Próximo', (d) => d.recNo + 1], ['»', 'Último', (d) => d.recordCount]];
    for (const [glyph, title, target] of moves) {
      const b = el('button', { type: 'button', 'aria-label': title, title, text: glyph });
      b.addEventListener('mousedown', (e) => e.preventDefault());
      b.addEventListener('click', () => {
        const set = ctx.snap.controls[name].dataSet;
        const d = ctx.snap.datasets[set];
        if (!d || d.recordCount === 0) return;
        const recNo = Math.max(1, Math.min(d.recordCount, target(d)));
        if (recNo !== d.recNo) ctx.act({ type: 'move', dataset: set, recNo });
      });
      root.append(b);
    }
    return register(ctx, name, c, { root });
  },
  update(ctx, node) {
    const can = ctx.operable(node.name);
    for (const b of node.root.children) setProp(b, 'disabled', !can);
  },
};

// --- grids -------------------------------------------------------------------------------------------

const grid = {
  build(ctx, name, c) {
    const colgroup = el('colgroup');
    const thead = el('thead');
    const tbody = el('tbody');
    const table = el('table', {}, colgroup, thead, tbody);
    const root = el('div', { class: 'grid', 'data-name': name, role: 'region', tabindex: '0' }, table);
    root.addEventListener('keydown', (e) => ctx.gridKey(name, e));
    root.addEventListener('click', (e) => {
      const header = e.target.closest('th[data-field]');
      if (header) return ctx.sortGrid(name, header.dataset.field);
      const row = e.target.closest('tr[data-rec]');
      if (row) ctx.gridRowClick(name, Number(row.dataset.rec));
    });
    return register(ctx, name, c, { root, table, colgroup, thead, tbody, drawn: null });
  },
  update(ctx, node, c) {
    const d = ctx.snap.datasets[c.dataSet] || { rows: [], recNo: 0, state: 'inactive', recordCount: 0 };
    const columns = c.columns || [];
    const columnsKey = JSON.stringify([columns, c.sort || null]);
    if (node.columnsKey !== columnsKey) {
      node.columnsKey = columnsKey;
      node.drawn = null;
      drawHeader(node, columns, c.sort);
    }
    setAttr(node.root, 'aria-label', ctx.gridCaption(node.name));
    const editing = !!c.editing && (d.state === 'edit' || d.state === 'insert');
    const drawn = node.drawn;
    // Rows are drawn again only when they, the state or the editing changed; a move marks the new
    // current line (a line being edited or inserted moves with its inputs, so it redraws).
    const redraw = !drawn || !sameRows(drawn.rows, d.rows, columns) || drawn.state !== d.state || drawn.editing !== editing ||
      ((editing || d.state === 'insert') && drawn.recNo !== d.recNo);
    if (redraw) drawRows(ctx, node, c, d, columns, editing);
    else if (drawn.recNo !== d.recNo) markCurrent(node, d.recNo);
    if (editing) fillEditRow(ctx, node, c, d, columns);
    if (!drawn || drawn.recNo !== d.recNo || redraw) scrollToCurrent(node);
    node.drawn = { rows: d.rows, state: d.state, recNo: d.recNo, editing };
    node.root.classList.toggle('off', !ctx.operable(node.name));
    node.root.classList.toggle('editing', editing);
    setProp(node.root, 'tabIndex', ctx.operable(node.name) ? 0 : -1);
  },
};

// Whole snapshots bring new row objects every time: what is shown is compared, not the objects.
function sameRows(a, b, columns) {
  if (a === b) return true;
  if (!a || !b || a.length !== b.length) return false;
  for (let i = 0; i < a.length; i++) {
    if (a[i] === b[i]) continue;
    for (const col of columns) if (a[i][col.field] !== b[i][col.field]) return false;
  }
  return true;
}

// Columns keep the widths the screen gave them (the padding of a cell added); the last one takes
// what the list has left.
const columnWidth = (col) => Math.max(col.width || 60, 48) + 17;

function drawHeader(node, columns, sort) {
  node.table.style.width = `${columns.reduce((sum, col) => sum + columnWidth(col), 0)}px`;
  node.colgroup.replaceChildren(...columns.map((col, i) => {
    const e = el('col');
    if (i < columns.length - 1) e.style.width = `${columnWidth(col)}px`;
    return e;
  }));
  node.thead.replaceChildren(el('tr', {}, ...columns.map((col) => {
    const sorted = sort && sort.column === col.field;
    return el('th', {
      scope: 'col', 'data-field': col.field, title: `Ordenar por ${col.title || col.field}`,
      'aria-sort': sorted ? (sort.descending ? 'descending' : 'ascending') : undefined,
    }, el('span', { text: col.title || col.field }), sorted ? el('span', { class: 'sort', 'aria-hidden': 'true', text: sort.descending ? ' ▼' : ' ▲' }) : null);
  })));
}

// The rows in the dataset's order, except that a line being inserted shows at the end of the list,
// where the user expects a new line.
function displayOrder(d) {
  const order = (d.rows || []).map((row, i) => i);
  if (d.state === 'insert' && d.recNo >= 1 && d.recNo <= order.length) order.push(order.splice(d.recNo - 1, 1)[0]);
  return order;
}

function drawRows(ctx, node, c, d, columns, editing) {
  const rows = d.rows || [];
  const body = displayOrder(d).map((i) => {
    const current = i + 1 === d.recNo;
    const tr = el('tr', { 'data-rec': String(i + 1), class: current ? 'current' : undefined, 'aria-current': current ? 'true' : undefined });
    for (const col of columns) tr.append(el('td', { text: current && editing ? undefined : String(rows[i][col.field] ?? '') }));
    return tr;
  });
  if (rows.length === 0) {
    const text = d.state === 'inactive' && ctx.isMainList(node.name)
      ? closedListHint(ctx.screenCode(), ctx.filterItems()) : 'Nenhum registro.';
    body.push(el('tr', {}, el('td', { class: 'empty', colspan: String(Math.max(columns.length, 1)), text })));
  }
  node.tbody.replaceChildren(...body);
}

function markCurrent(node, recNo) {
  for (const tr of node.tbody.querySelectorAll('tr.current')) {
    tr.classList.remove('current');
    tr.removeAttribute('aria-current');
  }
  const tr = node.tbody.querySelector(`tr[data-rec="${recNo}"]`);
  if (tr) {
    tr.classList.add('current');
    tr.setAttribute('aria-current', 'true');
  }
}

function scrollToCurrent(node) {
  const cur = node.tbody.querySelector('tr.current');
  if (cur && cur.scrollIntoView) cur.scrollIntoView({ block: 'nearest' });
}

// The line being edited has one input per column; the one the user types in keeps its text.
function fillEditRow(ctx, node, c, d, columns) {
  const tr = node.tbody.querySelector('tr.current');
  if (!tr) return;
  const name = node.name;
  columns.forEach((col, k) => {
    const td = tr.children[k];
    let input = td.querySelector('input');
    if (!input) {
      input = el('input', { type: 'text', 'data-grid': name, 'data-column': col.field, 'aria-label': col.title || col.field, autocomplete: 'off' });
      input.addEventListener('input', () => ctx.dirty.add(`${name}:${col.field}`));
      input.addEventListener('change', () => ctx.commitCell(input));
      input.addEventListener('focus', () => {
        if (ctx.focusing) return;
        if (ctx.snap.focus !== name || ctx.snap.controls[name].column !== col.field)
          ctx.act({ type: 'focus', control: name, column: col.field });
      });
      td.replaceChildren(input);
    }
    const typing = ctx.dirty.has(`${name}:${col.field}`) && document.activeElement === input;
    if (!typing) {
      const value = c.column === col.field ? c.text : d.current[col.field] ?? '';
      if (input.value !== value) input.value = value;
    }
    td.classList.toggle('selected', c.column === col.field);
  });
}

// --- the table -----------------------------------------------------------------------------------------

export const KINDS = {
  TLabel: label,
  TDBText: dbText,
  TBevel: bevel,
  TGroupBox: container('group'),
  TPanel: container('panel'),
  TScrollBox: container('scroll'),
  TPageControl: pageControl,
  TTabSheet: tabSheet,
  TDBCheckBox: check('checkbox'),
  TCheckBox: check('checkbox'),
  TRadioButton: check('radio'),
  TDBEdit: edit,
  TEdit: edit,
  TComboBox: combo,
  TDBComboBox: combo,
  TBtnPesquisa: searchButton,
  TSpeedButton: speedButton,
  TMenuItem: menuItem,
  TDBNavigator: navigator,
  TDBGrid: grid,
};

// A kind the renderer does not know shows its caption or text, so nothing the screen says is lost.
export const FALLBACK = {
  build: (ctx, name, c) => register(ctx, name, c, { root: el('div', { class: 'text-label' }) }),
  update(ctx, node, c) {
    setText(node.root, c.caption || c.text || '');
  },
};

export const kindOf = (type) => KINDS[type] || FALLBACK;
