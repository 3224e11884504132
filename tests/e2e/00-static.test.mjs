// Checks that need no browser: translations complete in six languages, and the page's
// sources free of markup injection and inline code.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const ui = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../ui');

function placeholders(text) {
  return [...String(text).matchAll(/\{(\w+)\}/g)].map((m) => m[1]).sort();
}

const sources = (dir) => readdirSync(dir, { recursive: true }).map((name) => path.join(dir, name));

test('every interface text exists in en, es, fr, de, it and pt with the same placeholders; every key the scripts use is defined', async () => {
  const load = async (code) => (await import(pathToFileURL(path.join(ui, 'i18n', `${code}.js`)).href)).default;
  const en = await load('en');
  const problems = [];
  for (const code of ['es', 'fr', 'de', 'it', 'pt']) {
    const dict = await load(code);
    for (const key of Object.keys(en)) {
      if (!(key in dict)) problems.push(`${code}: missing ${key}`);
      else if (!String(dict[key]).trim()) problems.push(`${code}: empty ${key}`);
      else if (placeholders(dict[key]).join() !== placeholders(en[key]).join()) problems.push(`${code}: placeholders of ${key}`);
    }
    for (const key of Object.keys(dict)) if (!(key in en)) problems.push(`${code}: unknown key ${key}`);
    const same = Object.keys(en).filter((key) => dict[key] === en[key] && /[a-z]{4,}\s[a-z]{4,}/i.test(en[key]));
    if (same.length > 3) problems.push(`${code}: ${same.length} sentences left in English, e.g. ${same.slice(0, 3).join(', ')}`);
  }
  for (const file of sources(path.join(ui, 'js')).filter((name) => name.endsWith('.js'))) {
    for (const match of readFileSync(file, 'utf8').matchAll(/\bt\('([\w.]+)'/g)) if (!(match[1] in en)) problems.push(`${path.basename(file)}: ${match[1]} is not defined`);
  }
  assert.deepEqual(problems, []);
});

test('no markup injection or inline code in the page sources; strict CSP', async () => {
  const offenders = [];
  for (const file of sources(ui)) {
    if (!file.endsWith('.js')) continue;
    const code = readFileSync(file, 'utf8');
    for (const pattern of [/\.innerHTML\b/, /\.outerHTML\b/, /insertAdjacentHTML/, /document\.write/, /\beval\(/, /new Function\(/, /setTimeout\(\s*['"`]/]) {
      if (pattern.test(code)) offenders.push(`${path.relative(ui, file)}: ${pattern}`);
    }
  }
  assert.deepEqual(offenders, []);
  const html = readFileSync(path.join(ui, 'index.html'), 'utf8');
  const csp = html.match(/http-equiv="Content-Security-Policy" content="([^"]+)"/);
  const policy = Object.fromEntries(csp[1].split(';').map((part) => part.trim().split(/\s+/)).map(([k, ...v]) => [k, v]));
  const strict = { 'default-src': ["'none'"], 'script-src': ["'self'"], 'style-src': ["'self'"], 'connect-src': ["'none'"] };
  for (const [directive, expected] of Object.entries(strict)) assert.deepEqual(policy[directive], expected, directive);
  assert.doesNotMatch(html, /<script(?![^>]*\bsrc=)[^>]*>/, 'no inline script');
  assert.doesNotMatch(html, /\son[a-z]+=|style=/i, 'no inline handlers or styles');
});
