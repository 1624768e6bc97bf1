// Reads the arrangement out of the controls' bounds and turns it into a layout that reflows with the
// window: rows that wrap, labels kept with their controls, and lists of options that flow into as
// many columns as fit. The order is the arrangement's reading order: a block laid out in columns
// reads down each column before the next (as the screen's tab order does), a control standing beside
// another in an otherwise sparse column follows it, and everything else reads row by row.
//
// Items are {name, type, left, top, width, height}; nodes are
//   {kind: 'leaf', name}                        one control
//   {kind: 'row', children}                     side by side, wrapping when narrow; each child's
//                                               `offset` keeps its distance from the row's top
//   {kind: 'stack', children}                   one under the other
//   {kind: 'field', label, children}            a caption and the control(s) it names
//   {kind: 'flow', children, columnWidth}       a list flowing into columns, in order
//   {kind: 'overlap', children}                 items that overlap: kept where the bounds put them
// and every node carries its box (left, top, width, height) in the original coordinates.

const LABEL_TYPES = new Set(['TLabel']);
const SEPARATOR_TYPES = new Set(['TBevel']);
const NAMED_BY_LABEL = new Set(['TDBEdit', 'TEdit', 'TComboBox', 'TDBComboBox']);

// How far apart (pixels) things may stand and still count as aligned or as belonging together.
const SAME_HEIGHT = 2;
const LABEL_GAP = 6;
const ALIGN = 4;
// Fewer items than this share of a block's rows makes a column a set of companions, not a column.
const SPARSE = 0.5;
// A block in columns flows from this many rows; a plain list from this many entries (a few fields one
// under the other are a column of their own, not a list to spread out).
const MIN_FLOW = 3;
const MIN_LIST = 6;

const right = (b) => b.left + b.width;
const bottom = (b) => b.top + b.height;

function box(items) {
  const left = Math.min(...items.map((i) => i.left));
  const top = Math.min(...items.map((i) => i.top));
  return { left, top, width: Math.max(...items.map(right)) - left, height: Math.max(...items.map(bottom)) - top };
}

// Groups items whose extents overlap along one axis (the bands an XY cut separates), in order.
function bands(items, start, end) {
  const sorted = [...items].sort((a, b) => start(a) - start(b) || a.left - b.left || a.top - b.top);
  const out = [];
  let reach = -Infinity;
  for (const item of sorted) {
    if (out.length === 0 || start(item) >= reach) {
      out.push([item]);
      reach = end(item);
    } else {
      out[out.length - 1].push(item);
      reach = Math.max(reach, end(item));
    }
  }
  return out;
}
const rowsOf = (items) => bands(items, (i) => i.top, bottom);
const columnsOf = (items) => bands(items, (i) => i.left, right);

// A simple row of like items: one line, each item apart from the others, all of one height.
function isSimpleRow(band) {
  const heights = band.map((i) => i.height);
  return columnsOf(band).length === band.length && Math.max(...heights) - Math.min(...heights) <= SAME_HEIGHT;
}

const isSeparatorItem = (item) => SEPARATOR_TYPES.has(item.type);

// The longest run of simple rows from `from` that share their column gaps, or null. The last row may
// overhang columns it leaves empty (a long caption at the foot of a column) when the run could not
// go on after it anyway.
function gridRun(rows, from) {
  const simple = (i) => i < rows.length && isSimpleRow(rows[i]) && !rows[i].some(isSeparatorItem);
  if (!simple(from)) return null;
  let best = null;
  let to = from + 1;
  for (; simple(to); to++) {
    const items = rows.slice(from, to + 1).flat();
    const columns = columnsOf(items);
    if (columns.length < 2) break;
    best = { to, items, starts: columns.map((c) => Math.min(...c.map((i) => i.left))) };
  }
  if (best && best.to === to - 1 && simple(to) && !simple(to + 1)) {
    const startsAt = (item) => best.starts.some((x) => Math.abs(x - item.left) <= ALIGN);
    if (rows[to].every(startsAt)) best = { ...best, to, items: [...best.items, ...rows[to]] };
  }
  return best;
}

const withBox = (node, items) => Object.assign(node, box(items));
const leaf = (item) => ({ kind: 'leaf', name: item.name, type: item.type, left: item.left, top: item.top, width: item.width, height: item.height });

