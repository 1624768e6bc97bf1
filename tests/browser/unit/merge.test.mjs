// The snapshot merge: recorded whole snapshots rebuilt from deltas, and the answers a client must not
// take at face value.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import zlib from 'node:zlib';
import { mergeSnapshot, StaleDelta } from '../../../web/merge.js';
import { makeDelta } from './delta.js';

const steps = JSON.parse(zlib.gunzipSync(fs.readFileSync(new URL('../fixtures/session.json.gz', import.meta.url))));
const whole = steps.map((s, i) => ({ ...s.snapshot, version: i + 1, base: null }));

function deepFreeze(o) {
  if (o && typeof o === 'object' && !Object.isFrozen(o)) {
    Object.freeze(o);
    for (const v of Object.values(o)) deepFreeze(v);
  }
  return o;
}

test('a chain of deltas rebuilds every recorded snapshot, leaving the one it started from untouched', () => {
  let held = deepFreeze(structuredClone(whole[0]));
  for (let i = 1; i < whole.length; i++) {
    const delta = makeDelta(held, whole[i], whole[i].version, held.version);
    const merged = mergeSnapshot(held, delta);
    assert.deepEqual(merged, whole[i], `passo ${i}: ${JSON.stringify(steps[i].event)}`);
    held = deepFreeze(merged);
  }
});

test('deltas between any two recorded snapshots merge to the later one', () => {
  for (let a = 0; a < whole.length; a++) {
    for (let b = a + 1; b < whole.length; b++) {
      const delta = makeDelta(whole[a], whole[b], 100, whole[a].version);
      assert.deepEqual(mergeSnapshot(whole[a], delta), { ...whole[b], version: 100 }, `${a} → ${b}`);
    }
  }
});

test('a record move sends little and keeps every unchanged control and dataset object', () => {
  const [before, after] = [whole[2], whole[3]]; // Entrada loaded, then a move to the third record
  const delta = makeDelta(before, after, after.version, before.version);
  assert.equal(delta.base, before.version);
  assert.ok(JSON.stringify(delta).length < JSON.stringify(after).length / 4, 'the delta is small');
  const merged = mergeSnapshot(before, delta);
  const changed = Object.keys(merged.controls).filter((n) => merged.controls[n] !== before.controls[n]);
  assert.deepEqual(changed.sort(), Object.keys(delta.controls || {}).sort());
  for (const name of Object.keys(merged.datasets))
    assert.equal(merged.datasets[name] === before.datasets[name], !(name in (delta.datasets || {})), name);
});

// A small whole snapshot to write hand-made deltas against.
const base = () => deepFreeze({
  version: 7, base: null, focus: 'ed', activePage: null, dialog: { kind: 'confirm', text: 'Sair?' }, wait: null,
  controls: {
    ed: { type: 'TDBEdit', text: 'a', enabled: true, bounds: { left: 1, top: 2, width: 3, height: 4 }, items: null },
    cb: { type: 'TComboBox', items: ['x', 'y'], itemIndex: 0 },
  },
  datasets: {
    cds: { state: 'browse', recordCount: 3, recNo: 1, current: { A: '1', B: null }, editMasks: { A: '99' }, rows: [{ A: '1' }, { A: '2' }, { A: '3' }] },
  },
  unit: { flag: true, list: '' },
});

