// Harness for the interface tests: a real velmora-bridge process per test file, Debian's
// Chromium through playwright-core, the page served from a loopback HTTP server, and the
// page adapter script relaying postMessage to the bridge's stdin and stdout back into the page.
import { spawn, execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdtempSync, writeFileSync, readFileSync, existsSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

// A journey that cannot run here. It counts as a failure unless `reason` is one that CI
// accepts (ACCEPTED_SKIP_REASONS); the message says what is missing.
export class Skip extends Error {
  constructor(message, reason = '') {
    super(message);
    this.reason = reason;
  }
}

// The only reason CI lets a journey pass by: the machine lacks a browser or system feature
// (named in the message) that the journey needs. A missing bridge action is never one.
export const ACCEPTED_SKIP_REASONS = new Set(['platform']);

// The adapter the core injects into the interface page, with the native message handler
// replaced by a Playwright binding.
export const ADAPTER_SCRIPT = `(function () {
  window.__velmoraWebViewListeners = [];
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    addEventListener: function (name, cb) {
      if (name === 'message' && typeof cb === 'function') window.__velmoraWebViewListeners.push(cb);
    },
    postMessage: function (msg) { window.__velmoraPost(msg); }
  };
  window.__velmoraReceive = function (msg) {
    var listeners = window.__velmoraWebViewListeners.slice();
    for (var i = 0; i < listeners.length; i++) {
      try { listeners[i]({ data: msg }); } catch (e) { console.error(e); }
    }
  };
})();`;

const MIME = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.json': 'application/json',
};

export function serveDirectory(root) {
  const server = createServer((req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    let rel = decodeURIComponent(url.pathname);
    if (rel === '/') rel = '/index.html';
    const file = path.resolve(root, '.' + rel);
    if (!file.startsWith(path.resolve(root) + path.sep) || !existsSync(file)) {
      res.writeHead(404, { 'content-type': 'text/plain' });
      res.end('not found');
      return;
    }
    res.writeHead(200, { 'content-type': MIME[path.extname(file)] || 'application/octet-stream', 'cache-control': 'no-store' });
    res.end(readFileSync(file));
  });
  return listen(server);
}

export function listen(server) {
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({ server, url: `http://127.0.0.1:${server.address().port}` }));
  });
}

// Job-board stand-in: Remotive answers with three fresh listings, every other endpoint with
// an HTTP 500, so a sync shows both per-source outcomes.
export function remotiveListings(now = new Date()) {
  const day = (n) => new Date(now.getTime() - n * 86400000).toISOString().slice(0, 19);
  return {
    '0-legal-notice': 'fixture',
    'job-count': 3,
    jobs: [
      { id: 9001, url: 'https://remotive.com/remote-jobs/software-dev/fixture-backend-9001', title: 'Fixture Backend Engineer', company_name: 'Lumen &amp; Tide', category: 'Software Development', tags: ['go'], job_type: 'full_time', publication_date: day(1), candidate_required_location: 'Worldwide', salary: '', description: '<p>Build <b>APIs</b>.</p>' },
      { id: 9002, url: 'https://remotive.com/remote-jobs/design/fixture-designer-9002', title: 'Fixture Product Designer', company_name: 'Harbor Nine', category: 'Design', tags: [], job_type: 'contract', publication_date: day(2), candidate_required_location: 'Europe', salary: '', description: '<p>Design things.</p>' },
      { id: 9003, url: 'https://remotive.com/remote-jobs/support/fixture-support-9003', title: 'Fixture Support Specialist', company_name: 'Quiet Owl', category: 'Customer Service', tags: [], job_type: '', publication_date: day(3), candidate_required_location: 'USA', salary: '', description: 'Help customers.' },
    ],
  };
}

export async function startJobBoardFixture() {
  const server = createServer((req, res) => {
    if (req.url.startsWith('/api/remote-jobs')) {
      res.writeHead(200, { 'content-type': 'application/json' });
      res.end(JSON.stringify(remotiveListings()));
      return;
    }
    res.writeHead(500, { 'content-type': 'text/plain' });
    res.end('fixture failure');
  });
  return listen(server);
}

function sqlText(value) {
  if (value === null || value === undefined) return 'NULL';
  if (typeof value === 'number') return String(Math.trunc(value));
  return `'${String(value).replace(/'/g, "''")}'`;
}

export function iso(date) {
  return date.toISOString();
}

