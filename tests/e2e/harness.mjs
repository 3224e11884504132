// Harness for the page's tests under node:test. A journey file gets a real velmora-bridge
// with a fresh data folder, Debian's Chromium through playwright-core, the page served from a
// loopback HTTP server, and the shell's page adapter relaying postMessage to the bridge's
// stdin and its stdout back into the page. Steps of a file run in order and share all of it,
// like one user session:
//   node --test-reporter=tap --test-reporter=tests/e2e/skips.mjs [--test-name-pattern <text>]
//     tests/e2e/<name>.test.mjs --bridge <velmora-bridge> [--ui <ui dir>] [--shots <dir>]
import { chromium } from 'playwright-core';
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { createServer } from 'node:http';
import { readFileSync, existsSync, mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

export const arg = (name, fallback) => (process.argv.includes(`--${name}`) ? process.argv[process.argv.indexOf(`--${name}`) + 1] : fallback);
const BRIDGE = arg('bridge', '');
const UI = path.resolve(arg('ui', new URL('../../ui', import.meta.url).pathname));
const SHOTS = path.resolve(arg('shots', 'e2e-screenshots'));

// Answers that mean the build under test lacks what the page asked for: an action the core
// does not know, or one whose window controller velmora-bridge has not connected. Either
// fails the step, whoever asked.
const UNKNOWN = 'Unknown Velmora action: ';
const NOT_WIRED = 'The Velmora window is not available.';
const WIDE = [1480, 900];
const NARROW = [1120, 720];

// The adapter the desktop shell injects into the page, read from the shell's source, with
// WebKit's message handler played by a Playwright binding.
const shellAdapter = readFileSync(new URL('../../src/shell/gtk/PageAdapterScript.h', import.meta.url), 'utf8').match(/R"JS\(([\s\S]*?)\)JS"/)[1];
const ADAPTER_SCRIPT = `window.webkit = { messageHandlers: { velmora: { postMessage: (msg) => window.__velmoraPost(msg) } } };\n${shellAdapter}`;

const MIME = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.svg': 'image/svg+xml', '.png': 'image/png', '.json': 'application/json' };
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function listen(handler) {
  const server = createServer(handler);
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({ server, url: `http://127.0.0.1:${server.address().port}` })));
}

export function serveDirectory(root) {
  return listen((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://127.0.0.1').pathname);
    // Chromium asks for it by itself; a 404 would read as the page's own console error.
    if (rel === '/favicon.ico') return res.writeHead(204).end();
    const file = path.resolve(root, '.' + (rel === '/' ? '/index.html' : rel));
    if (!file.startsWith(path.resolve(root) + path.sep) || !existsSync(file)) return res.writeHead(404).end('not found');
    res.writeHead(200, { 'content-type': `${MIME[path.extname(file)]}; charset=utf-8`, 'cache-control': 'no-store' }).end(readFileSync(file));
  });
}

// Job-board stand-in: Remotive answers with three fresh listings, every other endpoint with
// an HTTP 500, so a sync shows both per-source outcomes.
function startJobBoardFixture() {
  const day = (n) => new Date(Date.now() - n * 86400000).toISOString().slice(0, 19);
  const job = (id, title, company, category, location, n) => ({
    id, url: `https://remotive.com/remote-jobs/fixture-${id}`, title, company_name: company, category, tags: [], job_type: '',
    publication_date: day(n), candidate_required_location: location, salary: '', description: `<p>${title}: <b>remote</b> work.</p>`,
  });
  const jobs = [
    job(9001, 'Fixture Backend Engineer', 'Lumen &amp; Tide', 'Software Development', 'Worldwide', 1),
    job(9002, 'Fixture Product Designer', 'Harbor Nine', 'Design', 'Europe', 2),
    job(9003, 'Fixture Support Specialist', 'Quiet Owl', 'Customer Service', 'USA', 3),
  ];
  return listen((req, res) => {
    if (req.url.startsWith('/api/remote-jobs')) res.writeHead(200, { 'content-type': 'application/json' }).end(JSON.stringify({ 'job-count': 3, jobs }));
    else res.writeHead(500).end('fixture failure');
  });
}

