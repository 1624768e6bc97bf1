// Modal dialogs: the screen's questions, error boxes, list pickers and record search (answered
// through the API), the host's own error box for an unhandled exception, and the renderer's own
// boxes (the shortcut sheet, the choice of a column to sort by).

import { el, idFor } from './dom.js';
import { CONFLICT_TEXT } from './texts.js';

const overlay = () => document.getElementById('overlay');

let current = null; // {key, close}

export function dialogOpen() {
  return current !== null;
}

// A dialog of the screen (not the host's error box nor one of the renderer's own) is open.
export function screenDialogOpen() {
  return current !== null && !current.key.startsWith('host:') && !current.key.startsWith('own:');
}

export function closeDialog() {
  if (!current) return;
  const { close } = current;
  current = null;
  close();
}

function frame(title, { role = 'dialog', wide = false, error = false } = {}) {
  const header = el('h2', { class: error ? 'error' : undefined, text: title });
  const box = el('div', { class: `dialog${wide ? ' wide' : ''}`, role, 'aria-modal': 'true', tabindex: '-1' }, header);
  box.setAttribute('aria-labelledby', idFor(header, 'dlg'));
  return box;
}

function show(key, box, initialFocus, onKey, onClose) {
  if (current && current.key === key) return false; // already shown
  closeDialog();
  const host = overlay();
  host.replaceChildren(box);
  host.hidden = false;
  box.addEventListener('keydown', (e) => {
    if (onKey(e)) {
      e.preventDefault();
      e.stopPropagation();
    }
    if (e.key === 'Tab') trapTab(e, box);
  });
  current = {
    key,
    close: () => {
      host.hidden = true;
      host.replaceChildren();
      if (onClose) onClose();
    },
  };
  (initialFocus || box).focus();
  return true;
}

function trapTab(e, box) {
  const items = [...box.querySelectorAll('button, input, [tabindex="0"]')].filter((n) => !n.disabled);
  if (items.length === 0) return;
  const first = items[0];
  const last = items[items.length - 1];
  if (e.shiftKey && document.activeElement === first) {
    last.focus();
    e.preventDefault();
  } else if (!e.shiftKey && document.activeElement === last) {
    first.focus();
    e.preventDefault();
  }
}

const button = (text, onclick, primary = false) => el('button', { class: `btn${primary ? ' primary' : ''}`, type: 'button', text, onclick });

function dialogKey(dialog) {
  return JSON.stringify([dialog.kind, dialog.text, dialog.key, dialog.title, (dialog.rows || []).length]);
}

// The screen's pending dialog; `answer(value)` sends the answer event; `describe(fields, labels)`
// gives each list column its caption and the display of its values.
export function showScreenDialog(dialog, answer, describe) {
  const key = dialogKey(dialog);
  if (dialog.kind === 'confirm') return confirmBox(key, dialog, answer);
  if (dialog.kind === 'error') return messageBox(key, 'Erro', dialog.text, () => answer('ok'));
  if (dialog.kind === 'pick') return listBox(key, dialog, answer, describe, dialog.multi);
  if (dialog.kind === 'search') return listBox(key, dialog, answer, describe, false, true);
  if (dialog.kind === 'conflict') return conflictBox(key, dialog, answer);
  return false;
}

export function showHostError(text, onClose) {
  return messageBox(`host:${text}`, 'Erro', text, () => {
    closeDialog();
    onClose();
  });
}

function confirmBox(key, dialog, answer) {
  // The default answer has the focus, so Enter gives it; a question that throws work away defaults to No.
  const defaultNo = dialog.default === 'no';
  const yes = button('Sim', () => answer('yes'), !defaultNo);
  const no = button('Não', () => answer('no'), defaultNo);
  const box = frame('Confirmação', { role: 'alertdialog' });
  const body = el('div', { class: 'body', text: dialog.text });
  box.setAttribute('aria-describedby', idFor(body, 'dlg'));
  box.append(body, el('div', { class: 'actions' }, yes, no));
  return show(key, box, defaultNo ? no : yes, (e) => {
    if (e.key === 's' || e.key === 'S') return answer('yes'), true;
    if (e.key === 'n' || e.key === 'N') return answer('no'), true;
    if (e.key === 'Escape') return answer('no'), true;
    // On a button Enter presses that button; anywhere else in the box it gives the default.
    if (e.key === 'Enter' && document.activeElement?.tagName !== 'BUTTON') return answer(defaultNo ? 'no' : 'yes'), true;
    return false;
  });
}

