// The renderer on answers given as deltas: after every act, the snapshot it rebuilt is the host's
// whole snapshot, and the page shows it.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startStack, settled, answerWithDeltas, optionOrder } = require('./harness');

let stack;
let page;
let proxy;

before(async () => {
  stack = await startStack();
  page = stack.page;
  proxy = await answerWithDeltas(page);
  await page.goto(stack.url);
  await settled(page);
});

after(async () => {
  if (stack) await stack.stop();
});

const strip = ({ version, base, ...rest }) => rest;

// Acts as a user makes them, each followed by the check that the rebuilt snapshot is the whole one.
const ACTS = [
  ['sai do filtro', () => page.keyboard.press('Tab')],
  ['desce na lista', () => page.keyboard.press('ArrowDown')],
  ['desce de novo', () => page.keyboard.press('ArrowDown')],
  ['vai ao formulário', () => page.keyboard.press('Alt+2')],
  ['altera', () => page.keyboard.press('F3')],
  ['digita o nome', async () => {
    await page.locator('input[data-name="dbeNmTipoOper"]').fill('Nome por delta');
    await page.keyboard.press('Tab');
  }],
  ['marca uma opção', () => page.locator('input[data-name="dckAtuaEst"]').click()],
  ['confirma', () => page.keyboard.press('F10')],
  ['vai às mensagens', () => page.keyboard.press('Alt+3')],
  ['inclui uma mensagem', () => page.keyboard.press('F2')],
  ['digita o código', async () => {
    await page.locator('input[data-grid="dbgMensagem"][data-column="CDMENSAGEM"]').fill('9');
    await page.keyboard.press('Tab');
  }],
  ['digita o texto', async () => {
    await page.locator('input[data-grid="dbgMensagem"][data-column="DSMENSAGEM"]').fill('Linha por delta');
  }],
  ['confirma a mensagem', () => page.keyboard.press('F10')],
  ['volta à lista', () => page.keyboard.press('Alt+1')],
  ['vai ao último', () => page.keyboard.press('End')],
  ['muda o filtro para Saída', async () => {
    await page.locator('select[data-name="cbbEntSaid"]').focus();
    await settled(page);
    await page.selectOption('select[data-name="cbbEntSaid"]', { index: 1 });
    await settled(page);
    await page.keyboard.press('Tab');
  }],
];

test('every act rebuilds the host\'s whole snapshot from a delta and the page shows it', async (t) => {
  for (const [name, run] of ACTS) {
    await t.test(name, async () => {
      await run();
      const held = await settled(page);
      assert.deepEqual(strip(held), strip(proxy.last));
      const d = held.datasets.cdsTipOper;
      if (d.recordCount) {
        const current = page.locator('[data-control="dbgPadrao"] tbody tr.current');
        assert.equal(await current.getAttribute('data-rec'), String(d.recNo));
        assert.equal(await current.locator('td').nth(1).textContent(), d.current.NMTIPOOPER);
      }
      assert.equal(await page.locator('input[data-name="dbeNmTipoOper"]').inputValue(), held.controls.dbeNmTipoOper.displayText ?? held.controls.dbeNmTipoOper.text);
    });
  }
  // After the change of kind, the options stand in the new kind's order.
  const snap = await settled(page);
  assert.equal(snap.controls.cbbEntSaid.itemIndex, 1);
  const { dom, byTabOrder } = await optionOrder(page, snap);
  assert.deepEqual(dom, byTabOrder);
  assert.ok(dom.includes('dckUtlEmisNFSe') && !dom.includes('dckRetInd'), 'the options of Saída');
  assert.ok(proxy.deltas >= ACTS.length, `${proxy.deltas} deltas`);
  t.diagnostic(`respostas: ${proxy.deltas} deltas, ${proxy.wholes} inteiras; bytes ${proxy.bytes.join(' ')}`);
  assert.deepEqual(stack.errors, []);
});
