// Resume check, the free-text generator, the Application Profile with a stored resume,
// Resume Studio (build, edit, ATS, rewrites, export, a library whose key is gone) and
// interview preparation; then the accessibility of every screen with these filled in:
// keyboard tabs, the colours axe cannot judge, and axe-core in every language and both themes.
import assert from 'node:assert/strict';
import { journey } from './harness.mjs';
import path from 'node:path';
import { readFileSync, existsSync, rmSync } from 'node:fs';

// A sample resume of a backend engineer, for the check, the stored profile and the studio.
const RESUME = new URL('../fixtures/resumes/corpus/classic-us.txt', import.meta.url).pathname;

const SCREENS = ['dashboard', 'jobs', 'applications', 'resume', 'studio', 'interview', 'profile', 'settings'];
const LANGUAGES = ['en', 'es', 'fr', 'de', 'it', 'pt'];
const THEMES = ['light', 'dark'];
// axe never sees a toast, a dialog or a focus ring: their colours need 4.5:1 for text and 3:1
// for a ring, light and dark.
const UNSEEN_PAIRS = [['toast-ink', 'toast-bg', 4.5], ['toast-ink', 'toast-ok', 4.5], ['toast-ink', 'toast-error', 4.5], ['on-danger', 'danger-bg', 4.5], ['focus', 'bg', 3], ['focus', 'surface', 3]];

const JOB_DESCRIPTION = 'We are hiring a Senior Backend Engineer to build payment services in Go and Rust on Kubernetes. You will design event-driven systems with Kafka, work with PostgreSQL, and mentor engineers in a remote-first team.';

const env = journey(async (env) => {
  const outputs = [['text', 'generated.txt'], ['docx', 'export.docx'], ['pdf', 'export.pdf']];
  env.outputs = Object.fromEntries(outputs.map(([kind, name]) => [kind, path.join(env.dir, name)]));
  // Answers of the file dialogs, in the order the journeys below ask. A listing of each trust
  // label and two applications give the swept screens something to show.
  const labels = [['Quorvane Checked', 85], ['Checked', 72], ['Review', 65], ['High Risk', 30], ['Blocked', 0]];
  const now = new Date().toISOString();
  await env.boot({
    jobs: labels.map(([label, score], i) => ({ title: `${label} Platform Role`, company: 'Harbor Nine', url: `https://jobs.example.com/role-${i}`, securityLabel: label, securityScore: score, publishedAt: now })),
    applications: ['Opened', 'Applied'].map((status, i) => ({ title: `${status} Role`, url: `https://jobs.example.com/app-${i}`, firstOpenedAt: now, lastOpenedAt: now, status })),
    dialogs: { open: [RESUME, RESUME], save: [env.outputs.text, env.outputs.docx, env.outputs.pdf] },
  });
});

env.step('resume check with and without AI feedback; an offline generated resume saved as a text file', async () => {
  await env.go('resume');
  await env.click('[data-action="choose"]');
  await env.waitFor(async () => (await env.text('[data-role="file-name"]')) === 'classic-us.txt', 'the chosen file name');
  await env.click('[data-action="analyze"]');
  assert.match(await env.text('[data-role="report"]'), /Experience section detected\./);
  assert.match(await env.text('[data-role="ai-feedback"]'), /not requested/);
  await env.shot('resume-report');
  await env.locator('[data-role="use-ai"]').check();
  await env.click('[data-action="analyze"]');
  await env.waitFor(async () => /could not be reached/.test(await env.text('[data-role="ai-feedback"]')), 'the AI-unavailable note', 200000);

  // The generator answers with its offline template; the text is saved as edited.
  await env.locator('[data-role="prompt"]').fill('Backend engineer, 7 years of Go and PostgreSQL at Harbor Nine, looking for remote platform roles.');
  await env.click('[data-action="generate"]');
  assert.match(await env.text('[data-role="generate-notice"]'), /offline template/);
  const generated = env.locator('[data-role="generated"]');
  await generated.fill(`${await generated.inputValue()}\nEdited by hand.`);
  await env.click('[data-action="save-text"]');
  await env.waitFor(async () => existsSync(env.outputs.text), 'the saved text file');
  assert.match(readFileSync(env.outputs.text, 'utf8'), /Edited by hand\./);
  await env.shot('resume-generator');
});

