// Starts the application server (temporary SQLite with demo data) and the web host on free ports,
// and Debian's Chromium with a fresh profile; stops each process by its pid.
'use strict';
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const BIN = process.env.TIPOPER_BIN || path.resolve(__dirname, '../../build/bin');
const CHROMIUM = process.env.TIPOPER_CHROMIUM || '/usr/bin/chromium';
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Runs `exe args` (with `env`) and resolves with {child, line} once stdout prints a line matching `pattern`.
function startProcess(exe, args, pattern, logFile, env = process.env) {
  return new Promise((resolve, reject) => {
    const child = spawn(exe, args, { stdio: ['ignore', 'pipe', 'pipe'], env });
    const log = fs.createWriteStream(logFile);
    let out = '';
    const timer = setTimeout(() => reject(new Error(`${path.basename(exe)} não iniciou a tempo:\n${out}`)), 15000);
    child.stdout.on('data', (chunk) => {
      out += chunk;
      log.write(chunk);
      const match = out.match(pattern);
      if (match) {
        clearTimeout(timer);
        resolve({ child, match });
      }
    });
    child.stderr.on('data', (chunk) => log.write(chunk));
    child.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`${path.basename(exe)} terminou com código ${code}:\n${out}`));
    });
  });
}

function stopProcess(child) {
  if (!child || child.exitCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
    child.once('exit', () => {
      clearTimeout(timer);
      resolve();
    });
    child.kill('SIGTERM'); // by pid: ChildProcess.kill signals this child only
  });
}

// Users made with the server's own user commands, with their passwords: `teste` may read and write,
// `leitor` may only read.
const USERS = {
  teste: { role: 'manutencao', password: 'senha-de-teste-1' },
  leitor: { role: 'consulta', password: 'senha-do-leitor-1' },
};

function addUsers(db) {
  const exe = path.join(BIN, 'tipoper-appserver');
  for (const [name, { role, password }] of Object.entries(USERS))
    execFileSync(exe, ['--db', db, 'user', 'add', name, '--role', role], { input: `${password}\n`, stdio: ['pipe', 'ignore', 'pipe'] });
}

