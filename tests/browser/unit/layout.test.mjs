// The layout read out of the bounds: the order must be the screen's arrangement (its tab order on the
// form, for both kinds), captions must stay with their controls, and lists must be marked to flow.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import zlib from 'node:zlib';
import { layoutItems, namedControls, readingOrder } from '../../../web/layout.js';

const steps = JSON.parse(zlib.gunzipSync(fs.readFileSync(new URL('../fixtures/session.json.gz', import.meta.url))));
const ENTRADA = steps.find((s) => s.snapshot.controls.cbbEntSaid.itemIndex === 0 && s.snapshot.datasets.cdsTipOper.state === 'browse').snapshot;
const SAIDA = steps[steps.length - 1].snapshot;

const itemsOf = (snap, parent) => Object.entries(snap.controls)
  .filter(([, c]) => c.parent === parent && c.visible && c.bounds)
  .map(([name, c]) => ({ name, type: c.type, ...c.bounds }));

function find(node, predicate) {
  if (predicate(node)) return node;
  for (const child of node.children || []) {
    const hit = find(child, predicate);
    if (hit) return hit;
  }
  return null;
}
const fieldOf = (node, label) => find(node, (n) => n.kind === 'field' && n.label === label);

test('the options read in the screen\'s tab order for both kinds', async (t) => {
  for (const [kind, snap] of [['Entrada', ENTRADA], ['Saída', SAIDA]]) {
    await t.test(kind, () => {
      const items = itemsOf(snap, 'grbForm');
      const byTabOrder = items.filter((i) => i.type !== 'TBevel')
        .sort((a, b) => snap.controls[a.name].tabOrder - snap.controls[b.name].tabOrder).map((i) => i.name);
      const read = readingOrder(layoutItems(items)).filter((n) => snap.controls[n].type !== 'TBevel');
      assert.deepEqual(read, byTabOrder);
    });
  }
});

test('the upper block of options is a list that flows into columns, apart from the lower one', () => {
  const tree = layoutItems(itemsOf(ENTRADA, 'grbForm'));
  const flows = tree.children.filter((n) => n.kind === 'flow');
  assert.equal(flows.length, 2);
  assert.equal(flows[0].columnWidth, 300); // the distance between the arrangement's columns
  assert.deepEqual(readingOrder(flows[0]).slice(0, 3), ['dckIdUtilVenc', 'dbcEmiss', 'dbcInfNumeNf']);
  // A companion stays beside its option as one entry of the list.
  const docDevo = flows[1].children.find((n) => readingOrder(n).includes('dckDocDevo'));
  assert.deepEqual(readingOrder(docDevo), ['dckDocDevo', 'grbDocOrigem']);
  assert.equal(docDevo.kind, 'row');
  assert.equal(tree.children[1].name, 'Bevel2');
});

test('captions stay with the controls they name', async (t) => {
  const cases = [
    ['over an edit, in the header', ENTRADA, 'tshFormulario', 'lblNome', ['dbeNmTipoOper']],
    ['over a code, its search button and its description', ENTRADA, 'tshFormulario', 'lblCentCust', ['dbeSetor', 'dbeNmSetor']],
    ['beside a combo', ENTRADA, 'panFiltro', 'lblEntSaid', ['cbbEntSaid']],
    ['beside an edit in a panel', ENTRADA, 'panSNCM', 'lblCodigoSNCM', ['dbCodigoSNCM']],
    ['over an edit in a group box', ENTRADA, 'grbFornePadr', 'lblDsNmOper', ['dbeNmOper']],
  ];
  for (const [name, snap, parent, label, named] of cases) {
    await t.test(name, () => {
      const field = fieldOf(layoutItems(itemsOf(snap, parent)), label);
      assert.ok(field, `${label} em ${parent}`);
      assert.deepEqual(namedControls(field.children[1]), named);
    });
  }
});

test('controls without a caption line up with the captioned ones beside them', () => {
  const tree = layoutItems(itemsOf(ENTRADA, 'grbFornePadr'));
  assert.equal(tree.kind, 'row');
  const offsets = Object.fromEntries(tree.children.map((n) => [n.kind === 'field' ? n.label : n.name, n.offset]));
  assert.deepEqual(offsets, { lblFornePadr: 0, btpFornecedor: 16, dbeNmRazsocForn: 16, lblDsNmOper: 0 });
});

test('the form page puts the lookups beside the options', () => {
  const tree = layoutItems(itemsOf(SAIDA, 'tshFormulario'));
  assert.equal(tree.kind, 'stack');
  const [header, main] = tree.children;
  assert.equal(header.kind, 'row');
  assert.deepEqual(header.children.map((n) => n.label), ['lblCodigo', 'lblNome', 'lblGeraNtComp', 'lblOrigDest', 'lblCodExp']);
  assert.equal(main.kind, 'row');
  assert.equal(main.children[0].name, 'grbForm');
  assert.deepEqual(readingOrder(main.children[1]).slice(0, 4), ['lblCentCust', 'dbeSetor', 'btpPesqSetor', 'dbeNmSetor']);
});

test('made-up arrangements', async (t) => {
  const cb = (name, left, top, width = 200) => ({ name, type: 'TDBCheckBox', left, top, width, height: 17 });
  const cases = [
    ['a single control', [cb('a', 0, 0)], (tree) => assert.equal(tree.kind, 'leaf')],
    ['nothing', [], (tree) => assert.deepEqual(readingOrder(tree), [])],
    ['overlapping controls keep their places', [cb('a', 0, 0), cb('b', 20, 5)], (tree) => assert.equal(tree.kind, 'overlap')],
    ['three columns read down each column, a sparse fourth follows its neighbour',
      [cb('a1', 0, 0), cb('b1', 210, 0), cb('c1', 420, 0), cb('a2', 0, 20), cb('b2', 210, 20), cb('x', 630, 20), cb('c2', 420, 20),
        cb('a3', 0, 40), cb('b3', 210, 40), cb('c3', 420, 40)],
      (tree) => {
        assert.equal(tree.kind, 'flow');
        assert.deepEqual(readingOrder(tree), ['a1', 'a2', 'a3', 'b1', 'b2', 'b3', 'c1', 'c2', 'x', 'c3']);
      }],
    ['a caption too far above is not tied to the edit',
      [{ name: 'l', type: 'TLabel', left: 0, top: 0, width: 50, height: 13 }, { name: 'e', type: 'TDBEdit', left: 0, top: 40, width: 80, height: 21 }],
      (tree) => assert.equal(find(tree, (n) => n.kind === 'field'), null)],
    ['a caption does not name a check box',
      [{ name: 'l', type: 'TLabel', left: 0, top: 0, width: 50, height: 13 }, cb('c', 0, 16)],
      (tree) => assert.equal(find(tree, (n) => n.kind === 'field'), null)],
    ['two lines of single options stay a plain stack', [cb('a', 0, 0), cb('b', 0, 20)],
      (tree) => assert.deepEqual([tree.kind, readingOrder(tree)], ['stack', ['a', 'b']])],
  ];
  for (const [name, items, check] of cases) await t.test(name, () => check(layoutItems(items)));
});