env.step('application profile: every field, flags, a stored resume, success only when verified', async () => {
  await env.go('profile');
  await env.visible('[data-field="fullName"]');
  const values = {
    fullName: 'Avery Quinn', email: 'avery.quinn@example.org', phone: '+351 555 123 4567', country: 'Portugal', cityState: 'Lisbon',
    currentEmployer: 'Harbor Nine', currentTitle: 'Senior Backend Engineer', yearsOfExperience: '7', skills: 'Go, Python, PostgreSQL, Kubernetes',
    employmentHistory: 'Senior Backend Engineer, Harbor Nine (2021 - 2025)\nBackend Engineer, Lumen Tide (2018 - 2021)',
    education: 'BSc Computer Science, University of Porto, 2018', preferredJobTitles: 'Backend Engineer, Platform Engineer',
  };
  await env.fill(values);
  await env.locator('[data-field="requireSponsorship"]').selectOption('no');
  await env.locator('[data-field="willingToRelocate"]').selectOption('yes');
  await env.click('[data-action="choose-resume"]');
  await env.waitFor(async () => /classic-us\.txt/.test(await env.text('[data-role="resume-status"]')), 'the pending resume');
  await env.click('[data-action="save-profile"]');
  await env.visible('[data-role="save-ok"]');
  assert.match(await env.text('[data-role="resume-status"]'), /Stored resume: classic-us\.txt/);
  assert.doesNotMatch(await env.text('[data-role="updated-at"]'), /Not saved/);
  const stored = await env.call('getApplicationProfile');
  for (const [key, value] of Object.entries(values)) assert.equal(String(stored[key]), value, key);
  assert.deepEqual([stored.requireSponsorship, stored.willingToRelocate, stored.hasResume], [false, true, true]);
  await env.load();
  await env.go('profile');
  await env.waitFor(async () => (await env.locator('[data-field="fullName"]').inputValue()) === 'Avery Quinn', 'the saved name after a reload');
  assert.equal(await env.locator('[data-field="willingToRelocate"]').inputValue(), 'yes');
  assert.equal(await env.locator('[data-field="desiredSalary"]').inputValue(), '');
});

env.step('resume studio: build from the profile, edit and see the ATS score change; offline rewrites; export; the library', async () => {
  await env.go('studio');
  await env.visible('[data-field="targetRole"]');
  await env.fill({ targetRole: 'Senior Backend Engineer', jobDescription: JOB_DESCRIPTION });
  await env.click('[data-action="build"]');
  await env.visible('[data-role="build-busy"]');
  await env.visible('[data-role="ats-score"]', 300000);
  const before = Number(await env.locator('[data-role="ats-score"]').evaluate((el) => el.firstChild.textContent));
  const missing = await env.locator('.chips-missing .chip').allInnerTexts();
  await env.shot('studio-editor');
  // No model runs here: each filled section says it was kept from the user's own text.
  assert.match(await env.text('[data-section="summary"] [data-role="kept-note"]'), /Kept from your own resume: the AI model was not available/);
  const skills = env.locator('[data-field="skills"]');
  await skills.fill(`${await skills.inputValue()}, ${missing.join(', ')}`);
  await env.click('[data-action="save"]');
  await env.waitFor(async () => Number(await env.locator('[data-role="ats-score"]').evaluate((el) => el.firstChild.textContent)) > before, 'a higher ATS score after saving');

  // Section rewrite, bullet, line and cover letter answer offline.
  const summary = await env.locator('[data-field="summary"]').inputValue();
  await env.click('.section-edit[data-section="summary"] [data-action="rewrite-section"]');
  assert.match(await env.text('.section-edit[data-section="summary"] [data-role="section-notice"]'), /unavailable/);
  assert.equal(await env.locator('[data-field="summary"]').inputValue(), summary);
  await env.locator('[data-role="bullet"]').fill('• built a go service for payments');
  await env.click('[data-action="improve-bullet"]');
  assert.match(await env.text('[data-role="bullet-result"]'), /^built a go service for payments/);
  await env.locator('[data-role="fragment"]').fill('  Led migration of 40 services  ');
  await env.click('[data-action="rewrite-line"]');
  assert.match(await env.text('[data-role="fragment-result"]'), /Led migration of 40 services/);
  await env.locator('[data-role="company"]').fill('Kestrel Pay');
  await env.click('[data-action="cover-letter"]');
  await env.waitFor(async () => /Kestrel Pay/.test(await env.locator('[data-field="coverLetter"]').inputValue()), 'the cover letter', 200000);
  await env.shot('studio-tools');

  // Export DOCX and PDF, duplicate and delete in the library.
  await env.click('[data-action="export-docx"]');
  await env.waitFor(async () => existsSync(env.outputs.docx), 'the DOCX file', 60000);
  assert.equal(readFileSync(env.outputs.docx).subarray(0, 2).toString(), 'PK');
  await env.click('[data-action="export-pdf"]');
  await env.waitFor(async () => existsSync(env.outputs.pdf), 'the PDF file', 60000);
  assert.equal(readFileSync(env.outputs.pdf).subarray(0, 5).toString(), '%PDF-');
  await env.click('.tab[data-tab="library"]');
  await env.counted('article.library-item', 1);
  await env.click('article.library-item [data-action="duplicate"]');
  await env.counted('article.library-item', 2);
  await env.shot('studio-library');
  await env.locator('article.library-item', { hasText: 'Senior Backend Engineer Resume Copy' }).locator('[data-action="delete"]').click();
  await (await env.visible('dialog.confirm')).locator('[data-confirm]').click();
  await env.counted('article.library-item', 1);
  await env.click('article.library-item [data-action="open"]');
  await env.visible('[data-role="ats-score"]');
});

