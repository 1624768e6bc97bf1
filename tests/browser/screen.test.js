// The screen in Chromium, driven by keyboard and mouse as a user works with it.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startStack, settled, screenshot, leaveFilterOn: leaveOn } = require('./harness');

let stack;
let page;

before(async () => {
  stack = await startStack();
  page = stack.page;
});

after(async () => {
  if (stack) await stack.stop();
});

const dataset = (snap, name = 'cdsTipOper') => snap.datasets[name];
const gridRows = (grid) => page.locator(`[data-control="${grid}"] tbody tr[data-rec]`);

// A dialog must be the one expected; answers it with the button named.
async function answerDialog(text, button) {
  const dialog = page.locator('#overlay .dialog');
  await dialog.waitFor();
  assert.equal((await dialog.locator('.body').textContent()).trim(), text);
  await dialog.getByRole('button', { name: button, exact: true }).click();
}

const leaveFilterOn = (index) => leaveOn(page, index);

test('abre a tela com o filtro em foco e os registros fechados', async () => {
  await page.goto(stack.url);
  const snap = await settled(page);
  assert.equal(snap.focus, 'cbbEntSaid');
  assert.equal(dataset(snap).state, 'inactive');
  assert.equal(await page.locator('#formCaption').textContent(), 'Tipo de Operação');
  assert.equal(await page.locator('#screenCode').textContent(), 'GER06600');
  assert.equal(await page.locator('button[data-tool="sbtIncluir"]').isDisabled(), true);
  assert.equal(await page.evaluate(() => document.activeElement.dataset.name), 'cbbEntSaid');
});

test('sai do filtro em Saída e navega pelos registros', async () => {
  const snap = await leaveFilterOn(1);
  assert.equal(dataset(snap).state, 'browse');
  assert.ok(dataset(snap).recordCount > 1, 'a base de demonstração tem tipos de saída');
  assert.equal(snap.controls.lblOrigDest.caption, 'Destino');
  assert.equal(await gridRows('dbgPadrao').count(), dataset(snap).recordCount);
  assert.equal(snap.controls.sbtIncluir.enabled, true);

  await gridRows('dbgPadrao').nth(0).click();
  await page.keyboard.press('ArrowDown');
  let moved = await settled(page);
  assert.equal(dataset(moved).recNo, 2);
  await page.locator('#statusbar button[aria-label="Último"]').click();
  moved = await settled(page);
  assert.equal(dataset(moved).recNo, dataset(moved).recordCount);
  assert.equal(await page.locator('#position').textContent(), `Registro ${dataset(moved).recNo} de ${dataset(moved).recordCount}`);
});

test('inclui e confirma um tipo novo, que aparece no grid', async () => {
  await page.keyboard.press('F2');
  let snap = await settled(page);
  assert.equal(dataset(snap).state, 'insert');
  assert.equal(snap.activePage, 'tshFormulario');
  await page.locator('input[data-name="dbeCdTipoOper"]').fill('88');
  await page.locator('input[data-name="dbeNmTipoOper"]').click();
  await page.locator('input[data-name="dbeNmTipoOper"]').fill('Remessa de teste no navegador');
  await page.keyboard.press('F10');
  snap = await settled(page);
  assert.equal(snap.dialog, null, JSON.stringify(snap.dialog));
  assert.equal(dataset(snap).state, 'browse', JSON.stringify(snap.shown));
  assert.equal(dataset(snap).current.CDTIPOOPER, '88');
  await screenshot(page, 'formulario-saida');

  await page.keyboard.press('Alt+1');
  snap = await settled(page);
  assert.equal(snap.activePage, 'tshFolhaDados');
  const row = page.locator('[data-control="dbgPadrao"] tbody tr', { hasText: 'Remessa de teste no navegador' });
  assert.equal(await row.count(), 1);
  assert.equal((await row.locator('td').first().textContent()).trim(), '88');
});

test('inclui e exclui uma linha de mensagem respondendo à pergunta', async () => {
  await page.keyboard.press('Alt+3');
  let snap = await settled(page);
  assert.equal(snap.activePage, 'tshMensagem');
  const before = dataset(snap, 'cdsMensTipoOper').recordCount;

  await page.keyboard.press('F2');
  snap = await settled(page);
  assert.equal(dataset(snap, 'cdsMensTipoOper').state, 'insert');
  const code = page.locator('input[data-grid="dbgMensagem"][data-column="CDMENSAGEM"]');
  await code.fill('7x'); // the letter is discarded by the grid's key handler
  await page.keyboard.press('Tab');
  snap = await settled(page);
  assert.equal(snap.controls.dbgMensagem.column, 'DSMENSAGEM');
  await page.locator('input[data-grid="dbgMensagem"][data-column="DSMENSAGEM"]').fill('Mensagem digitada no navegador');
  await page.keyboard.press('F10');
  snap = await settled(page);
  assert.equal(dataset(snap, 'cdsMensTipoOper').state, 'browse', JSON.stringify(snap.shown));
  assert.equal(dataset(snap, 'cdsMensTipoOper').recordCount, before + 1);
  assert.equal(await page.locator('#toast').textContent(), 'Registro gravado.');
  const line = page.locator('[data-control="dbgMensagem"] tbody tr', { hasText: 'Mensagem digitada no navegador' });
  assert.equal(await line.count(), 1);
  assert.equal((await line.locator('td').first().textContent()).trim(), '007');

  await line.click();
  await settled(page);
  await page.keyboard.press('F4');
  await answerDialog('Deseja excluir o registro?', 'Sim');
  snap = await settled(page);
  assert.equal(dataset(snap, 'cdsMensTipoOper').recordCount, before);
  assert.equal(await line.count(), 0);
  assert.equal(await page.locator('#toast').textContent(), 'Registro excluído.');
});

