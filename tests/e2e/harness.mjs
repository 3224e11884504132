// Harness for the interface tests: a real velmora-bridge process per test file, Debian's
// Chromium through playwright-core, the page served from a loopback HTTP server, and the
// page adapter script relaying postMessage to the bridge's stdin and stdout back into the page.
import { execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import { readFileSync, existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

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

// The adapter the desktop shell injects into the page, read from the shell's source, with
// WebKit's message handler played by a Playwright binding.
const shellAdapter = readFileSync(new URL('../../src/shell/gtk/PageAdapterScript.h', import.meta.url), 'utf8').match(/R"JS\(([\s\S]*?)\)JS"/)[1];
export const ADAPTER_SCRIPT = `window.webkit = { messageHandlers: { velmora: { postMessage: (msg) => window.__velmoraPost(msg) } } };\n${shellAdapter}`;

const MIME = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.svg': 'image/svg+xml', '.png': 'image/png', '.json': 'application/json' };

function listen(handler) {
  const server = createServer(handler);
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({ server, url: `http://127.0.0.1:${server.address().port}` })));
}

export function serveDirectory(root) {
  return listen((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://127.0.0.1').pathname);
    const file = path.resolve(root, '.' + (rel === '/' ? '/index.html' : rel));
    if (!file.startsWith(path.resolve(root) + path.sep) || !existsSync(file)) {
      res.writeHead(404).end('not found');
      return;
    }
    const type = MIME[path.extname(file)] || 'application/octet-stream';
    res.writeHead(200, { 'content-type': `${type}; charset=utf-8`, 'cache-control': 'no-store' }).end(readFileSync(file));
  });
}

// Job-board stand-in: Remotive answers with three fresh listings, every other endpoint with
// an HTTP 500, so a sync shows both per-source outcomes.
export function startJobBoardFixture() {
  const day = (n) => new Date(Date.now() - n * 86400000).toISOString().slice(0, 19);
  const job = (id, title, company, category, location, n) => ({
    id, url: `https://remotive.com/remote-jobs/fixture-${id}`, title, company_name: company, category, tags: [], job_type: '',
    publication_date: day(n), candidate_required_location: location, salary: '', description: `<p>${title}: <b>remote</b> work.</p>`,
  });
  const listings = {
    'job-count': 3,
    jobs: [
      job(9001, 'Fixture Backend Engineer', 'Lumen &amp; Tide', 'Software Development', 'Worldwide', 1),
      job(9002, 'Fixture Product Designer', 'Harbor Nine', 'Design', 'Europe', 2),
      job(9003, 'Fixture Support Specialist', 'Quiet Owl', 'Customer Service', 'USA', 3),
    ],
  };
  return listen((req, res) => {
    if (req.url.startsWith('/api/remote-jobs')) res.writeHead(200, { 'content-type': 'application/json' }).end(JSON.stringify(listings));
    else res.writeHead(500).end('fixture failure');
  });
}

function sqlText(value) {
  if (value === null || value === undefined) return 'NULL';
  if (typeof value === 'number') return String(Math.trunc(value));
  return `'${String(value).replace(/'/g, "''")}'`;
}

const insert = (table, columns, values) => `INSERT INTO ${table}(${columns}) VALUES(${values.map(sqlText).join(',')});`;

// One start of the bridge with closed input creates the database and its schema; the rows
// are then written the way a user's earlier sessions would have left them.
export function seedDatabase(bridge, dataDir, { jobs = [], settings = {}, applications = [] } = {}) {
  execFileSync(bridge, ['--data-dir', dataDir], { input: '', stdio: ['pipe', 'ignore', 'pipe'], timeout: 60000 });
  const now = new Date().toISOString();
  const expires = new Date(Date.now() + 90 * 86400000).toISOString();
  const statements = ['BEGIN;'];
  for (const job of jobs) {
    const added = job.addedAt || now;
    statements.push(
      insert('jobs', 'external_id,source,title,company,category,location,description,url,published_at,added_at,last_seen_at,expires_at,security_score,security_label,tags', [
        job.url, job.source || 'Remotive', job.title, job.company || '', job.category || 'Other Remote Jobs', job.location || 'Worldwide', job.description || '',
        job.url, job.publishedAt || null, added, added, expires, job.securityScore ?? 85, job.securityLabel || 'Quorvane Checked', job.tags || '',
      ]),
    );
  }
  for (const app of applications) {
    statements.push(
      insert('applications', 'job_id,title,company,url,first_opened_at,last_opened_at,status,notes', [
        null, app.title, app.company || '', app.url, app.firstOpenedAt, app.lastOpenedAt, app.status || 'Opened', app.notes || '',
      ]),
    );
  }
  for (const [key, value] of Object.entries(settings)) {
    statements.push(`INSERT INTO settings(key,value) VALUES(${sqlText(key)},${sqlText(value)}) ON CONFLICT(key) DO UPDATE SET value=excluded.value;`);
  }
  statements.push('COMMIT;');
  execFileSync('sqlite3', [path.join(dataDir, 'velmora.db')], { input: statements.join('\n') });
}

let axeSource = null;

// Serious and critical findings of axe-core on the page as it is now, as readable lines.
export async function axeProblems(page) {
  if (!(await page.evaluate(() => typeof window.axe === 'object'))) {
    if (axeSource === null) {
      try {
        axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
      } catch {
        throw new Skip('axe-core is not installed (npm install)');
      }
    }
    await page.evaluate(`${axeSource};0`);
  }
  return page.evaluate(async () => {
    const result = await window.axe.run(document, { resultTypes: ['violations'] });
    return result.violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id} (${v.impact}): ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`);
  });
}