const sqlText = (value) => (value == null ? 'NULL' : typeof value === 'number' ? String(Math.trunc(value)) : `'${String(value).replace(/'/g, "''")}'`);

const insert = (table, columns, values) => `INSERT INTO ${table}(${columns}) VALUES(${values.map(sqlText).join(',')});`;

// One start of the bridge with closed input creates the database and its schema; the rows
// are then written the way a user's earlier sessions would have left them.
function seedDatabase(dataDir, { jobs, settings, applications }) {
  execFileSync(BRIDGE, ['--data-dir', dataDir], { input: '', stdio: ['pipe', 'ignore', 'pipe'], timeout: 60000 });
  const now = new Date().toISOString();
  const expires = new Date(Date.now() + 90 * 86400000).toISOString();
  const statements = ['BEGIN;'];
  for (const job of jobs) {
    statements.push(insert('jobs', 'external_id,source,title,company,category,location,description,url,published_at,added_at,last_seen_at,expires_at,security_score,security_label,tags', [
      job.url, job.source || 'Remotive', job.title, job.company || '', job.category || 'Other Remote Jobs', job.location || 'Worldwide', job.description || '',
      job.url, job.publishedAt || null, now, now, expires, job.securityScore ?? 85, job.securityLabel || 'Quorvane Checked', job.tags || '',
    ]));
  }
  for (const app of applications) {
    statements.push(insert('applications', 'title,company,url,first_opened_at,last_opened_at,status,notes', [app.title, app.company || '', app.url, app.firstOpenedAt, app.lastOpenedAt, app.status || 'Opened', app.notes || '']));
  }
  for (const [key, value] of Object.entries(settings)) statements.push(`${insert('settings', 'key,value', [key, value]).slice(0, -1)} ON CONFLICT(key) DO UPDATE SET value=excluded.value;`);
  statements.push('COMMIT;');
  execFileSync('sqlite3', [path.join(dataDir, 'velmora.db')], { input: statements.join('\n') });
}

let axeSource = null;

class Env {
  constructor() {
    this.dir = mkdtempSync(path.join(tmpdir(), 'velmora-e2e-'));
    this.dataDir = path.join(this.dir, 'data');
    mkdirSync(this.dataDir);
    Object.assign(this, { missing: new Set(), delays: new Map(), requests: new Map(), pending: new Map(), events: new Map() });
    Object.assign(this, { consoleErrors: [], contexts: [], seq: 0, stderr: '', delivery: Promise.resolve() });
  }

  // A step of the file: besides its own checks it fails on a missing action or a console error.
  step(name, fn) {
    test(name, async () => {
      this.missing.clear();
      this.consoleErrors.length = 0;
      try {
        await fn();
        await this.delivery;
        await sleep(50);
        this.checkMissing();
        assert.deepEqual(this.consoleErrors, [], 'console errors');
      } catch (thrown) {
        // A missing action explains a journey that then broke better than the breakage does.
        const error = this.missing.size ? new Error([...this.missing].join('; ')) : thrown;
        const shot = `FAILED-${path.basename(process.argv[1], '.test.mjs')}-${name.replace(/\W+/g, '_')}.png`;
        await this.page?.screenshot({ path: path.join(SHOTS, shot) }).catch(() => {});
        throw error;
      }
    });
  }

