// Puts a container's controls into the page as the layout read from their bounds says: rows that
// wrap, captions with their controls, option lists in as many columns as the width allows. The DOM
// order is the reading order, so the browser's own focus order and a screen reader follow it too.

import { el, idFor } from './dom.js';
import { layoutItems, namedControls } from './layout.js';

// The narrowest column an option list is given; the browser fits as many as the width allows.
const FLOW_COLUMN_MAX = 280;
// Kinds whose width the bounds give (texts and check boxes take the width their caption needs).
const SIZED = new Set(['TDBEdit', 'TEdit', 'TComboBox', 'TDBComboBox', 'TBtnPesquisa', 'TSpeedButton', 'TGroupBox', 'TPanel', 'TScrollBox']);
const FILLS = new Set(['TDBGrid', 'TPanel', 'TScrollBox']);

// An edit without a caption of its own, after a captioned field on its line, shows more of that
// field (the description of the code typed there): it is named after it.
function describeBesides(row, captions) {
  let last = null;
  for (const child of row.children) {
    if (child.kind === 'field') last = child.label;
    else if (last) for (const name of namedControls(child)) if (!captions.has(name)) captions.set(name, { caption: last, detail: true });
  }
}

const hasFlow = (node) => node.kind === 'flow' || (node.children || []).some(hasFlow);

// `items` are the visible children ({name, type, left, top, width, height}); `roots` maps a name to
// its element. Returns the arranged element, the captions found (control name -> {caption, detail}:
// the caption control naming it, and whether it shows a detail of the captioned field) and
// whether a list in it flows into columns (its container then takes the width it can get).
export function arrange(items, roots) {
  const captions = new Map();
  if (items.length === 1 && (items[0].fill || (FILLS.has(items[0].type) && items[0].left <= 8 && items[0].top <= 8))) {
    const only = roots.get(items[0].name);
    only.classList.add('fill');
    return { element: only, captions, flows: false };
  }
  const render = (node, parent) => {
    let element;
    if (node.kind === 'leaf') {
      element = roots.get(node.name);
      element.classList.remove('fill');
      element.style.width = SIZED.has(node.type) && parent !== 'flow' ? `${node.width}px` : '';
    } else if (node.kind === 'overlap') {
      element = el('div', { class: 'l-overlap' });
      element.style.height = `${node.height}px`;
      element.style.width = `${node.width}px`;
      for (const child of node.children) {
        const e = render(child, 'overlap');
        e.style.left = `${child.left - node.left}px`;
        e.style.top = `${child.top - node.top}px`;
        element.append(e);
      }
    } else {
      element = el('div', { class: `l-${node.kind}${node.kind === 'field' ? ` l-field-${node.direction}` : ''}` });
      if (node.kind === 'flow') element.style.columnWidth = `${Math.min(node.columnWidth, FLOW_COLUMN_MAX)}px`;
      for (const child of node.children) {
        const e = render(child, node.kind);
        if (node.kind === 'row') {
          e.style.marginTop = child.offset ? `${child.offset}px` : '';
          e.classList.toggle('grow', hasFlow(child));
        }
        element.append(e);
      }
      if (node.kind === 'field') {
        const label = roots.get(node.label);
        for (const name of namedControls(node.children[1])) captions.set(name, { caption: node.label });
        idFor(label, 'cap');
      }
      if (node.kind === 'row') describeBesides(node, captions);
    }
    if (parent === 'flow') element.classList.add('unit');
    else element.classList.remove('unit');
    if (parent !== 'overlap' && node.kind === 'leaf') element.style.left = element.style.top = '';
    return element;
  };
  const tree = layoutItems(items);
  return { element: render(tree, null), captions, flows: hasFlow(tree) };
}