export class Bridge {
  constructor(bin, dataDir, { dialogs, env } = {}) {
    this.bin = bin;
    this.dataDir = dataDir;
    this.dialogs = dialogs;
    this.env = env || {};
    this.lines = [];
    this.onLine = null;
    this.harnessPending = new Map();
    this.harnessSeq = 0;
    this.events = [];
    this.stderr = '';
  }

  start() {
    const args = ['--data-dir', this.dataDir];
    if (this.dialogs) args.push('--dialogs', this.dialogs);
    this.proc = spawn(this.bin, args, { stdio: ['pipe', 'pipe', 'pipe'], env: { ...process.env, ...this.env } });
    this.proc.stderr.on('data', (chunk) => {
      this.stderr += chunk.toString();
    });
    this.exited = new Promise((resolve) => this.proc.on('exit', (code, signal) => resolve({ code, signal })));
    readline.createInterface({ input: this.proc.stdout }).on('line', (line) => this.handleLine(line));
  }

  handleLine(line) {
    let envelope = null;
    try {
      envelope = JSON.parse(line);
    } catch {
      return;
    }
    if (envelope.type === 'response' && typeof envelope.id === 'string' && envelope.id.startsWith('__h')) {
      const resolve = this.harnessPending.get(envelope.id);
      this.harnessPending.delete(envelope.id);
      if (resolve) resolve(envelope);
      return;
    }
    if (envelope.type === 'event') this.events.push(envelope);
    if (this.onLine) this.onLine(line, envelope);
  }

  send(message) {
    this.proc.stdin.write(JSON.stringify(message) + '\n');
  }

  // A request of the harness itself, answered to the harness and never shown to the page.
  call(action, payload = {}) {
    const id = `__h${++this.harnessSeq}`;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`velmora-bridge did not answer ${action}`)), 60000);
      this.harnessPending.set(id, (envelope) => {
        clearTimeout(timer);
        resolve(envelope);
      });
      this.send({ action, id, payload });
    });
  }

  async stop() {
    if (!this.proc) return;
    this.proc.stdin.end();
    const timer = setTimeout(() => this.proc.kill('SIGKILL'), 15000);
    await this.exited;
    clearTimeout(timer);
  }

  // One start with closed input creates the database and its schema, then exits.
  static initialize(bin, dataDir) {
    execFileSync(bin, ['--data-dir', dataDir], { input: '', stdio: ['pipe', 'ignore', 'pipe'], timeout: 60000 });
  }
}

export function seedDatabase(dataDir, { jobs = [], settings = {}, applications = [] } = {}) {
  const now = new Date();
  const expires = iso(new Date(now.getTime() + 90 * 86400000));
  const statements = ['BEGIN;'];
  for (const job of jobs) {
    const added = job.addedAt || iso(now);
    statements.push(
      'INSERT INTO jobs(external_id,source,title,company,category,location,description,url,published_at,added_at,last_seen_at,expires_at,security_score,security_label,tags) VALUES(' +
        [job.externalId || job.url, job.source || 'Remotive', job.title, job.company || '', job.category || 'Other Remote Jobs', job.location || 'Worldwide', job.description || '', job.url, job.publishedAt || null, added, added, job.expiresAt || expires, job.securityScore ?? 85, job.securityLabel || 'Quorvane Checked', job.tags || '']
          .map(sqlText)
          .join(',') +
        ');',
    );
  }
  for (const app of applications) {
    statements.push(
      'INSERT INTO applications(job_id,title,company,url,first_opened_at,last_opened_at,status,notes) VALUES(' +
        [app.jobId ?? null, app.title, app.company || '', app.url, app.firstOpenedAt, app.lastOpenedAt, app.status || 'Opened', app.notes || ''].map(sqlText).join(',') +
        ');',
    );
  }
  for (const [key, value] of Object.entries(settings)) {
    statements.push(`INSERT INTO settings(key,value) VALUES(${sqlText(key)},${sqlText(value)}) ON CONFLICT(key) DO UPDATE SET value=excluded.value;`);
  }
  statements.push('COMMIT;');
  execFileSync('sqlite3', [path.join(dataDir, 'velmora.db')], { input: statements.join('\n') });
}

export function makeTempDir(prefix) {
  return mkdtempSync(path.join(tmpdir(), prefix));
}

export { writeFileSync, readFileSync, existsSync, mkdirSync, rmSync };
