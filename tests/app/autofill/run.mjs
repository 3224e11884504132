#!/usr/bin/env node
// The form-filling script in Debian's Chromium against sample application forms:
//   node tests/app/autofill/run.mjs [--script ui/assist-autofill.js]
// Each form is loaded from its file, the script runs with a profile substituted for its
// placeholder exactly as the core does it, and the page is then inspected.
import { chromium } from 'playwright-core';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const argIndex = process.argv.indexOf('--script');
const scriptPath = argIndex > 0 ? process.argv[argIndex + 1] : path.resolve(here, '../../../ui/assist-autofill.js');
const source = readFileSync(scriptPath, 'utf8');

const PROFILE = {
  resumeName: 'ana-lima.pdf', coverLetterTemplate: 'Dear team, I would love to help.', fullName: 'Ana Maria Lima',
  email: 'ana@example.com', phone: '+351 912 345 678', country: 'United States', cityState: 'Austin, TX',
  address: '1 Main St', linkedIn: 'https://linkedin.com/in/analima', gitHub: 'https://github.com/analima',
  portfolio: 'https://analima.dev', currentEmployer: 'Hollowbrook & Sons', currentTitle: 'Staff Engineer',
  employmentHistory: '', education: 'BSc Computer Science', certifications: '', skills: 'Go, SQL',
  yearsOfExperience: '7 years', workAuthorization: 'US citizen', requireSponsorship: false, willingToRelocate: true,
  desiredSalary: '150000', earliestStartDate: '2026-03-01', remoteWorkPreference: 'Remote', preferredJobTitles: '',
  preferredIndustries: '',
};

// What the core does: replace every placeholder with the profile's compact JSON.
const scriptFor = (profile) => source.split('__VELMORA_PROFILE__').join(JSON.stringify(profile));

const tests = [];
const test = (name, fn) => tests.push({ name, fn });

async function open(page, form) {
  await page.goto(pathToFileURL(path.join(here, 'forms', form)).href);
}
const run = (page, profile = PROFILE) => page.evaluate(scriptFor(profile));
const values = (page, selector) => page.$$eval(selector, (els) => els.map((el) => el.value));
const marked = (page) => page.evaluate(() => {
  const found = [];
  const walk = (root) => {
    for (const el of root.querySelectorAll('input[type=file][data-velmora-resume="1"]')) found.push(el.id || el.name);
    for (const el of root.querySelectorAll('*')) if (el.shadowRoot) walk(el.shadowRoot);
  };
  walk(document);
  return found;
});

test('label-for form: names split, contacts, links, selects, cover letter, resume marked, nothing submitted', async (page) => {
  await open(page, 'greenhouse-style.html');
  const result = await run(page);
  assert.equal(typeof result, 'object');
  assert.ok(Array.isArray(result.filled));
  assert.equal(result.resumeTargetFound, true);
  assert.deepEqual(await values(page, '#first_name, #last_name, #email, #phone, #job_application_location'),
    ['Ana Maria', 'Lima', 'ana@example.com', '+351 912 345 678', 'Austin']);
  assert.deepEqual(await values(page, '#question_1, #question_2'), [PROFILE.linkedIn, PROFILE.portfolio]);
  assert.equal(await page.inputValue('#cover_letter_text'), PROFILE.coverLetterTemplate);
  assert.equal(await page.inputValue('#question_3'), '0', 'sponsorship answered No');
  assert.equal(await page.inputValue('#question_4'), 'US', 'country chosen by its longer name');
  assert.equal(await page.inputValue('#question_5'), 'A friend', 'an answer already given stays');
  assert.deepEqual(await marked(page), ['resume'], 'the resume field, not the cover letter field');
  const events = await page.evaluate(() => window.__events);
  for (const id of ['first_name', 'email', 'question_3']) {
    assert.ok(events.includes(id + ':input') && events.includes(id + ':change'), 'events for ' + id);
  }
  assert.equal(await page.evaluate(() => !!window.__submitted || !!window.__submitClicked), false);
  for (const key of ['firstName', 'lastName', 'email', 'phone', 'linkedIn', 'portfolio', 'requireSponsorship', 'country'])
    assert.ok(result.filled.includes(key), 'filled lists ' + key);
});

