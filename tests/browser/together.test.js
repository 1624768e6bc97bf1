// Two people on the same operation type: the second save is refused by the server and the browser
// shows both versions; each way out; and the delete question that names who uses a type.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { request } = require('playwright-core');
const { startStack, settled, leaveFilterOn, USERS } = require('./harness');

let stack;
let page;
let other; // the other person, a program on the API with its own login

before(async () => {
  stack = await startStack();
  page = stack.page;
  other = await request.newContext({ baseURL: stack.url });
  const login = await other.post('api/login', { data: { user: 'teste', password: USERS.teste.password } });
  assert.equal(login.status(), 200, await login.text());
  const { token } = await login.json();
  other.headers = { Authorization: `Bearer ${token}` };
});

after(async () => {
  if (other) await other.dispose();
  if (stack) await stack.stop();
});

const dataset = (snap) => snap.datasets.cdsTipOper;

// The other person renames the first operation type of Saída through the API, from a session of its own.
async function otherRenames(name) {
  const created = await other.post('api/sessions', { headers: other.headers });
  assert.equal(created.status(), 201, await created.text());
  const { id } = await created.json();
  const events = [
    { type: 'open' },
    { type: 'pick', control: 'cbbEntSaid', index: 1 },
    { type: 'focus', control: 'dbgPadrao' },
    { type: 'click', control: 'sbtAlterar' },
    { type: 'type', control: 'dbeNmTipoOper', text: name },
    { type: 'click', control: 'sbtConfirmar' },
  ];
  let snap;
  for (const event of events) {
    const answer = await other.post(`api/sessions/${id}/events`, { headers: other.headers, data: event });
    assert.equal(answer.status(), 200, `${JSON.stringify(event)}: ${await answer.text()}`);
    snap = await answer.json();
  }
  assert.equal(snap.result, 'done', JSON.stringify(snap.dialog));
  await other.delete(`api/sessions/${id}`, { headers: other.headers });
}

// Alters the current record's name in the browser and confirms; resolves with the dialog shown.
async function renameAndConfirm(name) {
  await page.keyboard.press('F3');
  await settled(page);
  await page.locator('input[data-name="dbeNmTipoOper"]').fill(name);
  await page.keyboard.press('F10');
  const dialog = page.locator('#overlay .dialog');
  await dialog.waitFor();
  return dialog;
}

test('um salvamento recusado mostra as duas versões; manter a do outro não reenvia a minha', async () => {
  await page.goto(stack.url);
  await settled(page);
  await leaveFilterOn(page, 1);
  let snap = await settled(page);
  const code = dataset(snap).current.CDTIPOOPER;

  await otherRenames('Nome do outro usuário');
  const dialog = await renameAndConfirm('Meu nome');
  const table = dialog.locator('table.conflict');
  await table.waitFor();
  const cells = await table.locator('tbody tr').first().locator('th, td').allTextContents();
  assert.deepEqual(cells, ['Nome', 'Meu nome', 'Nome do outro usuário']);
  assert.match(await dialog.textContent(), /teste/, 'says who changed it');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Manter a versão do outro usuário');
  await dialog.getByRole('button', { name: 'Manter a versão do outro usuário', exact: true }).click();

  snap = await settled(page);
  assert.equal(snap.dialog, null, JSON.stringify(snap.dialog));
  assert.equal(dataset(snap).state, 'browse');
  assert.equal(dataset(snap).current.CDTIPOOPER, code);
  assert.equal(dataset(snap).current.NMTIPOOPER, 'Nome do outro usuário');
});

test('reaplicar as minhas alterações põe o registro em edição sobre a versão do outro', async () => {
  await otherRenames('Outro nome de novo');
  const dialog = await renameAndConfirm('Meu nome outra vez');
  await dialog.locator('table.conflict').waitFor();
  await dialog.getByRole('button', { name: 'Reaplicar minhas alterações', exact: true }).click();
  let snap = await settled(page);
  assert.equal(snap.dialog, null, JSON.stringify(snap.dialog));
  assert.equal(dataset(snap).state, 'edit');
  assert.equal(await page.locator('input[data-name="dbeNmTipoOper"]').inputValue(), 'Meu nome outra vez');
  await page.keyboard.press('F10');
  snap = await settled(page);
  assert.equal(snap.dialog, null, JSON.stringify(snap.dialog));
  assert.equal(dataset(snap).state, 'browse');
  assert.equal(dataset(snap).current.NMTIPOOPER, 'Meu nome outra vez');
});

test('excluir um tipo usado por outros pergunta antes, nomeando-os', async () => {
  await page.keyboard.press('Alt+1');
  let snap = await settled(page);
  const rows = page.locator('[data-control="dbgPadrao"] tbody tr[data-rec]');
  const count = dataset(snap).recordCount;
  await rows.filter({ hasText: 'Remessa em bonificação' }).first().click();
  snap = await settled(page);
  assert.equal(dataset(snap).current.CDTIPOOPER, '05');
  await page.keyboard.press('F4');
  const dialog = page.locator('#overlay .dialog');
  await dialog.waitFor();
  const text = (await dialog.locator('.body').textContent()).trim();
  assert.match(text, /^Este tipo de operação é usado por:/);
  assert.match(text, /Saída 01 /);
  await page.keyboard.press('Enter'); // the default, No
  snap = await settled(page);
  assert.equal(snap.dialog, null);
  assert.equal(dataset(snap).recordCount, count);
});