// A block laid out in columns: in reading order, down each column; an item of a sparse column
// follows the item beside it on its left.
function gridNodes(run, rowCount) {
  const columns = run.starts.map(() => []);
  for (const item of run.items) {
    let k = 0;
    while (k + 1 < run.starts.length && run.starts[k + 1] <= item.left + ALIGN) k++;
    columns[k].push(item);
  }
  for (const column of columns) column.sort((a, b) => a.top - b.top);
  const main = [];
  const companions = [];
  for (const column of columns) {
    if (main.length > 0 && column.length < rowCount * SPARSE) companions.push(...column);
    else main.push(column);
  }
  // Each companion follows the nearest item on its left on the same line.
  const after = new Map();
  const alone = [];
  for (const c of companions.sort((a, b) => a.left - b.left)) {
    const line = main.flat().filter((i) => Math.abs(i.top - c.top) <= ALIGN && i.left < c.left);
    const host = line.sort((a, b) => b.left - a.left)[0];
    if (host) after.set(host, [...(after.get(host) || []), c]);
    else alone.push(c);
  }
  const order = main.flatMap((column) => column.flatMap((item) => [item, ...(after.get(item) || [])]));
  order.push(...alone); // beside nothing: after the rest
  if (rowCount >= MIN_FLOW) {
    const pitch = main.length > 1 ? main[1][0].left - main[0][0].left : Math.max(...order.map((i) => i.width));
    return [withBox({ kind: 'flow', children: order.map(leaf), columnWidth: pitch }, run.items)];
  }
  // Two lines in columns (captions over their controls): each column is one unit of a row.
  return [withBox({ kind: 'row', children: columns.map((column) => layoutItems(column)).map(offsetIn(run.items)) }, run.items)];
}

const offsetIn = (items) => {
  const top = Math.min(...items.map((i) => i.top));
  return (node) => Object.assign(node, { offset: node.top - top });
};

const isLabel = (node) => node.kind === 'leaf' && LABEL_TYPES.has(node.type);
const isSeparator = (node) => node.kind === 'leaf' && SEPARATOR_TYPES.has(node.type);

// The controls a caption names inside a node: edits and combos, not check boxes (they have theirs).
export function namedControls(node) {
  if (node.kind === 'leaf') return NAMED_BY_LABEL.has(node.type) ? [node.name] : [];
  if (node.kind === 'field' || node.kind === 'flow' || node.kind === 'overlap') return [];
  return node.children.flatMap(namedControls);
}

// A caption just above a control, or just left of it on its line, belongs to it.
function labels(node, next, vertical) {
  if (!isLabel(node) || !next || namedControls(next).length === 0) return false;
  if (vertical) return next.top >= bottom(node) - ALIGN && next.top - bottom(node) <= LABEL_GAP && Math.abs(next.left - node.left) <= ALIGN;
  return next.left >= right(node) - ALIGN;
}

function pairLabels(nodes, vertical) {
  const out = [];
  for (let i = 0; i < nodes.length; i++) {
    if (labels(nodes[i], nodes[i + 1], vertical)) {
      const pair = [nodes[i], nodes[i + 1]];
      const field = { kind: 'field', label: nodes[i].name, direction: vertical ? 'stack' : 'row', children: pair };
      Object.assign(field, box(pair));
      if (pair.every((n) => n.offset !== undefined)) field.offset = Math.min(...pair.map((n) => n.offset));
      out.push(field);
      i++;
    } else {
      out.push(nodes[i]);
    }
  }
  return out;
}

// Long runs of entries between separators become lists that flow into columns.
function flows(nodes) {
  const out = [];
  let run = [];
  const flush = () => {
    if (run.length >= MIN_LIST) {
      const width = Math.max(...run.map((n) => n.width));
      out.push(withBox({ kind: 'flow', children: run, columnWidth: width }, run));
    } else {
      out.push(...run);
    }
    run = [];
  };
  for (const node of nodes) {
    if (isSeparator(node) || node.kind === 'flow') {
      flush();
      out.push(node);
    } else {
      run.push(node);
    }
  }
  flush();
  return out;
}

export function layoutItems(items) {
  if (items.length === 0) return { kind: 'stack', children: [], left: 0, top: 0, width: 0, height: 0 };
  if (items.length === 1) return leaf(items[0]);
  const rows = rowsOf(items);
  if (rows.length === 1) {
    const columns = columnsOf(items);
    if (columns.length === 1) return withBox({ kind: 'overlap', children: items.map(leaf) }, items);
    const children = pairLabels(columns.map(layoutItems).map(offsetIn(items)), false);
    return children.length === 1 ? children[0] : withBox({ kind: 'row', children }, items);
  }
  const nodes = [];
  for (let i = 0; i < rows.length; ) {
    const run = gridRun(rows, i);
    if (run) {
      nodes.push(...gridNodes(run, run.to - i + 1));
      i = run.to + 1;
    } else {
      nodes.push(layoutItems(rows[i]));
      i++;
    }
  }
  const children = flows(pairLabels(nodes, true));
  return children.length === 1 ? children[0] : withBox({ kind: 'stack', children }, items);
}

// The names in the order the layout shows them (the order a reader and the tab key meet them).
export function readingOrder(node) {
  return node.kind === 'leaf' ? [node.name] : node.children.flatMap(readingOrder);
}
