#!/usr/bin/env node
// Interface end-to-end tests: node tests/e2e/run.mjs --bridge <velmora-bridge> --ui <ui dir>
//   [--file <name>.test.mjs] [--only <text>] [--shots <dir>]
// Each test file gets its own velmora-bridge with a fresh data folder and its own browser
// context; tests inside a file run in order and share them, like one user session.
import { chromium } from 'playwright-core';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { readdirSync, mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { spawn } from 'node:child_process';
import { tmpdir } from 'node:os';
import readline from 'node:readline';
import { ADAPTER_SCRIPT, Skip, ACCEPTED_SKIP_REASONS, axeProblems, serveDirectory, startJobBoardFixture, seedDatabase } from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const args = { bridge: '', ui: path.resolve(here, '../../ui'), file: '', only: '', shots: path.resolve('e2e-screenshots') };
for (let i = 2; i + 1 < process.argv.length; i++) {
  const key = process.argv[i].replace(/^--/, '');
  if (key in args) args[key] = process.argv[++i];
}
if (!args.bridge) {
  console.error('usage: node tests/e2e/run.mjs --bridge <velmora-bridge> --ui <ui dir> [--file <name>.test.mjs] [--only <text>] [--shots <dir>]');
  process.exit(2);
}
mkdirSync(args.shots, { recursive: true });

// Answers that mean the build under test lacks what the page asked for: an action the core
// does not know, or one whose window controller velmora-bridge has not connected. Either
// fails the journey, whoever asked.
const UNKNOWN = 'Unknown Velmora action: ';
const NOT_WIRED = 'The Velmora window is not available.';
const WIDE = [1480, 900];
const NARROW = [1120, 720];

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

class Env {
  constructor({ launch, uiUrl, fixtureUrl }) {
    Object.assign(this, { launch, uiUrl, fixtureUrl });
    this.dir = mkdtempSync(path.join(tmpdir(), 'velmora-e2e-'));
    this.dataDir = path.join(this.dir, 'data');
    mkdirSync(this.dataDir);
    this.missing = new Set();
    this.delays = new Map();
    this.consoleErrors = [];
    this.requests = new Map();
    this.pending = new Map();
    this.seq = 0;
    this.events = new Map();
    this.stderr = '';
    this.delivery = Promise.resolve();
    this.contexts = [];
  }

  async boot({ jobs = [], settings = {}, applications = [], dialogs = null, welcome = false } = {}) {
    // Journeys start past the first run, welcome and first sync, unless they are about it.
    const settled = { welcomeDone: '1', lastJobSync: new Date().toISOString() };
    seedDatabase(args.bridge, this.dataDir, { jobs, settings: welcome ? settings : { ...settled, ...settings }, applications });
    const endpoints = path.join(this.dir, 'endpoints.json');
    const names = ['himalayas', 'jobicy', 'arbeitnow', 'arbeitnowUk', 'weWorkRemotely', 'remotive', 'remoteOk', 'remoteJobs'];
    writeFileSync(endpoints, JSON.stringify(Object.fromEntries(names.map((name) => [name, this.fixtureUrl]))));
    this.bridgeArgs = ['--data-dir', this.dataDir];
    if (dialogs) {
      writeFileSync(path.join(this.dir, 'dialogs.json'), JSON.stringify(dialogs));
      this.bridgeArgs.push('--dialogs', path.join(this.dir, 'dialogs.json'));
    }
    this.bridgeEnv = { ...process.env, VELMORA_SOURCE_ENDPOINTS: endpoints };
    this.startBridge();
    this.page = await this.openPage();
    await this.load();
  }

  // A page of its own browser context; without the adapter it is the page opened on its own.
  async openPage({ adapter = true } = {}) {
    const context = await (await this.launch()).newContext({ viewport: { width: WIDE[0], height: WIDE[1] } });
    this.contexts.push(context);
    await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: this.uiUrl });
    const page = await context.newPage();
    page.on('console', (message) => message.type() === 'error' && this.consoleErrors.push(message.text()));
    page.on('pageerror', (error) => this.consoleErrors.push(String(error?.stack || error)));
    if (adapter) {
      await page.exposeBinding('__velmoraPost', (source, message) => {
        if (message?.id) this.requests.set(String(message.id), String(message.action));
        this.send(message);
      });
      await page.addInitScript(ADAPTER_SCRIPT);
    }
    return page;
  }

  // The real velmora-bridge. The AI model it would call is not running: every AI step takes
  // its offline path.
  startBridge() {
    this.proc = spawn(args.bridge, this.bridgeArgs, { stdio: ['pipe', 'pipe', 'pipe'], env: this.bridgeEnv });
    this.proc.stderr.on('data', (chunk) => (this.stderr += chunk.toString()));
    this.exited = new Promise((resolve) => this.proc.on('exit', resolve));
    readline.createInterface({ input: this.proc.stdout }).on('line', (line) => this.relay(line));
  }

  async stopBridge() {
    if (!this.proc) return;
    this.proc.stdin.end();
    const timer = setTimeout(() => this.proc.kill('SIGKILL'), 15000);
    await this.exited;
    clearTimeout(timer);
  }

  send(message) {
    this.proc.stdin.write(JSON.stringify(message) + '\n');
  }

  // How many of these events the bridge has sent so far.
  seen(eventName) {
    return this.events.get(eventName) || 0;
  }

  note(action, reply) {
    if (reply.ok || typeof reply.error !== 'string') return;
    if (reply.error.startsWith(UNKNOWN)) this.missing.add(`velmora-bridge answered "${reply.error}"`);
    else if (reply.error === NOT_WIRED) this.missing.add(`velmora-bridge answered ${action} with "${NOT_WIRED}"`);
  }

  relay(line) {
    let envelope;
    try {
      envelope = JSON.parse(line);
    } catch {
      return;
    }
    // Replies to the harness's own requests never reach the page.
    const own = this.pending.get(envelope.id);
    if (own) return own(envelope);
    if (envelope.type === 'event') this.events.set(envelope.name, this.seen(envelope.name) + 1);
    const action = envelope.type === 'response' ? this.requests.get(String(envelope.id)) : null;
    if (action) this.note(action, envelope);
    const deliver = () => this.page.evaluate(`window.__velmoraReceive(${line});`).catch(() => {});
    const delay = this.delays.get(action);
    if (delay) {
      // Held back on purpose: later replies overtake this one.
      this.delays.delete(action);
      setTimeout(() => deliver().then(delay.delivered), delay.ms);
      return;
    }
    // Delivered one after another, in the order the bridge wrote them.
    this.delivery = this.delivery.then(deliver);
  }

  // The next reply to this action reaches the page only after `ms` milliseconds. `held()`
  // waits for the bridge's answer, `delivered` settles once the page has it.
  delayNextReply(action, ms) {
    const delay = { ms };
    const delivered = new Promise((resolve) => (delay.delivered = resolve));
    this.delays.set(action, delay);
    return { held: () => this.waitFor(async () => !this.delays.has(action), `the bridge's answer to ${action}`), delivered };
  }

  // Opens the page and waits until its start-up is done, or only for the first render when
  // there is no core to finish it with.
  async load({ ready = true } = {}) {
    await this.page.goto(`${this.uiUrl}/index.html`);
    await this.page.waitForSelector('.sidebar .nav-item');
    if (ready) await this.waitFor(async () => (await this.page.getAttribute('body', 'data-ready')) === '1', 'the page to finish start-up');
  }

  checkMissing() {
    for (const fault of this.missing) throw new Error(fault);
  }

  // A request of the harness itself, answered to the harness and never shown to the page.
  async call(action, payload = {}) {
    const id = `__h${++this.seq}`;
    const reply = await new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`velmora-bridge did not answer ${action}`)), 60000);
      this.pending.set(id, (envelope) => {
        clearTimeout(timer);
        this.pending.delete(id);
        resolve(envelope);
      });
      this.send({ action, id, payload });
    });
    this.note(action, reply);
    this.checkMissing();
    if (!reply.ok) throw new Error(`${action} failed: ${reply.error}`);
    return reply.data;
  }

  async waitFor(predicate, what, timeout = 30000) {
    const end = Date.now() + timeout;
    let lastError = null;
    for (;;) {
      this.checkMissing();
      try {
        if (await predicate()) return;
        lastError = null;
      } catch (error) {
        lastError = error;
      }
      if (Date.now() > end) throw new Error(`timed out waiting for ${what}${lastError ? ` (${lastError.message})` : ''}`);
      await sleep(40);
    }
  }

  locator(selector, options) {
    return this.page.locator(selector, options);
  }

  // The list shows exactly these titles (in any order).
  async titles(expected) {
    await this.waitFor(async () => {
      const titles = await this.page.locator('article.job .job-title').allInnerTexts();
      return titles.length === expected.length && expected.every((title) => titles.includes(title));
    }, `the job list to show ${JSON.stringify(expected)}`);
  }

  async visible(selector, timeout) {
    await this.waitFor(async () => this.page.locator(selector).first().isVisible(), `${selector} to be visible`, timeout);
    return this.page.locator(selector).first();
  }

  async counted(selector, expected, timeout) {
    await this.waitFor(async () => (await this.count(selector)) === expected, `${expected} × ${selector}`, timeout);
  }

  // Types each value into the form field of that name, as a user would.
  async fill(fields) {
    for (const [field, value] of Object.entries(fields)) await this.page.locator(`[data-field="${field}"]`).fill(value);
  }

  // The current values of these form fields, in order.
  values(...selectors) {
    return Promise.all(selectors.map((selector) => this.page.locator(selector).inputValue()));
  }

  count(selector) {
    return this.page.locator(selector).count();
  }

  async text(selector) {
    return (await this.visible(selector)).innerText();
  }

  async click(selector) {
    await (await this.visible(selector)).click();
  }

  async go(screen) {
    await this.click(`.nav-item[data-screen="${screen}"]`);
    await this.visible(`.screen[data-screen="${screen}"]`);
  }

  // Serious and critical axe-core findings on the page as it is now; none are expected.
  async axe(where) {
    const problems = await axeProblems(this.page);
    if (problems.length) throw new Error(`axe on ${where}:\n${problems.join('\n')}`);
  }

  // Every screenshot is also a look for rendering slips a person would notice. `narrow` adds
  // the smallest window the layout is made for.
  async shot(name, { narrow = false } = {}) {
    const slip = (await this.page.locator('body').innerText()).match(/\b(undefined|null|NaN)\b|\[object Object\]/);
    if (slip) throw new Error(`the page shows "${slip[0]}" on ${name}`);
    for (const [width, height] of narrow ? [WIDE, NARROW] : [WIDE]) {
      await this.page.setViewportSize({ width, height });
      await this.page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
      await this.page.screenshot({ path: path.join(args.shots, `${name}-${width}x${height}.png`) });
    }
    await this.page.setViewportSize({ width: WIDE[0], height: WIDE[1] });
  }

  async close() {
    for (const context of this.contexts) await context.close().catch(() => {});
    await this.stopBridge();
    rmSync(this.dir, { recursive: true, force: true });
  }
}