env.step('interview prep: questions with the notice, copied all at once', async () => {
  await env.go('interview');
  await env.fill({ title: 'Senior Backend Engineer', description: JOB_DESCRIPTION });
  await env.click('[data-action="generate"]');
  assert.match(await env.text('[data-role="interview-notice"]'), /Private AI was unavailable/);
  const questions = await env.locator('ol.questions li').allInnerTexts();
  await env.click('[data-action="copy-all"]');
  await env.visible('.toast-success:has-text("Copied to the clipboard.")');
  const clipboard = await env.page.evaluate(() => navigator.clipboard.readText());
  assert.ok(clipboard.startsWith(`1. ${questions[0]}`));
  await env.shot('interview');
  await env.locator('[data-field="language"]').selectOption('es');
  await env.click('[data-action="generate"]');
  await env.waitFor(async () => /La IA privada/.test(await env.text('[data-role="interview-notice"]')), 'the Spanish notice', 200000);
});

env.step('accessibility: tabs by arrow keys, readable toasts, dialogs and focus rings, and axe on every screen in every language, light and dark', async () => {
  await env.go('studio');
  const tabs = await env.locator('[role="tab"]').evaluateAll((els) => els.map((el) => el.dataset.tab));
  const focused = () => env.page.evaluate(() => [document.activeElement.dataset.tab, document.activeElement.getAttribute('aria-selected')]);
  await env.locator('[role="tab"]').first().focus();
  await env.page.keyboard.press('ArrowRight');
  assert.deepEqual(await focused(), [tabs[1], 'true']);
  const selected = env.locator('[role="tab"][aria-selected="true"]');
  assert.equal(await env.locator(`#${await selected.getAttribute('aria-controls')}`).getAttribute('aria-labelledby'), await selected.getAttribute('id'));
  await env.page.keyboard.press('Home');
  assert.deepEqual(await focused(), [tabs[0], 'true']);

  // A variable that is not defined reads as transparent, which fails as well.
  const weak = await env.page.evaluate((pairs) => {
    const probe = document.body.appendChild(document.createElement('span'));
    const channel = (c) => (c / 255 <= 0.03928 ? c / 255 / 12.92 : ((c / 255 + 0.055) / 1.055) ** 2.4);
    const luminance = (name) => {
      probe.style.color = `var(--${name}, transparent)`;
      const [r, g, b, alpha = 1] = getComputedStyle(probe).color.match(/[\d.]+/g).map(Number);
      return alpha < 1 ? NaN : 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b);
    };
    const ratio = (a, b) => (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
    return ['light', 'dark'].flatMap((theme) => {
      document.documentElement.dataset.theme = theme;
      return pairs.filter(([fg, bg, needed]) => !(ratio(luminance(fg), luminance(bg)) >= needed)).map(([fg, bg, needed]) => `${theme}: --${fg} on --${bg} is below ${needed}:1`);
    });
  }, UNSEEN_PAIRS);
  assert.deepEqual(weak, []);

  // Each screen once in each language, the theme alternating between screens and between
  // languages, so that every screen is also seen in both themes: axe finds nothing serious.
  for (const [l, language] of LANGUAGES.entries()) {
    await env.call('saveSettings', { language, theme: THEMES[l % 2] });
    await env.load();
    assert.equal(await env.page.getAttribute('html', 'data-theme'), THEMES[l % 2]);
    for (const [s, screen] of SCREENS.entries()) {
      const theme = THEMES[(l + s) % 2];
      await env.page.evaluate((theme) => (document.documentElement.dataset.theme = theme), theme);
      await env.go(screen);
      // Let the screen's first request settle so axe sees what the user sees.
      await env.counted('.loading', 0);
      await env.axe(`${screen} in ${language}, ${theme}`);
      if (language === 'en' || language === 'de') await env.shot(`${screen}-${language}-${theme}`);
    }
  }
  await env.call('saveSettings', { language: 'en', theme: 'system' });
});

env.step('a library whose key is gone says how many resumes cannot be opened and why', async () => {
  const kept = (await env.call('listResumeStudio')).length;
  // The next start finds no key file, as after a careless clean-up or a partial restore.
  await env.stopBridge();
  rmSync(path.join(env.dataDir, 'SecureStore', 'resume.library.encryption.key.v1.bin'));
  env.startBridge();
  await env.load();
  await env.go('studio');
  await env.click('.tab[data-tab="library"]');
  const notice = await env.text('[data-role="library-unreadable"]');
  assert.match(notice, new RegExp(`Saved resumes that cannot be opened: ${kept}`));
  assert.match(notice, /encryption key is missing/);
  assert.equal(await env.locator('article.library-item').count(), 0);
  await env.shot('studio-unreadable');
});
