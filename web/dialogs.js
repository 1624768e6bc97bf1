// Modal dialogs: the screen's questions, error boxes, list pickers and record search (answered
// through the API), and the host's own error box for an unhandled exception.

const overlay = () => document.getElementById('overlay');

function el(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === 'class') node.className = v;
    else if (k === 'text') node.textContent = v;
    else if (k.startsWith('on')) node.addEventListener(k.slice(2), v);
    else node.setAttribute(k, v);
  }
  for (const c of children) if (c) node.append(c);
  return node;
}

let current = null; // {key, close, host}

export function dialogOpen() {
  return current !== null;
}

// A dialog of the screen (not the host's error box) is open.
export function screenDialogOpen() {
  return current !== null && !current.key.startsWith('host:');
}

export function closeDialog() {
  if (!current) return;
  current.close();
  current = null;
}

function show(key, box, initialFocus, onKey) {
  if (current && current.key === key) return false; // already shown
  closeDialog();
  const host = overlay();
  host.replaceChildren(box);
  host.hidden = false;
  const keydown = (e) => {
    if (onKey(e)) {
      e.preventDefault();
      e.stopPropagation();
    }
    if (e.key === 'Tab') trapTab(e, box);
  };
  box.addEventListener('keydown', keydown);
  current = {
    key,
    close: () => {
      host.hidden = true;
      host.replaceChildren();
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

function dialogKey(dialog) {
  return JSON.stringify([dialog.kind, dialog.text, dialog.key, dialog.title, (dialog.rows || []).length]);
}

// The screen's pending dialog; `answer(value)` sends the answer event.
export function showScreenDialog(dialog, answer) {
  const key = dialogKey(dialog);
  if (dialog.kind === 'confirm') return confirmBox(key, dialog, answer);
  if (dialog.kind === 'error') return messageBox(key, 'Erro', dialog.text, () => answer('ok'));
  if (dialog.kind === 'pick') return listBox(key, dialog, answer, dialog.multi);
  if (dialog.kind === 'search') return listBox(key, dialog, answer, false, true);
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
  const yes = el('button', { class: defaultNo ? 'btn' : 'btn primary', type: 'button', text: 'Sim', onclick: () => answer('yes') });
  const no = el('button', { class: defaultNo ? 'btn primary' : 'btn', type: 'button', text: 'Não', onclick: () => answer('no') });
  const box = el('div', { class: 'dialog', role: 'alertdialog', 'aria-modal': 'true', 'aria-label': 'Confirmação', tabindex: '-1' },
    el('header', { text: 'Confirmação' }),
    el('div', { class: 'body', text: dialog.text }),
    el('footer', {}, yes, no));
  return show(key, box, defaultNo ? no : yes, (e) => {
    if (e.key === 's' || e.key === 'S') return answer('yes'), true;
    if (e.key === 'n' || e.key === 'N') return answer('no'), true;
    if (e.key === 'Escape') return answer('no'), true;
    // On a button Enter presses that button; anywhere else in the box it gives the default.
    if (e.key === 'Enter' && document.activeElement?.tagName !== 'BUTTON') return answer(defaultNo ? 'no' : 'yes'), true;
    return false;
  });
}

function messageBox(key, title, text, ok) {
  const button = el('button', { class: 'btn primary', type: 'button', text: 'OK', onclick: ok });
  const box = el('div', { class: 'dialog', role: 'alertdialog', 'aria-modal': 'true', 'aria-label': title, tabindex: '-1' },
    el('header', { class: 'error', text: title }),
    el('div', { class: 'body', text }),
    el('footer', {}, button));
  return show(key, box, button, (e) => {
    if (e.key === 'Escape') return ok(), true;
    return false;
  });
}

// A list picker (several rows or one) or the record search (one row, with a filter).
function listBox(key, dialog, answer, multi, isSearch = false) {
  const title = (dialog.title || (isSearch ? 'Procurar' : 'Pesquisa')).split('|')[0];
  const keys = dialog.keys || [];
  const picked = new Set(dialog.selected || []);
  let active = 0;
  const filter = el('input', { class: 'filter', type: 'search', placeholder: 'Filtrar...', 'aria-label': 'Filtrar' });
  const tbody = el('tbody');
  const header = el('tr', {}, multi ? el('th', { text: '' }) : null, ...(dialog.labels || []).map((l) => el('th', { text: l })));
  const table = el('table', {}, el('thead', {}, header), tbody);
  const rowsBox = el('div', { class: 'rows', tabindex: '0', role: 'listbox', 'aria-multiselectable': String(!!multi) }, table);

  const visible = () => {
    const q = filter.value.trim().toLowerCase();
    return dialog.rows.map((r, i) => i).filter((i) => !q || dialog.rows[i].some((t) => String(t ?? '').toLowerCase().includes(q)));
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
      const cells = dialog.rows[i].map((t) => el('td', { text: t ?? '' }));
      const tr = el('tr', { role: 'option', class: pos === active ? 'active' : '' });
      if (multi) {
        const box = el('input', { type: 'checkbox', tabindex: '-1', 'aria-label': keys[i] });
        box.checked = picked.has(keys[i]);
        tr.append(el('td', {}, box));
      }
      tr.append(...cells);
      tr.addEventListener('click', () => {
        active = pos;
        if (multi) {
          picked.has(keys[i]) ? picked.delete(keys[i]) : picked.add(keys[i]);
          paint();
        } else {
          paint();
        }
      });
      tr.addEventListener('dblclick', () => (multi ? null : choose(i)));
      return tr;
    }));
    if (list.length === 0) tbody.append(el('tr', {}, el('td', { class: 'empty', text: dialog.text || 'Nenhum registro.' })));
    const row = tbody.children[active];
    if (row && row.scrollIntoView) row.scrollIntoView({ block: 'nearest' });
  };
  filter.addEventListener('input', () => {
    active = 0;
    paint();
  });
  const ok = el('button', { class: 'btn primary', type: 'button', text: 'OK', onclick: confirm });
  const cancel = el('button', { class: 'btn', type: 'button', text: 'Cancelar', onclick: () => answer('cancel') });
  const box = el('div', { class: 'dialog wide', role: 'dialog', 'aria-modal': 'true', 'aria-label': title, tabindex: '-1' },
    el('header', { text: title }),
    el('div', { class: 'body list' }, filter, rowsBox),
    el('footer', {}, ok, cancel));
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
