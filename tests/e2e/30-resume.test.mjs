// Resume check, the free-text generator, the Application Profile with a stored resume,
// Resume Studio (build, edit, ATS, rewrites, export, a library whose key is gone) and
// interview preparation; then the accessibility of every screen with these filled in:
// keyboard tabs, the theme's colour pairs, and axe-core in every language and both themes.
import assert from 'node:assert/strict';
import { journey } from './harness.mjs';
import path from 'node:path';
import { readFileSync, existsSync, rmSync } from 'node:fs';

// A sample resume of a backend engineer, for the check, the stored profile and the studio.
const RESUME = new URL('../fixtures/resumes/corpus/classic-us.txt', import.meta.url).pathname;

const SCREENS = ['dashboard', 'jobs', 'applications', 'resume', 'studio', 'interview', 'profile', 'settings'];
const LANGUAGES = ['en', 'es', 'fr', 'de', 'it', 'pt'];
const THEMES = ['light', 'dark'];
// Text pairs need 4.5:1; focus rings and field borders 3:1 against what is around them.
const TEXT_PAIRS = [
  ['ink', 'bg'], ['ink', 'surface'], ['ink-soft', 'surface'], ['muted', 'bg'], ['muted', 'surface'], ['muted', 'surface-2'],
  ['on-accent', 'accent-strong'], ['on-danger', 'danger-bg'], ['accent-text', 'accent-soft'], ['accent-text', 'surface'],
  ['good', 'good-soft'], ['top', 'top-soft'], ['review', 'review-soft'], ['risk', 'risk-soft'], ['risk', 'surface'], ['risk-ink', 'risk-soft'],
  ['info', 'info-soft'], ['violet', 'violet-soft'], ['on-blocked', 'blocked'], ['side-ink', 'side'], ['side-muted', 'side'],
  ['side-strong', 'side-2'], ['side-accent', 'side'], ['toast-ink', 'toast-bg'], ['toast-ink', 'toast-ok'], ['toast-ink', 'toast-error'],
];
const UI_PAIRS = [['focus', 'bg'], ['focus', 'surface'], ['line-strong', 'surface']];

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
  const score = Number(await env.text('[data-role="score"]'));
  assert.ok(score >= 80 && score <= 100, `score ${score}`);
  assert.match(await env.text('[data-role="report"]'), /Experience section detected\./);
  assert.match(await env.text('[data-role="ai-feedback"]'), /not requested/);
  assert.ok((await env.count('[data-role="report"] .chip')) > 5, 'keywords shown');
  await env.shot('resume-report');
  await env.locator('[data-role="use-ai"]').check();
  await env.click('[data-action="analyze"]');
  await env.waitFor(async () => /could not be reached/.test(await env.text('[data-role="ai-feedback"]')), 'the AI-unavailable note', 200000);

  // The generator answers with its offline template; the text is saved as edited.
  await env.locator('[data-role="prompt"]').fill('Backend engineer, 7 years of Go and PostgreSQL at Harbor Nine, looking for remote platform roles.');
  await env.click('[data-action="generate"]');
  assert.match(await env.text('[data-role="generate-notice"]'), /offline template/);
  const generated = await env.locator('[data-role="generated"]').inputValue();
  assert.match(generated, /Harbor Nine/);
  await env.locator('[data-role="generated"]').fill(generated + '\nEdited by hand.');
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
  await env.shot('profile');
  await env.load();
  await env.go('profile');
  await env.waitFor(async () => (await env.locator('[data-field="fullName"]').inputValue()) === 'Avery Quinn', 'the saved name after a reload');
  assert.deepEqual(await env.values('[data-field="willingToRelocate"]', '[data-field="desiredSalary"]'), ['yes', '']);
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
  assert.ok(missing.length > 0, 'the job description has keywords the resume lacks');
  assert.equal(await env.locator('[data-field="name"]').inputValue(), 'Senior Backend Engineer Resume');
  await env.shot('studio-editor');
  // No model runs here: each filled section says it was kept from the user's own text.
  assert.match(await env.text('[data-section="summary"] [data-role="kept-note"]'), /Kept from your own resume: the AI model was not available/);
  const skills = env.locator('[data-field="skills"]');
  await skills.fill(`${await skills.inputValue()}, ${missing.join(', ')}`);
  await env.click('[data-action="save"]');
  await env.waitFor(async () => Number(await env.locator('[data-role="ats-score"]').evaluate((el) => el.firstChild.textContent)) > before, 'a higher ATS score after saving');
  assert.equal(await env.count('.chips-missing .chip'), 0);

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
  assert.match(await env.locator('[data-field="coverLetter"]').inputValue(), /Sincerely,$/);
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
  assert.ok(questions.length >= 12, `${questions.length} questions`);
  assert.match(questions[0], /Senior Backend Engineer/);
  await env.click('[data-action="copy-all"]');
  await env.visible('.toast-success:has-text("Copied to the clipboard.")');
  const clipboard = await env.page.evaluate(() => navigator.clipboard.readText());
  assert.ok(clipboard.startsWith(`1. ${questions[0]}`));
  await env.shot('interview');
  await env.locator('[data-field="language"]').selectOption('es');
  await env.click('[data-action="generate"]');
  await env.waitFor(async () => /La IA privada/.test(await env.text('[data-role="interview-notice"]')), 'the Spanish notice', 200000);
});

