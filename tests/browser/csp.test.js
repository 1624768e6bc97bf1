// The renderer under a strict content policy: no inline script, no inline style attribute, nothing
// from elsewhere. Every violation the browser reports while the screen is used fails the test.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startStack, settled } = require('./harness');

const POLICY = "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'";

let stack;
let page;

before(async () => {
  stack = await startStack();
  page = stack.page;
  await page.route((url) => !url.pathname.startsWith('/api/'), async (route) => {
    const response = await route.fetch();
    route.fulfill({ response, headers: { ...response.headers(), 'content-security-policy': POLICY } });
  });
  await page.addInitScript(() => {
    window.violations = [];
    document.addEventListener('securitypolicyviolation', (e) => window.violations.push(`${e.violatedDirective} ${e.sourceFile}:${e.lineNumber} ${e.sample}`));
  });
  await page.goto(stack.url);
  await settled(page);
});

after(async () => {
  if (stack) await stack.stop();
});

test('nothing the screen does breaks a strict content policy', async () => {
  // Load, form, edit, help, cancel (answering the question), messages, list, sort choice, search.
  for (const key of ['Tab', 'Alt+2', 'F3', 'F1', 'Escape', 'Escape', 'S', 'Alt+3', 'Alt+1', 'F8', 'Escape']) {
    await page.keyboard.press(key);
    await settled(page);
  }
  await page.keyboard.press('F6');
  await settled(page);
  await page.locator('#overlay .dialog').waitFor();
  await page.keyboard.press('Escape');
  const snap = await settled(page);
  assert.ok(snap.datasets.cdsTipOper.recordCount > 0, 'the screen worked');
  assert.deepEqual(await page.evaluate(() => window.violations), []);
  assert.deepEqual(stack.errors, []);
});
