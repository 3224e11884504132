#!/usr/bin/env node
// Interface end-to-end tests: node tests/e2e/run.mjs --bridge <velmora-bridge> --ui <ui dir>
//   [--file <name>.test.mjs] [--only <text>] [--shots <dir>]
// Each test file gets its own velmora-bridge with a fresh data folder and its own browser
// context; tests inside a file run in order and share them, like one user session.
import { chromium } from 'playwright-core';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { readdirSync } from 'node:fs';
import {
  ADAPTER_SCRIPT,
  Bridge,
  Skip,
  ACCEPTED_SKIP_REASONS,
  serveDirectory,
  startJobBoardFixture,
  seedDatabase,
  makeTempDir,
  writeFileSync,
  mkdirSync,
  rmSync,
} from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));

function parseArgs(argv) {
  const args = { bridge: '', ui: path.resolve(here, '../../ui'), file: '', only: '', shots: path.resolve(process.cwd(), 'e2e-screenshots') };
  for (let i = 0; i < argv.length; i++) {
    const key = argv[i].replace(/^--/, '');
    if (key in args && i + 1 < argv.length) args[key] = argv[++i];
  }
  return args;
}

const args = parseArgs(process.argv.slice(2));
if (!args.bridge) {
  console.error('usage: node tests/e2e/run.mjs --bridge <velmora-bridge> --ui <ui dir> [--only <text>] [--shots <dir>]');
  process.exit(2);
}
mkdirSync(args.shots, { recursive: true });

// Read-only actions that the harness may call to learn whether the core has them yet.
const SAFE_PROBES = new Set(['getSettings', 'getDashboard', 'getCategories', 'getApplications', 'getApplicationProfile', 'listResumeStudio', 'getInitialState']);
const UNKNOWN = 'Unknown Velmora action: ';
// Answers of a core whose window controller is not connected in velmora-bridge: the action
// exists but cannot run headless. Like an unknown action, it fails the journey that needs it.
const NOT_WIRED = ['The Velmora window is not available.'];
const SIZES = [
  [1120, 720],
  [1480, 900],
];

let passed = 0;
let failed = 0;
let skipped = 0;

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

class Env {
  constructor({ browser, uiUrl, fixtureUrl, file }) {
    this.browser = browser;
    this.uiUrl = uiUrl;
    this.fixtureUrl = fixtureUrl;
    this.file = file;
    this.dir = makeTempDir('velmora-e2e-');
    this.dataDir = path.join(this.dir, 'data');
    mkdirSync(this.dataDir);
    this.unknown = new Set();
    this.unwired = new Map();
    this.delays = new Map();
    this.consoleErrors = [];
    this.requests = new Map();
    this.needs = [];
    this.delivery = Promise.resolve();
  }

