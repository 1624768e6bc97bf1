// A reference writer of deltas as the host answers them with `since`, used to turn the recorded whole
// snapshots into the deltas between them. Only changed keys of the merged objects are written,
// `dialog` always, changed rows as an index map; a change of the set of controls or datasets (or a
// key that disappears, which a delta cannot express) gives the whole snapshot.
'use strict';
const { isDeepStrictEqual: same } = require('node:util');

const keysOf = (o) => Object.keys(o).sort().join('\n');
const WHOLE = Symbol('whole'); // a change a delta cannot express

function flatDelta(prev, next) {
  if (prev === null || next === null || typeof prev !== 'object' || typeof next !== 'object') return same(prev, next) ? undefined : next;
  if (Object.keys(prev).some((k) => !(k in next))) return WHOLE;
  const out = {};
  for (const [k, v] of Object.entries(next)) if (!same(prev[k], v)) out[k] = v;
  return Object.keys(out).length ? out : undefined;
}

function datasetDelta(prev, next) {
  if (Object.keys(prev).some((k) => !(k in next))) return WHOLE;
  const out = {};
  for (const [k, v] of Object.entries(next)) {
    if (k === 'rows') {
      const rows = {};
      v.forEach((row, i) => {
        if (!same(prev.rows[i], row)) rows[String(i)] = row;
      });
      if (Object.keys(rows).length) out.rows = rows;
    } else if (k === 'current') {
      const d = flatDelta(prev.current, v);
      if (d === WHOLE) return WHOLE;
      if (d !== undefined) out.current = d;
    } else if (!same(prev[k], v)) {
      out[k] = v;
    }
  }
  return out;
}

function makeDelta(prev, next, version, base) {
  const whole = { ...next, version, base: null };
  if (keysOf(prev.controls) !== keysOf(next.controls) || keysOf(prev.datasets) !== keysOf(next.datasets)) return whole;
  const out = { version, base, dialog: next.dialog };
  for (const [key, value] of Object.entries(next)) {
    if (key === 'version' || key === 'base' || key === 'dialog') continue;
    if (key === 'controls' || key === 'datasets') {
      const members = {};
      for (const [name, member] of Object.entries(value)) {
        const d = key === 'controls' ? flatDelta(prev[key][name], member) : datasetDelta(prev[key][name], member);
        if (d === WHOLE) return whole;
        if (d !== undefined && Object.keys(d).length) members[name] = d;
      }
      if (Object.keys(members).length) out[key] = members;
    } else if (key === 'unit') {
      const d = flatDelta(prev.unit, value);
      if (d === WHOLE) return whole;
      if (d !== undefined) out.unit = d;
    } else if (!same(prev[key], value)) {
      out[key] = value;
    }
  }
  return out;
}

module.exports = { makeDelta };