// Another user changed or removed the record: both versions field by field, and the two ways out.
// Keeping theirs (the default, which overwrites nothing) has the focus; Esc keeps theirs too.
function conflictBox(key, dialog, answer) {
  const theirs = button(CONFLICT_TEXT.theirs, () => answer('theirs'), true);
  const mine = button(CONFLICT_TEXT.mine, () => answer('mine'));
  const box = frame(CONFLICT_TEXT.title, { role: 'alertdialog', wide: true });
  const body = el('div', { class: 'body', text: dialog.text });
  box.setAttribute('aria-describedby', idFor(body, 'dlg'));
  const who = dialog.changedBy
    ? el('p', { class: 'conflict-who', text: CONFLICT_TEXT.who(dialog.changedBy, dialog.changedAt, dialog.removed) })
    : null;
  const head = el('tr', {}, ...[CONFLICT_TEXT.field, CONFLICT_TEXT.mineColumn, CONFLICT_TEXT.theirsColumn].map((t) => el('th', { scope: 'col', text: t })));
  const rows = (dialog.fields || []).map((f) =>
    el('tr', {}, el('th', { scope: 'row', text: f.label }), el('td', { text: f.mine }), el('td', { text: f.theirs })));
  const table = el('table', { class: 'conflict', tabindex: '0' }, el('caption', { text: CONFLICT_TEXT.caption }), el('thead', {}, head), el('tbody', {}, ...rows));
  box.append(...[body, who, table, el('div', { class: 'actions' }, theirs, mine)].filter(Boolean));
  return show(key, box, theirs, (e) => {
    if (e.key === 'Escape') return answer('theirs'), true;
    return false;
  });
}

function messageBox(key, title, text, ok) {
  const okButton = button('OK', ok, true);
  const box = frame(title, { role: 'alertdialog', error: true });
  const body = el('div', { class: 'body', text });
  box.setAttribute('aria-describedby', idFor(body, 'dlg'));
  box.append(body, el('div', { class: 'actions' }, okButton));
  return show(key, box, okButton, (e) => {
    if (e.key === 'Escape') return ok(), true;
    return false;
  });
}

// A list picker (several rows or one) or the record search (one row, with a filter). The list is a
// grid whose active row the keyboard moves while the focus stays in the filter.
function listBox(key, dialog, answer, describe, multi, isSearch = false) {
  const title = (dialog.title || (isSearch ? 'Procurar' : 'Pesquisa')).split('|')[0];
  const keys = dialog.keys || [];
  const picked = new Set(dialog.selected || []);
  const columns = describe(dialog.fields || (dialog.labels || []).map(() => null), dialog.labels || []);
  let active = 0;
  const tbody = el('tbody');
  const header = el('tr', { role: 'row' }, multi ? el('th', { role: 'columnheader', text: 'Marcar' }) : null,
    ...columns.map((c) => el('th', { role: 'columnheader', scope: 'col', text: c.caption })));
  const table = el('table', { role: 'grid', 'aria-label': title, 'aria-multiselectable': multi ? 'true' : undefined, tabindex: '0' },
    el('thead', {}, header), tbody);
  const filter = el('input', { class: 'filter', type: 'search', placeholder: 'Filtrar...', 'aria-label': 'Filtrar', 'aria-controls': idFor(table, 'lst') });
  const rowsBox = el('div', { class: 'rows' }, table);
  const shown = (i) => dialog.rows[i].map((t, k) => (columns[k] ? columns[k].display(t) : t ?? ''));

  const visible = () => {
    const q = filter.value.trim().toLowerCase();
    return dialog.rows.map((r, i) => i).filter((i) => !q || shown(i).some((t) => String(t).toLowerCase().includes(q)));
  };
  const choose = (i) => {
    if (i === undefined) return;
    if (!isSearch && keys.length) answer({ keys: [keys[i]] });
    else answer({ recNo: i + 1 });
  };
  const confirm = () => {
    if (multi) answer({ keys: keys.filter((k) => picked.has(k)) });
    else choose(visible()[active]);
  };
  const paint = () => {
    const list = visible();
    active = Math.max(0, Math.min(active, list.length - 1));
    tbody.replaceChildren(...list.map((i, pos) => {
      const selected = multi ? picked.has(keys[i]) : pos === active;
      const tr = el('tr', { role: 'row', id: `lst-row-${i}`, class: pos === active ? 'active' : undefined, 'aria-selected': String(selected) });
      if (multi) {
        const box = el('input', { type: 'checkbox', tabindex: '-1', 'aria-label': `Marcar ${shown(i).join(' ')}` });
        box.checked = picked.has(keys[i]);
        tr.append(el('td', { role: 'gridcell' }, box));
      }
      tr.append(...shown(i).map((t) => el('td', { role: 'gridcell', text: t })));
      tr.addEventListener('click', () => {
        active = pos;
        if (multi) picked.has(keys[i]) ? picked.delete(keys[i]) : picked.add(keys[i]);
        paint();
      });
      tr.addEventListener('dblclick', () => (multi ? null : choose(i)));
      return tr;
    }));
    if (list.length === 0)
      tbody.append(el('tr', { role: 'row' }, el('td', { role: 'gridcell', class: 'empty', colspan: String(columns.length + (multi ? 1 : 0)), text: dialog.text || 'Nenhum registro.' })));
    const row = tbody.querySelector('tr.active');
    if (row) {
      table.setAttribute('aria-activedescendant', row.id);
      if (row.scrollIntoView) row.scrollIntoView({ block: 'nearest' });
    } else {
      table.removeAttribute('aria-activedescendant');
    }
  };
  filter.addEventListener('input', () => {
    active = 0;
    paint();
  });
  const ok = button('OK', confirm, true);
  const cancel = button('Cancelar', () => answer('cancel'));
  const box = frame(title, { wide: true });
  box.append(el('div', { class: 'body list' }, filter, rowsBox), el('div', { class: 'actions' }, ok, cancel));
  paint();
  return show(key, box, filter, (e) => {
    const list = visible();
    if (e.key === 'Escape') return answer('cancel'), true;
    if (e.key === 'ArrowDown') return (active = Math.min(active + 1, list.length - 1)), paint(), true;
    if (e.key === 'ArrowUp') return (active = Math.max(active - 1, 0)), paint(), true;
    if (e.key === ' ' && multi && document.activeElement !== filter) {
      const k = keys[list[active]];
      if (k !== undefined) picked.has(k) ? picked.delete(k) : picked.add(k);
      paint();
      return true;
    }
    if (e.key === 'Enter' && document.activeElement !== cancel) return confirm(), true;
    return false;
  });
}