let [passed, failed, skipped] = [0, 0, 0];

const report = (status, name, detail) => console.log(`${status.padEnd(4)} ${name} — ${detail}`);

async function runTest(env, file, name, test) {
  env.missing.clear();
  env.consoleErrors.length = 0;
  const started = Date.now();
  try {
    await test.run(env);
    await env.delivery;
    await sleep(50);
    env.checkMissing();
    if (env.consoleErrors.length) throw new Error(`console errors: ${env.consoleErrors.join(' | ')}`);
    passed += 1;
    report('ok', name, `${Date.now() - started} ms`);
  } catch (thrown) {
    // A missing action explains a journey that then broke better than the breakage does.
    const error = env.missing.size ? new Error([...env.missing].join('; ')) : thrown;
    if (error instanceof Skip && ACCEPTED_SKIP_REASONS.has(error.reason)) {
      skipped += 1;
      report('SKIP', name, `${error.reason}: ${error.message}`);
      return;
    }
    failed += 1;
    const accepted = [...ACCEPTED_SKIP_REASONS].join(', ');
    report('FAIL', name, error instanceof Skip ? `skipped without a reason CI accepts (${accepted}): ${error.message}` : error.stack || error.message);
    const shot = `FAILED-${file.replace(/\W+/g, '_')}-${test.name.replace(/\W+/g, '_')}.png`;
    await env.page?.screenshot({ path: path.join(args.shots, shot) }).catch(() => {});
  }
}