env.step('accessibility: tabs by arrow keys, readable theme colours, and axe on every screen in every language, light and dark', async () => {
  await env.go('studio');
  const first = env.locator('[role="tab"]').first();
  await first.focus();
  await env.page.keyboard.press('ArrowRight');
  const selected = env.locator('[role="tab"][aria-selected="true"]');
  assert.equal(await env.page.evaluate(() => document.activeElement.getAttribute('aria-selected')), 'true');
  const panel = env.locator(`#${await selected.getAttribute('aria-controls')}`);
  assert.equal(await panel.getAttribute('role'), 'tabpanel');
  assert.equal(await panel.getAttribute('aria-labelledby'), await selected.getAttribute('id'));
  await env.page.keyboard.press('End');
  await env.page.keyboard.press('Home');
  assert.equal(await env.page.evaluate(() => document.activeElement.dataset.tab), await first.getAttribute('data-tab'));

  // Every colour pair of the theme, light and dark; a variable that is not defined fails.
  const weak = await env.page.evaluate(({ text, ui }) => {
    const root = document.documentElement;
    const probe = document.body.appendChild(document.createElement('span'));
    const channel = (c) => (c / 255 <= 0.03928 ? c / 255 / 12.92 : ((c / 255 + 0.055) / 1.055) ** 2.4);
    const luminance = (name) => {
      if (!getComputedStyle(root).getPropertyValue(`--${name}`).trim()) return NaN;
      probe.style.color = `var(--${name})`;
      const [r, g, b] = getComputedStyle(probe).color.match(/[\d.]+/g).map(Number);
      return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b);
    };
    const weak = [];
    for (const theme of ['light', 'dark']) {
      root.dataset.theme = theme;
      for (const [pairs, needed] of [[text, 4.5], [ui, 3]]) {
        for (const [fg, bg] of pairs) {
          const [a, b] = [luminance(fg), luminance(bg)].sort((x, y) => y - x);
          const ratio = (a + 0.05) / (b + 0.05);
          if (!(ratio >= needed)) weak.push(`${theme}: --${fg} on --${bg} is ${ratio.toFixed(2)}:1, needs ${needed}:1`);
        }
      }
    }
    probe.remove();
    root.dataset.theme = 'system';
    return weak;
  }, { text: TEXT_PAIRS, ui: UI_PAIRS });
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
  assert.ok(kept > 0);
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
  assert.equal(await env.count('article.library-item'), 0);
  await env.shot('studio-unreadable');
});