test('cancela uma alteração respondendo à pergunta', async () => {
  await page.keyboard.press('Alt+2');
  let snap = await settled(page);
  const name = dataset(snap).current.NMTIPOOPER;
  await page.keyboard.press('F3');
  snap = await settled(page);
  assert.equal(dataset(snap).state, 'edit');
  await page.locator('input[data-name="dbeNmTipoOper"]').fill('Nome que não fica');
  await page.keyboard.press('Escape');
  await answerDialog('Deseja cancelar as alterações?', 'Sim');
  snap = await settled(page);
  assert.equal(dataset(snap).state, 'browse');
  assert.equal(dataset(snap).current.NMTIPOOPER, name);
});

test('pergunta antes de excluir o tipo e de fechar com alteração pendente; Enter responde Não', async () => {
  let snap = await settled(page);
  const count = dataset(snap).recordCount;
  assert.equal(dataset(snap).current.CDTIPOOPER, '88');
  await page.keyboard.press('F4');
  const dialog = page.locator('#overlay .dialog');
  await dialog.waitFor();
  assert.equal((await dialog.locator('.body').textContent()).trim(), 'Deseja excluir o registro?');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Não');
  await page.keyboard.press('Enter');
  snap = await settled(page);
  assert.equal(dataset(snap).recordCount, count, 'Enter answers the default, No');
  assert.equal(dataset(snap).current.CDTIPOOPER, '88');

  await page.keyboard.press('F3');
  await settled(page);
  await page.locator('input[data-name="dbeNmTipoOper"]').fill('Nome pendente');
  await page.locator('button[data-tool="sbtFechar"]').click();
  await answerDialog('Existem alterações não gravadas. Deseja descartá-las e fechar a tela?', 'Não');
  snap = await settled(page);
  assert.equal(dataset(snap).state, 'edit');
  assert.equal(snap.controls.dbeNmTipoOper.text, 'Nome pendente');

  // Closing the tab while editing: the browser asks, and staying keeps the page.
  const asked = new Promise((resolve) => page.once('dialog', async (d) => {
    const type = d.type();
    await d.dismiss();
    resolve(type);
  }));
  await page.close({ runBeforeUnload: true });
  const none = new Promise((resolve) => setTimeout(() => resolve('nenhuma pergunta'), 5000));
  assert.equal(await Promise.race([asked, none]), 'beforeunload');
  assert.equal(page.isClosed(), false);

  await page.keyboard.press('Escape');
  await answerDialog('Deseja cancelar as alterações?', 'Sim');
  await settled(page);
  await page.keyboard.press('F4');
  await answerDialog('Deseja excluir o registro?', 'Sim');
  snap = await settled(page);
  assert.equal(dataset(snap).recordCount, count - 1);
  assert.notEqual(dataset(snap).current.CDTIPOOPER, '88');
});

test('mostra o formulário em Entrada', async () => {
  const snap = await leaveFilterOn(0);
  assert.equal(snap.controls.lblOrigDest.caption, 'Origem');
  await page.keyboard.press('Alt+2');
  const form = await settled(page);
  assert.equal(form.activePage, 'tshFormulario');
  assert.equal(await page.locator('label:has(input[data-name="dckInfCPF"])').isVisible(), true);
  await screenshot(page, 'formulario-entrada');
  assert.deepEqual(stack.errors, []);
});

test('mostra a falha do servidor de aplicação na caixa de erro do host', async () => {
  await page.keyboard.press('Alt+1');
  await settled(page);
  await stack.stopAppServer();
  await page.keyboard.press('F5'); // Verificar: reloads from the server, which is gone
  const snap = await settled(page);
  assert.equal(snap.result, 'failed');
  const box = page.locator('#overlay .dialog');
  await box.waitFor();
  assert.equal(await box.locator('h2').textContent(), 'Erro');
  assert.equal((await box.locator('.body').textContent()).trim(), snap.error);
  await page.keyboard.press('Escape');
  assert.equal(await page.locator('#overlay').isHidden(), true);
  // The screen is still there and answers.
  assert.ok(Object.keys((await settled(page)).controls).length > 0);
});