// The shortcut sheet: what the screen does and every key, in a table.
export function showHelp(keys, intro, onClose) {
  const close = button('Fechar', () => closeDialog(), true);
  const box = frame('Ajuda: teclas da tela', { wide: true });
  const rows = keys.map((k) => el('tr', {}, el('th', { scope: 'row' }, ...k.keys.flatMap((name, i) => [i ? ' ' : null, el('kbd', { text: name })])),
    el('td', { text: k.text })));
  box.append(
    el('div', { class: 'body help', role: 'region', 'aria-label': 'Teclas e uso da tela', tabindex: '0' },
      ...intro.map((p) => el('p', { text: p })),
      el('table', { class: 'keys' }, el('caption', { text: 'Teclas' }),
        el('thead', {}, el('tr', {}, el('th', { scope: 'col', text: 'Tecla' }), el('th', { scope: 'col', text: 'O que faz' }))),
        el('tbody', {}, ...rows))),
    el('div', { class: 'actions' }, close));
  return show('own:help', box, close, (e) => {
    if (e.key === 'Escape' || e.key === 'F1') return closeDialog(), true;
    return false;
  }, onClose);
}

// The choice of a column to sort a list by; resolves with {field, descending} or null.
export function chooseSort(columns, sort) {
  return new Promise((resolve) => {
    let result = null;
    const name = 'ordem-coluna';
    const radios = columns.map((col, i) => {
      const input = el('input', { type: 'radio', name, value: col.field });
      input.checked = sort ? sort.column === col.field : i === 0;
      return el('label', { class: 'radio' }, input, el('span', { text: col.title || col.field }));
    });
    const descending = el('input', { type: 'checkbox' });
    descending.checked = !!(sort && sort.descending);
    const apply = () => {
      const chosen = radios.map((r) => r.firstChild).find((r) => r.checked);
      result = chosen ? { field: chosen.value, descending: descending.checked } : null;
      closeDialog();
    };
    const ok = button('Ordenar', apply, true);
    const box = frame('Ordenar a lista');
    box.append(
      el('div', { class: 'body choice' },
        el('fieldset', {}, el('legend', { text: 'Coluna' }), ...radios),
        el('label', { class: 'check' }, descending, el('span', { text: 'Ordem decrescente' }))),
      el('div', { class: 'actions' }, ok, button('Cancelar', () => closeDialog())));
    show('own:sort', box, radios.map((r) => r.firstChild).find((r) => r.checked) || ok, (e) => {
      if (e.key === 'Escape') return closeDialog(), true;
      if (e.key === 'Enter') return apply(), true;
      return false;
    }, () => resolve(result));
  });
}
