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

// A user who may read and write and an API token of it, made with the server's own user commands;
// the host's screens connect with it.
function appServerToken(db) {
  const exe = path.join(BIN, 'tipoper-appserver');
  execFileSync(exe, ['--db', db, 'user', 'add', 'teste', '--role', 'manutencao', '--no-password'],
    { stdio: ['ignore', 'ignore', 'pipe'] });
  return execFileSync(exe, ['--db', db, 'user', 'token', 'teste'], { encoding: 'utf8' }).trim();
}

// The application server on a temporary SQLite database with demo data, and the web host on it.
async function startServers() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tipoper-browser-'));
  const db = `sqlite:${path.join(dir, 'tipoper.db')}`;
  const token = appServerToken(db);
  const app = await startProcess(path.join(BIN, 'tipoper-appserver'), ['--db', db, '--port', '0', '--demo'],
    /ouvindo em ([\d.]+):(\d+)/, path.join(dir, 'appserver.log'));
  let host;
  try {
    host = await startProcess(path.join(BIN, 'tipoper-host'),
      ['--port', '0', '--appserver', `${app.match[1]}:${app.match[2]}`, '--db', db],
      /ouvindo em (http:\/\/[\d.]+:\d+\/)/, path.join(dir, 'host.log'),
      { ...process.env, TIPOPER_APPSERVER_TOKEN: token });
  } catch (err) {
    await stopProcess(app.child);
    throw err;
  }
  return {
    url: host.match[1], dir,
    stopAppServer: () => stopProcess(app.child),
    async stop() {
      await stopProcess(host.child);
      await stopProcess(app.child);
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
}

async function startStack({ width = 1366, height = 768 } = {}) {
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
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  return {
    ...servers, page, errors,
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

module.exports = { startServers, startStack, settled };

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