  async boot({ jobs = [], settings = {}, applications = [], dialogs = null, adapter = true, welcome = false } = {}) {
    Bridge.initialize(args.bridge, this.dataDir);
    // Journeys start past the first-run welcome unless they are about it.
    seedDatabase(this.dataDir, { jobs, settings: welcome ? settings : { welcomeDone: '1', ...settings }, applications });
    const endpoints = path.join(this.dir, 'endpoints.json');
    const base = this.fixtureUrl;
    writeFileSync(
      endpoints,
      JSON.stringify({ himalayas: base, jobicy: base, arbeitnow: base, arbeitnowUk: base, weWorkRemotely: base, remotive: base, remoteOk: base, remoteJobs: base }),
    );
    let dialogsFile = null;
    if (dialogs) {
      dialogsFile = path.join(this.dir, 'dialogs.json');
      writeFileSync(dialogsFile, JSON.stringify(dialogs));
    }
    // The AI model is pointed at a closed loopback port: every AI step takes its offline path.
    this.bridge = new Bridge(args.bridge, this.dataDir, { dialogs: dialogsFile, env: { VELMORA_SOURCE_ENDPOINTS: endpoints } });
    this.bridge.start();
    this.context = await this.browser.newContext({ viewport: { width: SIZES[1][0], height: SIZES[1][1] } });
    await this.context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: this.uiUrl });
    this.page = await this.context.newPage();
    this.page.on('console', (message) => {
      if (message.type() === 'error') this.consoleErrors.push(message.text());
    });
    this.page.on('pageerror', (error) => this.consoleErrors.push(String(error && error.stack ? error.stack : error)));
    if (adapter) {
      await this.page.exposeBinding('__velmoraPost', (source, message) => {
        if (message && typeof message === 'object' && message.id) this.requests.set(String(message.id), String(message.action));
        this.bridge.send(message);
      });
      await this.page.addInitScript(ADAPTER_SCRIPT);
      this.bridge.onLine = (line, envelope) => {
        if (envelope.type === 'response' && !envelope.ok && typeof envelope.error === 'string') {
          if (envelope.error.startsWith(UNKNOWN)) this.unknown.add(envelope.error.slice(UNKNOWN.length));
          else if (NOT_WIRED.includes(envelope.error)) this.unwired.set(this.requests.get(String(envelope.id)), envelope.error);
        }
        const deliver = () => this.page.evaluate(`window.__velmoraReceive(${line});`).catch(() => {});
        const action = envelope.type === 'response' ? this.requests.get(String(envelope.id)) : null;
        if (action && this.delays.has(action)) {
          // Held back on purpose: later replies overtake this one.
          const ms = this.delays.get(action);
          this.delays.delete(action);
          setTimeout(deliver, ms);
          return;
        }
        // Delivered one after another, in the order the bridge wrote them.
        this.delivery = this.delivery.then(deliver);
      };
    }
    await this.load();
  }

  async load() {
    await this.page.goto(`${this.uiUrl}/index.html`);
    await this.page.waitForSelector('.sidebar .nav-item');
  }

  async ready() {
    await this.waitFor(async () => (await this.page.getAttribute('body', 'data-ready')) === '1', 'the page to finish start-up');
  }

  // A missing action is a fault of the build under test, whether the journey or the page asked for it.
  checkUnknown() {
    for (const action of this.unknown) throw new Error(`velmora-bridge answered "${UNKNOWN}${action}"`);
    for (const action of this.needs) {
      if (this.unwired.has(action)) throw new Error(`velmora-bridge answered ${action} with "${this.unwired.get(action)}"`);
    }
  }

  async require(...actions) {
    this.needs.push(...actions);
    for (const action of actions) {
      if (!SAFE_PROBES.has(action)) continue;
      const reply = await this.bridge.call(action);
      if (!reply.ok && String(reply.error).startsWith(UNKNOWN)) this.unknown.add(action);
    }
    this.checkUnknown();
  }

  async call(action, payload) {
    const reply = await this.bridge.call(action, payload);
    if (!reply.ok && String(reply.error).startsWith(UNKNOWN)) {
      this.unknown.add(action);
      this.checkUnknown();
    }
    if (!reply.ok) throw new Error(`${action} failed: ${reply.error}`);
    return reply.data;
  }

  async waitFor(predicate, what, timeout = 20000) {
    const end = Date.now() + timeout;
    let lastError = null;
    for (;;) {
      this.checkUnknown();
      try {
        if (await predicate()) return;
        lastError = null;
      } catch (error) {
        lastError = error;
      }
      if (Date.now() > end) throw new Error(`timed out waiting for ${what}${lastError ? ` (${lastError.message})` : ''}`);
      await sleep(100);
    }
  }

  // The next reply to this action reaches the page only after `ms` milliseconds.
  delayNextReply(action, ms) {
    this.delays.set(action, ms);
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

  async count(selector) {
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

  async shot(name) {
    // Every screenshot is also a look for rendering slips a person would notice.
    const text = await this.page.locator('body').innerText();
    const slip = text.match(/\b(undefined|null|NaN)\b|\[object Object\]/);
    if (slip) throw new Error(`the page shows "${slip[0]}" on ${name}`);
    const original = this.page.viewportSize();
    for (const [width, height] of SIZES) {
      await this.page.setViewportSize({ width, height });
      await sleep(150);
      await this.page.screenshot({ path: path.join(args.shots, `${name}-${width}x${height}.png`) });
    }
    await this.page.setViewportSize(original);
  }

  async close() {
    try {
      await this.context?.close();
    } catch {
      /* already gone */
    }
    await this.bridge?.stop();
    rmSync(this.dir, { recursive: true, force: true });
  }
}

function report(status, name, detail) {
  const line = `${status.padEnd(4)} ${name}${detail ? ` — ${detail}` : ''}`;
  console.log(line);
}

async function runFile(browser, servers, file) {
  const module = await import(pathToFileURL(path.join(here, file)).href);
  const suite = module.default;
  const tests = suite.tests.filter((test) => !args.only || `${suite.name} ${test.name}`.includes(args.only));
  if (!tests.length) return;
  const env = new Env({ browser, uiUrl: servers.ui, fixtureUrl: servers.fixture, file });
  try {
    try {
      await suite.setup(env);
    } catch (error) {
      for (const test of tests) {
        failed += 1;
        report('FAIL', `${suite.name}: ${test.name}`, `set-up failed: ${error.message}`);
      }
      if (env.bridge?.stderr) console.log(env.bridge.stderr.slice(-2000));
      return;
    }
    for (const test of tests) {
      const name = `${suite.name}: ${test.name}`;
      env.needs = [];
      env.unknown.clear();
      env.consoleErrors.length = 0;
      try {
        await test.run(env);
        await env.delivery;
        await sleep(100);
        env.checkUnknown();
        if (env.consoleErrors.length) throw new Error(`console errors: ${env.consoleErrors.join(' | ')}`);
        passed += 1;
        report('ok', name);
      } catch (thrown) {
        let error = thrown;
        // An unknown action explains a journey that then broke better than the breakage does.
        try {
          env.checkUnknown();
        } catch (unknown) {
          error = unknown;
        }
        if (error instanceof Skip && ACCEPTED_SKIP_REASONS.has(error.reason)) {
          skipped += 1;
          report('SKIP', name, `${error.reason}: ${error.message}`);
        } else {
          failed += 1;
          const detail = error instanceof Skip ? `skipped without a reason CI accepts (${[...ACCEPTED_SKIP_REASONS].join(', ')}): ${error.message}` : error.stack || error.message;
          report('FAIL', name, detail);
          try {
            await env.page.screenshot({ path: path.join(args.shots, `FAILED-${file.replace(/\W+/g, '_')}-${test.name.replace(/\W+/g, '_')}.png`) });
          } catch {
            /* the page may be gone */
          }
        }
      }
    }
  } finally {
    await env.close();
  }
}

async function main() {
  const ui = await serveDirectory(path.resolve(args.ui));
  const fixture = await startJobBoardFixture();
  const browser = await chromium.launch({
    executablePath: process.env.VELMORA_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
  });
  const files = readdirSync(here)
    .filter((name) => name.endsWith('.test.mjs') && (!args.file || name === path.basename(args.file)))
    .sort();
  if (!files.length) throw new Error(`no journey file ${args.file} in ${here}`);
  try {
    for (const file of files) await runFile(browser, { ui: ui.url, fixture: fixture.url }, file);
  } finally {
    await browser.close();
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