// The application server on a temporary SQLite database with demo data, and the web host on it.
async function startServers() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tipoper-browser-'));
  const db = `sqlite:${path.join(dir, 'tipoper.db')}`;
  addUsers(db);
  const app = await startProcess(path.join(BIN, 'tipoper-appserver'), ['--db', db, '--port', '0', '--demo'],
    /ouvindo em ([\d.]+):(\d+)/, path.join(dir, 'appserver.log'));
  let host;
  try {
    host = await startProcess(path.join(BIN, 'tipoper-host'),
      ['--port', '0', '--appserver', `${app.match[1]}:${app.match[2]}`, '--db', db],
      /ouvindo em (http:\/\/[\d.]+:\d+\/)/, path.join(dir, 'host.log'));
  } catch (err) {
    await stopProcess(app.child);
    throw err;
  }
  return {
    url: host.match[1], dir, appServer: { host: app.match[1], port: Number(app.match[2]) },
    stopAppServer: () => stopProcess(app.child),
    async stop() {
      await stopProcess(host.child);
      await stopProcess(app.child);
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
}

// Logs `user` in through the API within the browser's context, so that its pages carry the cookie.
async function logIn(context, url, user = 'teste') {
  const response = await context.request.post(`${url}api/login`, { data: { user, password: USERS[user].password } });
  if (!response.ok()) throw new Error(`login de ${user} recusado: ${response.status()} ${await response.text()}`);
  return response.json();
}

// `user`: logged in before the test starts (null: nobody).
async function startStack({ width = 1366, height = 768, user = 'teste' } = {}) {
  const servers = await startServers();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tipoper-chromium-'));
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM, headless: true, args: CHROMIUM_FLAGS, viewport: { width, height },
    });
  } catch (err) {
    await servers.stop();
    throw err;
  }
  const page = context.pages()[0] || (await context.newPage());
  if (user) await logIn(context, servers.url, user);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  return {
    ...servers, page, errors, context,
    async stop() {
      await context.close().catch(() => {});
      await servers.stop();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// The renderer's last snapshot, once every event it sent has been answered.
async function settled(page) {
  await page.waitForFunction(() => window.tipoper && window.tipoper.snapshot && window.tipoper.pending === 0);
  return page.evaluate(() => window.tipoper.snapshot);
}

// Leaves the filter on the kind's item (0 Entrada, 1 Saída), which loads the list; the snapshot after.
async function leaveFilterOn(page, index) {
  await page.locator('select[data-name="cbbEntSaid"]').focus();
  await settled(page);
  await page.selectOption('select[data-name="cbbEntSaid"]', { index });
  await settled(page);
  await page.keyboard.press('Tab');
  return settled(page);
}

module.exports = { startServers, startStack, settled, logIn, leaveFilterOn, USERS };

// The accessibility violations axe-core finds on the page, as [{id, impact, nodes: [target…]}].
async function axeViolations(page) {
  // Evaluated rather than added as a script tag: the host's content policy refuses inline scripts,
  // and evaluation from the test driver is not subject to it.
  if (!(await page.evaluate(() => typeof window.axe === 'object'))) await page.evaluate(fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8'));
  const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
  return result.violations.map((v) => ({ id: v.id, impact: v.impact, help: v.help, nodes: v.nodes.map((n) => n.target.join(' ')) }));
}

// Screenshots are test artefacts, kept under the build folder (never committed).
const ARTIFACTS = process.env.TIPOPER_ARTIFACTS || path.resolve(__dirname, '../../build/browser');

async function screenshot(page, name) {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  const file = path.join(ARTIFACTS, `${name}.png`);
  await page.screenshot({ path: file });
  return file;
}

// Makes the host's whole answers look like the deltas it answers with `since`, so the renderer runs
// on deltas whatever the host does: answers the host already gives as deltas pass as they are.
// `last` is the whole snapshot behind the latest answer; `deltas` counts the answers turned.
async function answerWithDeltas(page) {
  const { makeDelta } = require('./unit/delta');
  const proxy = { last: null, deltas: 0, wholes: 0, bytes: [] };
  const held = new Map(); // version -> the whole snapshot answered with it
  let version = 1000;
  await page.route(/\/api\/sessions\/[0-9a-f]+(\/events)?\?/, async (route) => {
    const response = await route.fetch();
    const answer = response.ok() ? await response.json() : null;
    if (!answer || (answer.base !== null && answer.base !== undefined)) return route.fulfill({ response });
    const since = new URL(route.request().url()).searchParams.get('since');
    const whole = { ...answer, version: ++version, base: null };
    const before = since === null ? null : held.get(Number(since));
    const reply = before ? makeDelta(before, whole, version, before.version) : whole;
    held.set(version, whole);
    if (held.size > 8) held.delete(held.keys().next().value);
    if (route.request().method() === 'POST') proxy.last = whole;
    if (reply.base === null) proxy.wholes++;
    else proxy.deltas++;
    const body = JSON.stringify(reply);
    proxy.bytes.push(body.length);
    return route.fulfill({ response, body, headers: { ...response.headers(), 'content-length': String(Buffer.byteLength(body)) } });
  });
  return proxy;
}

// The visible options of the form's option box in DOM order, and the same sorted by the screen's tab
// order: the two agree when the page shows the arrangement's order.
async function optionOrder(page, snap, box = 'grbForm') {
  const shown = await page.locator(`[data-control="${box}"] > .body [data-control]`).evaluateAll((all) => all.map((e) => e.dataset.control));
  const dom = shown.filter((n) => snap.controls[n].parent === box && snap.controls[n].visible && snap.controls[n].type !== 'TBevel');
  return { dom, byTabOrder: [...dom].sort((a, b) => snap.controls[a].tabOrder - snap.controls[b].tabOrder) };
}

module.exports.axeViolations = axeViolations;
module.exports.optionOrder = optionOrder;
module.exports.answerWithDeltas = answerWithDeltas;
module.exports.screenshot = screenshot;
