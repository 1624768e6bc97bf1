// The renderer under the host's Content-Security-Policy: nothing it does is blocked, and no other page
// can frame it.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startStack, settled, leaveFilterOn } = require('./harness');

let stack;
let page;
const violations = [];

before(async () => {
  stack = await startStack();
  page = stack.page;
  await page.exposeFunction('reportViolation', (text) => violations.push(text));
  await page.addInitScript(() => document.addEventListener('securitypolicyviolation',
    (e) => window.reportViolation(`${e.violatedDirective} ${e.blockedURI} ${e.sample}`)));
  page.on('console', (message) => {
    if (/Content Security Policy/.test(message.text())) violations.push(message.text());
  });
});

after(async () => {
  if (stack) await stack.stop();
});

test('a tela funciona sob a política de segurança de conteúdo', async () => {
  const response = await page.goto(stack.url);
  const headers = response.headers();
  assert.match(headers['content-security-policy'], /script-src 'self'/);
  assert.match(headers['content-security-policy'], /frame-ancestors 'none'/);
  assert.equal(headers['x-frame-options'], 'DENY');
  assert.equal(headers['x-content-type-options'], 'nosniff');
  await settled(page);
  // Leaving the filter loads the grid (column widths) and enables the toolbar.
  const snap = await leaveFilterOn(page, 1);
  assert.equal(snap.datasets.cdsTipOper.state, 'browse', 'the page\'s own requests passed the origin check');
  // The widths the renderer sets from script (the first column's from the screen, the table's as
  // their sum) survive the policy.
  const widths = await page.locator('[data-control="dbgPadrao"]').evaluate((grid) => [
    grid.querySelector('table').style.width, grid.querySelector('col, th').style.width]);
  assert.ok(widths.every((w) => /^[1-9]\d*px$/.test(w)), `column widths applied: ${widths}`);
  assert.deepEqual(violations, []);
});

test('outra página não consegue mostrar a tela num quadro', async () => {
  const other = await page.context().newPage();
  // The load event waits for the frame, whether it loaded or was blocked.
  await other.setContent(`<iframe src="${stack.url}" width="400" height="300"></iframe>`, { waitUntil: 'load' });
  const frame = other.frames().find((f) => f !== other.mainFrame());
  const framed = frame ? await frame.evaluate(() => document.querySelector('#app') !== null).catch(() => false) : false;
  assert.equal(framed, false);
  await other.close();
});