  async boot({ jobs = [], applications = [], dialogs = {}, welcome = false } = {}) {
    if (!BRIDGE) throw new Error('--bridge <velmora-bridge> is required');
    [this.ui, this.fixture] = await Promise.all([serveDirectory(UI), startJobBoardFixture()]);
    // Journeys start past the first run, welcome and first sync, unless they are about it.
    const settled = { welcomeDone: '1', lastJobSync: new Date().toISOString() };
    seedDatabase(this.dataDir, { jobs, settings: welcome ? {} : settled, applications });
    const endpoints = path.join(this.dir, 'endpoints.json');
    const names = ['himalayas', 'jobicy', 'arbeitnow', 'arbeitnowUk', 'weWorkRemotely', 'remotive', 'remoteOk', 'remoteJobs'];
    writeFileSync(endpoints, JSON.stringify(Object.fromEntries(names.map((name) => [name, this.fixture.url]))));
    writeFileSync(path.join(this.dir, 'dialogs.json'), JSON.stringify(dialogs));
    this.bridgeArgs = ['--data-dir', this.dataDir, '--dialogs', path.join(this.dir, 'dialogs.json')];
    this.bridgeEnv = { ...process.env, VELMORA_SOURCE_ENDPOINTS: endpoints };
    this.startBridge();
    this.page = await this.openPage();
    await this.load();
  }

  // A page of its own browser context; without the adapter it is the page opened on its own.
  async openPage({ adapter = true } = {}) {
    this.browser ??= chromium.launch({
      executablePath: process.env.VELMORA_CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
    });
    const context = await (await this.browser).newContext({ viewport: { width: WIDE[0], height: WIDE[1] } });
    this.contexts.push(context);
    if (this.ui) await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: this.ui.url });
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
    this.proc = spawn(BRIDGE, this.bridgeArgs, { stdio: ['pipe', 'pipe', 'pipe'], env: this.bridgeEnv });
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
    if (own && this.pending.delete(envelope.id)) return own(envelope);
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
    await this.page.goto(`${this.ui.url}/index.html`);
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
      this.pending.set(id, resolve);
      setTimeout(() => reject(new Error(`velmora-bridge did not answer ${action}`)), 60000).unref();
      this.send({ action, id, payload });
    });
    this.note(action, reply);
    this.checkMissing();
    if (!reply.ok) throw new Error(`${action} failed: ${reply.error}`);
    return reply.data;
  }

  // The last error of the predicate, if it threw, says why the wait timed out.
  async waitFor(predicate, what, timeout = 30000) {
    for (const end = Date.now() + timeout; ; await sleep(40)) {
      this.checkMissing();
      const error = await predicate().then((done) => (done ? null : undefined), (thrown) => thrown);
      if (error === null) return;
      if (Date.now() > end) throw new Error(`timed out waiting for ${what}${error ? ` (${error.message})` : ''}`);
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
    await this.waitFor(async () => (await this.page.locator(selector).count()) === expected, `${expected} × ${selector}`, timeout);
  }

  // Types each value into the form field of that name, as a user would.
  async fill(fields) {
    for (const [field, value] of Object.entries(fields)) await this.page.locator(`[data-field="${field}"]`).fill(value);
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
    if (!(await this.page.evaluate(() => typeof window.axe === 'object'))) {
      axeSource ??= readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
      await this.page.evaluate(`${axeSource};0`);
    }
    const problems = await this.page.evaluate(async () => {
      const result = await window.axe.run(document, { resultTypes: ['violations'] });
      return result.violations
        .filter((v) => v.impact === 'serious' || v.impact === 'critical')
        .map((v) => `${v.id} (${v.impact}): ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`);
    });
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
      await this.page.screenshot({ path: path.join(SHOTS, `${name}-${width}x${height}.png`) });
    }
    await this.page.setViewportSize({ width: WIDE[0], height: WIDE[1] });
  }

  async close() {
    for (const context of this.contexts) await context.close().catch(() => {});
    await (await this.browser)?.close();
    await this.stopBridge();
    for (const server of [this.ui, this.fixture, this.forms]) server?.server.close();
    rmSync(this.dir, { recursive: true, force: true });
  }
}

// The environment of one test file: set up before its first step, closed after its last.
export function journey(setup = async () => {}) {
  const env = new Env();
  before(async () => {
    mkdirSync(SHOTS, { recursive: true });
    try {
      await setup(env);
    } catch (error) {
      console.log(env.stderr.slice(-2000));
      throw error;
    }
  });
  after(() => env.close());
  return env;
}
