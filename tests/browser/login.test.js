// The login page and what a user may do: errors that do not say which part was wrong, the pause after
// repeated failures, the screen after a login and the way out; a user who may only read sees the
// read-only state, and the screen and the application server both refuse their changes.
'use strict';
const { test, before, after, describe } = require('node:test');
const assert = require('node:assert/strict');
const net = require('node:net');
const { startStack, settled, logIn, leaveFilterOn, USERS } = require('./harness');

// One JSON-RPC exchange with the application server: connect with `ticket`, then `method`; resolves with
// the second answer.
function appServerCall({ host, port }, ticket, method, params) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, host);
    let buffer = '';
    const answers = [];
    socket.setTimeout(10000, () => socket.destroy(new Error('o servidor de aplicação não respondeu')));
    socket.on('error', reject);
    socket.on('data', (chunk) => {
      buffer += chunk;
      for (let end; (end = buffer.indexOf('\n')) >= 0; buffer = buffer.slice(end + 1)) answers.push(JSON.parse(buffer.slice(0, end)));
      if (answers.length === 2) {
        socket.end();
        resolve(answers[1]);
      }
    });
    const send = (id, m, p) => socket.write(`${JSON.stringify({ jsonrpc: '2.0', id, method: m, params: p })}\n`);
    send(1, 'connect', { server: 'Ger06600.rdmTipOper', ticket });
    send(2, method, params);
  });
}

describe('página de login', () => {
  let stack;
  let page;
  before(async () => {
    stack = await startStack({ user: null });
    page = stack.page;
  });
  after(async () => {
    if (stack) await stack.stop();
  });

  async function tryLogin(user, password) {
    await page.fill('#user', user);
    await page.fill('#password', password);
    await page.click('#enter');
  }

  test('sem login a tela leva à página de login, que recusa sem dizer o que errou', async () => {
    await page.goto(stack.url);
    assert.match(page.url(), /\/login\.html$/);
    assert.equal(await page.locator('#user').evaluate((n) => n === document.activeElement), true);
    await tryLogin('teste', 'senha-errada');
    const error = page.locator('#loginError');
    await error.waitFor();
    const wrongPassword = await error.textContent();
    assert.equal(wrongPassword, 'Usuário ou senha inválidos.');
    await tryLogin('ninguem', USERS.teste.password);
    await page.waitForFunction(() => document.querySelector('#password').value === '');
    assert.equal(await error.textContent(), wrongPassword, 'an unknown user reads the same');
    await page.fill('#user', '');
    await page.click('#enter');
    assert.equal(await error.textContent(), 'Informe o usuário e a senha.');
  });

  test('depois de falhas seguidas a página pede que o usuário aguarde, e depois entra', async () => {
    // The host lets a few failures through, then makes each further attempt wait.
    const waiting = () => page.evaluate(() => /Aguarde/.test(document.querySelector('#loginError').textContent));
    for (let i = 0; i < 6 && !(await waiting()); i++) {
      await tryLogin('teste', 'senha-errada');
      await page.waitForFunction(() => !document.querySelector('#enter').disabled || /Aguarde/.test(document.querySelector('#loginError').textContent));
    }
    assert.equal(await waiting(), true);
    assert.equal(await page.locator('#enter').isDisabled(), true, 'no attempt while waiting');
    // The pause ends by itself; then the right password opens the screen.
    await page.waitForFunction(() => !document.querySelector('#enter').disabled, null, { timeout: 40000 });
    await tryLogin('teste', USERS.teste.password);
    await page.waitForURL(stack.url);
    await settled(page);
    assert.equal(await page.locator('#userName').textContent(), 'teste');
    assert.equal(await page.locator('#userRole').textContent(), 'Manutenção');
    assert.equal(await page.locator('#readOnly').count(), 0);
  });

  test('Sair encerra o login e volta à página de login', async () => {
    await page.click('#logout');
    await page.waitForURL(/\/login\.html$/);
    await page.goto(stack.url);
    assert.match(page.url(), /\/login\.html$/, 'the cookie is gone');
    const me = await page.context().request.get(`${stack.url}api/me`);
    assert.equal(me.status(), 401);
  });
});

describe('usuário de consulta', () => {
  let stack;
  let page;
  let ticket;
  before(async () => {
    stack = await startStack({ user: 'leitor' });
    page = stack.page;
    ticket = (await logIn(stack.context, stack.url, 'leitor')).token;
  });
  after(async () => {
    if (stack) await stack.stop();
  });

  test('vê os registros, o papel e a marca de somente leitura', async () => {
    await page.goto(stack.url);
    await settled(page);
    assert.equal(await page.locator('#userName').textContent(), 'leitor');
    assert.equal(await page.locator('#userRole').textContent(), 'Consulta');
    assert.equal(await page.locator('#readOnly').textContent(), 'Somente leitura');
    const snap = await leaveFilterOn(page, 1);
    assert.equal(snap.datasets.cdsTipOper.state, 'browse');
    assert.ok(snap.datasets.cdsTipOper.recordCount > 0, 'reading is allowed');
  });

  test('Incluir, Alterar e Excluir são recusados com a mensagem e nada muda', async () => {
    const before = await settled(page);
    for (const tool of ['sbtIncluir', 'sbtAlterar', 'sbtExcluir']) {
      await page.locator(`button[data-tool="${tool}"]`).click();
      const dialog = page.locator('#overlay .dialog');
      await dialog.waitFor();
      assert.equal((await dialog.locator('.body').textContent()).trim(),
        'Usuário sem permissão para alterar tipos de operação.', tool);
      await dialog.getByRole('button', { name: 'OK', exact: true }).click();
      const after = await settled(page);
      assert.equal(after.dialog, null, tool);
      assert.equal(after.datasets.cdsTipOper.state, 'browse', tool);
      assert.equal(after.datasets.cdsTipOper.recordCount, before.datasets.cdsTipOper.recordCount, tool);
    }
  });

  test('o servidor de aplicação também recusa a gravação do usuário de consulta', async () => {
    const answer = await appServerCall(stack.appServer, ticket, 'SetTipOper', [{}, '']);
    assert.equal(answer.error && answer.error.code, -32004);
    assert.equal(answer.error.message, 'Usuário sem permissão para alterar tipos de operação.');
  });
});
