#!/usr/bin/env node
// What a field is called decides what the form-filling script types into it: each row is a
// field as a page may write it and the profile value it must get ('' = left alone).
//   node tests/app/autofill/field-words.mjs [--script ui/assist-autofill.js]
import { chromium } from 'playwright-core';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const argIndex = process.argv.indexOf('--script');
const source = readFileSync(argIndex > 0 ? process.argv[argIndex + 1] : path.resolve(here, '../../../ui/assist-autofill.js'), 'utf8');
const PROFILE = { fullName: 'Ana Maria Lima', email: 'ana@example.com', phone: '+351 912 345 678' };

const ROWS = [
  ['<label for=f>E-mail</label><input id=f name=field_1>', PROFILE.email],
  ['<label for=f>Email address</label><input id=f name=field_1>', PROFILE.email],
  ['<label>Correo electrónico <input name=field_1></label>', PROFILE.email],
  ['<label for=f>Full name</label><input id=f name=field_1>', PROFILE.fullName],
  // Payment fields stay empty, whatever their label says.
  ['<label for=f>Full name</label><input id=f name=field_1 autocomplete="cc-name">', ''],
  ['<label for=f>E-mail</label><input id=f name=field_1 autocomplete="cc-number">', ''],
  ['<label for=f>Phone</label><input id=f name=field_1 autocomplete="cc-csc">', ''],
];

const browser = await chromium.launch({
  executablePath: process.env.VELMORA_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking', '--disable-component-update'],
});
let failed = 0;
try {
  const page = await browser.newPage();
  for (const [html, expected] of ROWS) {
    await page.setContent(`<form>${html}</form>`);
    await page.evaluate(source.split('__VELMORA_PROFILE__').join(JSON.stringify(PROFILE)));
    try {
      assert.equal(await page.inputValue('[name=field_1]'), expected);
      console.log(`ok   ${html}`);
    } catch (error) {
      failed += 1;
      console.log(`FAIL ${html}: ${error.message}`);
    }
  }
} finally {
  await browser.close();
}
console.log(`${ROWS.length - failed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