test('wrapping labels: full name, company, yes/no radio groups, resume marked', async (page) => {
  await open(page, 'lever-style.html');
  const result = await run(page);
  assert.deepEqual(await values(page, 'input[name=name], input[name=email], input[name=phone], input[name=org]'),
    ['Ana Maria Lima', 'ana@example.com', '+351 912 345 678', 'Hollowbrook & Sons']);
  assert.deepEqual(await values(page, 'input[name="urls[LinkedIn]"], input[name="urls[GitHub]"]'),
    [PROFILE.linkedIn, PROFILE.gitHub]);
  const checked = await page.$$eval('input[type=radio]:checked', (els) => els.map((el) => el.name + '=' + el.value));
  assert.deepEqual(checked.sort(), ['cards[abc][field0]=Yes', 'cards[abc][field1]=No']);
  assert.deepEqual(await marked(page), ['resume-upload-input']);
  assert.ok(result.filled.includes('willingToRelocate') && result.filled.includes('requireSponsorship'));
  assert.equal(await page.evaluate(() => !!window.__submitted), false);
});

test('controlled inputs see every value; shadow-root upload marked; secrets and referrals untouched', async (page) => {
  await open(page, 'react-shadow-style.html');
  const result = await run(page);
  const state = JSON.parse(await page.textContent('#state'));
  assert.equal(state['Given Name'], 'Ana Maria');
  assert.equal(state['Family Name'], 'Lima');
  assert.equal(state['contact-email'], 'ana@example.com');
  assert.equal(state['Phone number'], '+351 912 345 678');
  assert.equal(state['Years of experience'], '7');
  assert.equal(state['Desired salary (USD)'], '150000');
  assert.equal(state['Earliest start date'], '2026-03-01');
  assert.equal(await page.inputValue('input[type=password]'), '');
  assert.equal(await page.inputValue('input[name=card_number]'), '');
  assert.equal(await page.inputValue('input[name=referrer_name]'), '');
  assert.equal(await page.inputValue('select'), 'y', 'relocation Yes');
  assert.deepEqual(await marked(page), ['f'], 'the résumé field inside the shadow root, not the photo field');
  assert.equal(result.resumeTargetFound, true);
});

test('a second run keeps one mark and fills nothing twice; an empty profile fills nothing', async (page) => {
  await open(page, 'greenhouse-style.html');
  await run(page);
  const again = await run(page);
  assert.deepEqual(again.filled.filter((key) => key !== 'country' && key !== 'requireSponsorship'), []);
  assert.deepEqual(await marked(page), ['resume']);
  await open(page, 'lever-style.html');
  const empty = await run(page, {});
  assert.deepEqual(empty.filled, []);
  assert.equal(await page.inputValue('input[name=name]'), '');
  assert.equal(empty.resumeTargetFound, true);
});

test('a page without forms answers an empty result; hostile profile text stays text', async (page) => {
  await page.setContent('<p>No form here</p>');
  assert.deepEqual(await run(page), { filled: [], resumeTargetFound: false });
  await open(page, 'lever-style.html');
  const hostile = { ...PROFILE, fullName: '</script><img src=x onerror="window.__pwned=1">', email: '"); window.__pwned = 1; ("' };
  await run(page, hostile);
  assert.equal(await page.inputValue('input[name=name]'), hostile.fullName);
  assert.equal(await page.evaluate(() => window.__pwned), undefined);
});

const browser = await chromium.launch({
  executablePath: process.env.VELMORA_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage', '--allow-file-access-from-files'],
});
let passed = 0;
let failed = 0;
try {
  for (const { name, fn } of tests) {
    const context = await browser.newContext();
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    try {
      await fn(page);
      assert.deepEqual(errors, [], 'no script errors in the page');
      passed += 1;
      console.log('ok   ' + name);
    } catch (error) {
      failed += 1;
      console.log('FAIL ' + name + '\n     ' + String(error && error.stack || error).split('\n').slice(0, 6).join('\n     '));
    } finally {
      await context.close();
    }
  }
} finally {
  await browser.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
