// The form-filling script in Debian's Chromium against sample application forms, run like
// the page's journeys (see tests/e2e/harness.mjs) with [--script ui/assist-autofill.js].
// Each form is served over loopback HTTP, the script runs with a profile substituted for its
// placeholder exactly as the core does it, and the page is then inspected.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { arg, journey, serveDirectory } from '../../e2e/harness.mjs';

const source = readFileSync(arg('script', new URL('../../../ui/assist-autofill.js', import.meta.url).pathname), 'utf8');
const env = journey(async (env) => (env.forms = await serveDirectory(new URL('forms', import.meta.url).pathname)));

const PROFILE = {
  resumeName: 'ana-lima.pdf', coverLetterTemplate: 'Dear team, I would love to help.', fullName: 'Ana Maria Lima',
  email: 'ana@example.com', phone: '+351 912 345 678', country: 'United States', cityState: 'Austin, TX',
  address: '1 Main St', linkedIn: 'https://linkedin.com/in/analima', gitHub: 'https://github.com/analima',
  portfolio: 'https://analima.dev', currentEmployer: 'Hollowbrook & Sons', currentTitle: 'Staff Engineer',
  education: 'BSc Computer Science', skills: 'Go, SQL', yearsOfExperience: '7 years', workAuthorization: 'US citizen',
  requireSponsorship: false, willingToRelocate: true, desiredSalary: '150000', earliestStartDate: '2026-03-01', remoteWorkPreference: 'Remote',
};

// What a field is called decides what the script types into it: a field as a page may write
// it, and the profile value it must get ('' = left alone).
const FIELD_WORDS = [
  ['<label for=f>E-mail</label><input id=f name=field_1>', PROFILE.email],
  // Payment fields stay empty, whatever their label says.
  ['<label for=f>Full name</label><input id=f name=field_1 autocomplete="cc-name">', ''],
];

// What the core does: replace every placeholder with the profile's compact JSON.
const run = (page, profile = PROFILE) => page.evaluate(source.split('__VELMORA_PROFILE__').join(JSON.stringify(profile)));
const open = (page, form) => page.goto(`${env.forms.url}/${form}`);
const values = (page, selector) => page.$$eval(selector, (els) => els.map((el) => el.value));
// The upload fields the script marked for the resume, in the page and its open shadow roots.
const marked = (page) =>
  page.evaluate(() =>
    [document, ...[...document.querySelectorAll('*')].map((el) => el.shadowRoot).filter(Boolean)]
      .flatMap((root) => [...root.querySelectorAll('input[type=file][data-velmora-resume="1"]')])
      .map((el) => el.id || el.name),
  );

env.step('label-for form: names split, contacts, links, selects, cover letter, resume marked, nothing submitted', async () => {
  const page = (env.page = await env.openPage({ adapter: false }));
  await open(page, 'greenhouse-style.html');
  const result = await run(page);
  assert.equal(result.resumeTargetFound, true);
  assert.deepEqual(await values(page, '#first_name, #last_name, #email, #phone, #job_application_location'), ['Ana Maria', 'Lima', 'ana@example.com', '+351 912 345 678', 'Austin']);
  assert.deepEqual(await values(page, '#question_1, #question_2'), [PROFILE.linkedIn, PROFILE.portfolio]);
  assert.equal(await page.inputValue('#cover_letter_text'), PROFILE.coverLetterTemplate);
  // Sponsorship answered No, the country chosen by its longer name, an answer already given kept.
  assert.deepEqual(await values(page, '#question_3, #question_4, #question_5'), ['0', 'US', 'A friend']);
  assert.deepEqual(await marked(page), ['resume'], 'the resume field, not the cover letter field');
  const events = await page.evaluate(() => window.__events);
  for (const id of ['first_name', 'email', 'question_3']) assert.ok(events.includes(`${id}:input`) && events.includes(`${id}:change`), `events for ${id}`);
  assert.equal(await page.evaluate(() => !!window.__submitted || !!window.__submitClicked), false);
  for (const key of ['firstName', 'lastName', 'email', 'phone', 'linkedIn', 'portfolio', 'requireSponsorship', 'country']) assert.ok(result.filled.includes(key), `filled lists ${key}`);

  // A second run keeps one mark and fills nothing twice.
  const again = await run(page);
  assert.deepEqual(again.filled.filter((key) => key !== 'country' && key !== 'requireSponsorship'), []);
  assert.deepEqual(await marked(page), ['resume']);
});

env.step('wrapping labels: full name, company, yes/no radio groups, resume marked; an empty profile fills nothing', async () => {
  const page = (env.page = await env.openPage({ adapter: false }));
  await open(page, 'lever-style.html');
  const empty = await run(page, {});
  assert.deepEqual([empty.filled, empty.resumeTargetFound, await page.inputValue('input[name=name]')], [[], true, '']);
  const result = await run(page);
  assert.deepEqual(await values(page, 'input[name=name], input[name=email], input[name=phone], input[name=org]'), ['Ana Maria Lima', 'ana@example.com', '+351 912 345 678', 'Hollowbrook & Sons']);
  assert.deepEqual(await values(page, 'input[name="urls[LinkedIn]"], input[name="urls[GitHub]"]'), [PROFILE.linkedIn, PROFILE.gitHub]);
  const checked = await page.$$eval('input[type=radio]:checked', (els) => els.map((el) => `${el.name}=${el.value}`));
  assert.deepEqual(checked.sort(), ['cards[abc][field0]=Yes', 'cards[abc][field1]=No']);
  assert.deepEqual(await marked(page), ['resume-upload-input']);
  assert.ok(result.filled.includes('willingToRelocate') && result.filled.includes('requireSponsorship'));
});

env.step('controlled inputs see every value; shadow-root upload marked; secrets and referrals untouched', async () => {
  const page = (env.page = await env.openPage({ adapter: false }));
  await open(page, 'react-shadow-style.html');
  await run(page);
  const state = JSON.parse(await page.textContent('#state'));
  const expected = { 'Given Name': 'Ana Maria', 'Family Name': 'Lima', 'contact-email': 'ana@example.com', 'Phone number': '+351 912 345 678', 'Years of experience': '7', 'Desired salary (USD)': '150000', 'Earliest start date': '2026-03-01' };
  for (const [field, value] of Object.entries(expected)) assert.equal(state[field], value, field);
  assert.deepEqual(await values(page, 'input[type=password], input[name=card_number], input[name=referrer_name]'), ['', '', '']);
  assert.equal(await page.inputValue('select'), 'y', 'relocation Yes');
  assert.deepEqual(await marked(page), ['f'], 'the résumé field inside the shadow root, not the photo field');
});

env.step('field names and labels decide the value; payment fields stay empty; a page without forms gets an empty result', async () => {
  const page = (env.page = await env.openPage({ adapter: false }));
  await page.setContent('<p>No form here</p>');
  assert.deepEqual(await run(page), { filled: [], resumeTargetFound: false });
  for (const [html, expected] of FIELD_WORDS) {
    await page.setContent(`<form>${html}</form>`);
    await run(page, { fullName: PROFILE.fullName, email: PROFILE.email, phone: PROFILE.phone });
    assert.equal(await page.inputValue('[name=field_1]'), expected, html);
  }
});