test('hand-made deltas merge by the contract', async (t) => {
  const cases = [
    ['a whole answer replaces everything', { version: 9, base: null, controls: {}, datasets: {}, unit: null, dialog: null },
      (m) => assert.deepEqual(m, { version: 9, base: null, controls: {}, datasets: {}, unit: null, dialog: null })],
    ['an answer without base is whole', { version: 9, controls: {}, dialog: null },
      (m) => assert.deepEqual(m, { version: 9, controls: {}, dialog: null })],
    ['a control merges key by key; bounds and arrays are replaced whole',
      { version: 8, base: 7, dialog: null, controls: { ed: { text: 'b', bounds: { left: 9 } }, cb: { items: ['z'] } } },
      (m, b) => {
        assert.deepEqual(m.controls.ed, { ...b.controls.ed, text: 'b', bounds: { left: 9 } });
        assert.deepEqual(m.controls.cb.items, ['z']);
        assert.equal(m.controls.cb.itemIndex, 0);
      }],
    ['dialog is always replaced; absent root members are unchanged',
      { version: 8, base: 7, dialog: null },
      (m, b) => {
        assert.equal(m.dialog, null);
        assert.equal(m.focus, 'ed');
        assert.equal(m.controls, b.controls);
        assert.equal(m.version, 8);
        assert.equal(m.base, null);
      }],
    ['current merges key by key, a null value included; editMasks is replaced whole',
      { version: 8, base: 7, dialog: null, datasets: { cds: { current: { B: 'x', A: null }, editMasks: {} } } },
      (m) => {
        assert.deepEqual(m.datasets.cds.current, { A: null, B: 'x' });
        assert.deepEqual(m.datasets.cds.editMasks, {});
      }],
    ['changed rows replace theirs by index',
      { version: 8, base: 7, dialog: null, datasets: { cds: { rows: { 1: { A: 'dois' } } } } },
      (m) => assert.deepEqual(m.datasets.cds.rows, [{ A: '1' }, { A: 'dois' }, { A: '3' }])],
    ['fewer records keep the first rows',
      { version: 8, base: 7, dialog: null, datasets: { cds: { recordCount: 2, rows: { 0: { A: 'um' } } } } },
      (m) => assert.deepEqual(m.datasets.cds.rows, [{ A: 'um' }, { A: '2' }])],
    ['fewer records without rows in the delta keep the first rows',
      { version: 8, base: 7, dialog: null, datasets: { cds: { recordCount: 1 } } },
      (m) => assert.deepEqual(m.datasets.cds.rows, [{ A: '1' }])],
    ['more records come with their rows',
      { version: 8, base: 7, dialog: null, datasets: { cds: { recordCount: 4, rows: { 3: { A: '4' } } } } },
      (m) => assert.deepEqual(m.datasets.cds.rows.map((r) => r.A), ['1', '2', '3', '4'])],
    ['a row past the record count is dropped',
      { version: 8, base: 7, dialog: null, datasets: { cds: { rows: { 5: { A: '6' } } } } },
      (m) => assert.equal(m.datasets.cds.rows.length, 3)],
    ['the unit can go and come back',
      { version: 8, base: 7, dialog: null, unit: null },
      (m) => assert.equal(m.unit, null)],
    ['a new control name is taken as sent',
      { version: 8, base: 7, dialog: null, controls: { novo: { type: 'TLabel' } } },
      (m) => assert.deepEqual(m.controls.novo, { type: 'TLabel' })],
  ];
  for (const [name, answer, check] of cases) {
    await t.test(name, () => {
      const b = base();
      check(mergeSnapshot(b, answer), b);
    });
  }
});

test('answers that cannot be applied ask for a whole snapshot', async (t) => {
  const cases = [
    ['a delta without a snapshot held', null, { version: 8, base: 7, dialog: null }],
    ['a delta on another version', base(), { version: 8, base: 6, dialog: null }],
    ['more records without their rows', base(), { version: 8, base: 7, dialog: null, datasets: { cds: { recordCount: 5, rows: { 3: {} } } } }],
    ['more records and no rows at all', base(), { version: 8, base: 7, dialog: null, datasets: { cds: { recordCount: 4 } } }],
    ...['01', '-1', 'x', '1e2', '1.0', ' 1', '12345678901'].map((k) =>
      [`row index "${k}"`, base(), { version: 8, base: 7, dialog: null, datasets: { cds: { rows: { [k]: {} } } } }]),
    ['an answer that is not an object', base(), [1, 2]],
  ];
  for (const [name, held, answer] of cases)
    await t.test(name, () => assert.throws(() => mergeSnapshot(held, answer), StaleDelta));
});
