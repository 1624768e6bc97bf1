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

async function startStack() {
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
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tipoper-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true, args: CHROMIUM_FLAGS, viewport: { width: 1366, height: 768 },
  });
  const page = context.pages()[0] || (await context.newPage());
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  return {
    url: host.match[1], page, errors, dir,
    stopAppServer: () => stopProcess(app.child),
    async stop() {
      await context.close().catch(() => {});
      await stopProcess(host.child);
      await stopProcess(app.child);
      fs.rmSync(profile, { recursive: true, force: true });
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
}

// The renderer's last snapshot, once every event it sent has been answered.
async function settled(page) {
  await page.waitForFunction(() => window.tipoper && window.tipoper.snapshot && window.tipoper.pending === 0);
  return page.evaluate(() => window.tipoper.snapshot);
}

module.exports = { startStack, settled };