async function runFile(launch, servers, file) {
  const suite = (await import(pathToFileURL(path.join(here, file)).href)).default;
  const tests = suite.tests.filter((test) => !args.only || `${suite.name} ${test.name}`.includes(args.only));
  if (!tests.length) return;
  const env = new Env({ launch, uiUrl: servers.ui, fixtureUrl: servers.fixture });
  try {
    try {
      await suite.setup?.(env);
    } catch (error) {
      failed += tests.length;
      for (const test of tests) report('FAIL', `${suite.name}: ${test.name}`, `set-up failed: ${error.message}`);
      console.log(env.stderr.slice(-2000));
      return;
    }
    for (const test of tests) await runTest(env, file, `${suite.name}: ${test.name}`, test);
  } finally {
    await env.close();
  }
}

async function main() {
  const ui = await serveDirectory(path.resolve(args.ui));
  const fixture = await startJobBoardFixture();
  // Started by the first journey that needs it: the checks without a page run without one.
  let browser = null;
  const launch = () =>
    (browser ??= chromium.launch({
      executablePath: process.env.VELMORA_CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
    }));
  const files = readdirSync(here)
    .filter((name) => name.endsWith('.test.mjs') && (!args.file || name === path.basename(args.file)))
    .sort();
  if (!files.length) throw new Error(`no journey file ${args.file} in ${here}`);
  try {
    for (const file of files) await runFile(launch, { ui: ui.url, fixture: fixture.url }, file);
  } finally {
    await (await browser)?.close();
    ui.server.close();
    fixture.server.close();
  }
  console.log(`screenshots: ${args.shots}`);
  console.log(`${passed} passed, ${failed} failed, ${skipped} skipped`);
  process.exit(failed > 0 || passed === 0 ? 1 : 0);
}

main().catch((error) => {
  console.error(error);
  console.log(`${passed} passed, ${failed + 1} failed, ${skipped} skipped`);
  process.exit(1);
});
