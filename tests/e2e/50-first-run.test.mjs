// A new user's first run from an empty data folder, and the accessibility of every screen:
// axe-core in every language and both themes, and the contrast of the theme's colour pairs.
import assert from 'node:assert/strict';
import path from 'node:path';
import { createRequire } from 'node:module';
import { writeFileSync, readFileSync, existsSync } from 'node:fs';
import { Skip } from './harness.mjs';

const require = createRequire(import.meta.url);

const RESUME = `Avery Quinn
avery.quinn@example.org | (555) 123-4567 | Lisbon, Portugal

EXPERIENCE
Senior Backend Engineer, Harbor Nine (2021 - 2025)
- Built an event pipeline in Go.
`;

const SCREENS = ['dashboard', 'jobs', 'applications', 'resume', 'studio', 'interview', 'profile', 'settings'];
const LANGUAGES = ['en', 'es', 'fr', 'de', 'it', 'pt'];

function axeSource() {
  let file = '';
  try {
    file = require.resolve('axe-core/axe.min.js');
  } catch {
    throw new Skip('axe-core is not installed (npm install)');
  }
  return readFileSync(file, 'utf8');
}

// Serious and critical findings of axe on the page as it is now, as readable lines.
async function axeProblems(env) {
  if (!(await env.page.evaluate(() => typeof window.axe === 'object'))) await env.page.evaluate(`${env.axe};0`);
  const violations = await env.page.evaluate(async () => {
    const result = await window.axe.run(document, { resultTypes: ['violations'] });
    return result.violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id} (${v.impact}): ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`);
  });
  return violations;
}

async function openScreen(env, screen) {
  await env.go(screen);
  // Let the screen's first request settle so axe sees what the user sees.
  await env.page.waitForTimeout(150);
}

export default {
  name: 'first run',
  async setup(env) {
    env.resumePath = path.join(env.dir, 'avery-quinn.txt');
    writeFileSync(env.resumePath, RESUME);
    env.axe = existsSync(require.resolve('axe-core/package.json')) ? axeSource() : '';
    await env.boot({ welcome: true, dialogs: { open: [env.resumePath] } });
  },
  tests: [
    {
      name: 'welcome first, then one sync with the answers, and a profile pre-filled from the resume',
      async run(env) {
        await env.require('getInitialState', 'saveSettings', 'readResumeContact', 'startupSyncJobs');
        const welcome = await env.visible('dialog[data-role="welcome"]');
        assert.deepEqual(await axeProblems(env), []);
        await env.shot('welcome');
        // Nothing is fetched before the user said what to look for.
        await env.page.waitForTimeout(400);
        assert.equal(env.bridge.events.filter((e) => e.name === 'jobSyncStarted').length, 0);
        assert.equal(await env.page.evaluate(() => document.activeElement && document.activeElement.id), 'welcome-jobTitle');

        // The fixture board's three listings all match the title; the location answer keeps two.
        await welcome.locator('[data-field="jobTitle"]').fill('Fixture');
        assert.equal(await welcome.locator('[data-field="homeCountryCode"]').isVisible(), false);
        await welcome.locator('input[name="welcomeLocationMode"][value="us"]').check();
        await welcome.locator('[data-action="welcome-resume"]').click();
        const found = await env.text('[data-role="welcome-found"]');
        for (const part of ['Avery Quinn', 'avery.quinn@example.org', '(555) 123-4567', 'Lisbon, Portugal']) assert.ok(found.includes(part), `${part} in "${found}"`);
        await welcome.locator('[data-action="welcome-start"]').click();

        // The answers are stored, and the form of the profile waits with the resume's details.
        await env.visible('.screen[data-screen="profile"] [data-role="prefill-notice"]');
        const settings = await env.call('getSettings');
        assert.equal(settings.jobTitle, 'Fixture');
        assert.equal(settings.locationMode, 'us');
        assert.equal(settings.welcomeDone, true);
        const value = (key) => env.locator(`[data-field="${key}"]`).inputValue();
        assert.equal(await value('fullName'), 'Avery Quinn');
        assert.equal(await value('email'), 'avery.quinn@example.org');
        assert.equal(await value('phone'), '(555) 123-4567');
        assert.equal(await value('cityState'), 'Lisbon, Portugal');
        assert.match(await env.text('[data-role="resume-status"]'), /avery-quinn\.txt/);
        assert.equal((await env.call('getApplicationProfile')).fullName, '', 'nothing stored before the user saves');

        // A bad value is named at its field, and the save does not go out.
        await env.locator('[data-field="email"]').fill('ana@@example');
        await env.locator('[data-field="yearsOfExperience"]').fill('lots');
        await env.click('[data-action="save-profile"]');
        await env.visible('#pf-email-error');
        assert.equal(await env.page.evaluate(() => document.activeElement.id), 'pf-email');
        assert.equal(await env.locator('[data-field="email"]').getAttribute('aria-invalid'), 'true');
        assert.match(await env.text('#pf-yearsOfExperience-error'), /number/);
        await env.shot('profile-field-errors');
        assert.equal((await env.call('getApplicationProfile')).fullName, '');
        await env.locator('[data-field="email"]').fill('avery.quinn@example.org');
        await env.locator('[data-field="yearsOfExperience"]').fill('7');
        await env.locator('[data-field="yearsOfExperience"]').blur();
        assert.equal(await env.count('[data-role="field-error"]'), 0);
        await env.click('[data-action="save-profile"]');
        await env.visible('[data-role="save-ok"]');
        // The toast stays clear of the Save button.
        const overlap = await env.page.evaluate(() => {
          const a = document.querySelector('.toast').getBoundingClientRect();
          const b = document.querySelector('[data-action="save-profile"]').getBoundingClientRect();
          return !(a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top);
        });
        assert.equal(overlap, false);
        const saved = await env.call('getApplicationProfile');
        assert.equal(saved.fullName, 'Avery Quinn');
        assert.equal(saved.cityState, 'Lisbon, Portugal');
        assert.equal(saved.hasResume, true);

        // The first sync ran once, after the welcome, and the list honours the location answer.
        await env.waitFor(async () => env.bridge.events.some((e) => e.name === 'jobSyncCompleted'), 'the first sync', 120000);
        assert.equal(env.bridge.events.filter((e) => e.name === 'jobSyncStarted').length, 1);
        await env.go('jobs');
        await env.titles(['Fixture Backend Engineer', 'Fixture Support Specialist']);
        await env.shot('first-run-jobs');
      },
    },
    {
      name: 'a failing board keeps its status across a restart and can be retried alone',
      async run(env) {
        await env.require('retryJobSource');
        await env.load();
        await env.ready();
        assert.equal(await env.count('dialog[data-role="welcome"]'), 0, 'the welcome does not come back');
        const row = await env.visible('tr[data-source="Jobicy"]');
        assert.match(await row.locator('[data-role="source-kind"]').innerText(), /HTTP 500/);
        const before = env.bridge.events.filter((e) => e.name === 'jobSyncCompleted').length;
        await row.locator('[data-action="retry-source"]').click();
        await env.waitFor(async () => env.bridge.events.filter((e) => e.name === 'jobSyncCompleted').length === before + 1, 'the retry', 60000);
        assert.match(await env.text('[data-role="sync-summary"]'), /Jobicy/);
        assert.equal(await env.count('table.sources tbody tr'), 8);
        await env.shot('dashboard-retried');
      },
    },
    {
      name: 'tabs: arrow keys move between tabs and the panel is labelled by the selected tab',
      async run(env) {
        await env.go('studio');
        const first = env.locator('[role="tab"]').first();
        await first.focus();
        await env.page.keyboard.press('ArrowRight');
        const selected = env.locator('[role="tab"][aria-selected="true"]');
        assert.equal(await selected.count(), 1);
        assert.equal(await env.page.evaluate(() => document.activeElement.getAttribute('aria-selected')), 'true');
        const panelId = await selected.getAttribute('aria-controls');
        assert.equal(await env.page.getAttribute(`#${panelId}`, 'role'), 'tabpanel');
        assert.equal(await env.page.getAttribute(`#${panelId}`, 'aria-labelledby'), await selected.getAttribute('id'));
        await env.page.keyboard.press('End');
        await env.page.keyboard.press('Home');
        assert.equal(await env.page.evaluate(() => document.activeElement.dataset.tab), await first.getAttribute('data-tab'));
        // Jobs reopens on its listings.
        await env.go('jobs');
        await env.click('[role="tab"][data-tab="link"]');
        await env.go('dashboard');
        await env.go('jobs');
        assert.equal(await env.locator('[role="tab"][data-tab="listings"]').getAttribute('aria-selected'), 'true');
      },
    },
    {
      name: 'the theme colours keep text readable in light and dark',
      async run(env) {
        const TEXT = [
          ['ink', 'bg'], ['ink', 'surface'], ['ink-soft', 'surface'], ['muted', 'bg'], ['muted', 'surface'], ['muted', 'surface-2'],
          ['on-accent', 'accent-strong'], ['on-danger', 'danger-bg'], ['accent-text', 'accent-soft'], ['accent-text', 'surface'],
          ['good', 'good-soft'], ['top', 'top-soft'], ['review', 'review-soft'], ['risk', 'risk-soft'], ['risk', 'surface'], ['risk-ink', 'risk-soft'],
          ['info', 'info-soft'], ['violet', 'violet-soft'], ['on-blocked', 'blocked'], ['side-ink', 'side'], ['side-muted', 'side'],
          ['side-strong', 'side-2'], ['side-accent', 'side'], ['toast-ink', 'toast-bg'], ['toast-ink', 'toast-ok'], ['toast-ink', 'toast-error'],
        ];
        // Focus rings and field borders must stand out from what is around them.
        const UI = [['focus', 'bg'], ['focus', 'surface'], ['line-strong', 'surface']];
        for (const theme of ['light', 'dark']) {
          const ratios = await env.page.evaluate(
            ({ theme, pairs }) => {
              document.documentElement.dataset.theme = theme;
              const style = getComputedStyle(document.documentElement);
              const rgb = (name) => {
                const probe = document.createElement('span');
                probe.style.color = `var(--${name})`;
                document.body.appendChild(probe);
                const value = getComputedStyle(probe).color.match(/[\d.]+/g).map(Number);
                probe.remove();
                if (!style.getPropertyValue(`--${name}`).trim()) throw new Error(`--${name} is not defined`);
                return value;
              };
              const luminance = ([r, g, b]) =>
                [r, g, b].map((c) => c / 255).map((c) => (c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4)).reduce((sum, c, i) => sum + c * [0.2126, 0.7152, 0.0722][i], 0);
              return pairs.map(([fg, bg]) => {
                const [a, b] = [luminance(rgb(fg)), luminance(rgb(bg))].sort((x, y) => y - x);
                return [fg, bg, (a + 0.05) / (b + 0.05)];
              });
            },
            { theme, pairs: [...TEXT, ...UI] },
          );
          for (const [fg, bg, ratio] of ratios) {
            const needed = TEXT.some(([f, b]) => f === fg && b === bg) ? 4.5 : 3;
            assert.ok(ratio >= needed, `${theme}: --${fg} on --${bg} is ${ratio.toFixed(2)}:1, needs ${needed}:1`);
          }
        }
        await env.page.evaluate(() => (document.documentElement.dataset.theme = 'system'));
      },
    },
    {
      name: 'axe finds nothing serious on any screen, in any language, light or dark',
      async run(env) {
        if (!env.axe) throw new Skip('axe-core is not installed');
        const problems = [];
        for (const theme of ['light', 'dark']) {
          for (const language of LANGUAGES) {
            await env.call('saveSettings', { language, theme });
            await env.load();
            await env.ready();
            assert.equal(await env.page.getAttribute('html', 'data-theme'), theme);
            for (const screen of SCREENS) {
              await openScreen(env, screen);
              for (const line of await axeProblems(env)) problems.push(`${theme} ${language} ${screen}: ${line}`);
              if (process.env.VELMORA_E2E_ALL_SHOTS || language === 'en' || language === 'de') await env.shot(`${screen}-${language}-${theme}`);
            }
          }
        }
        await env.call('saveSettings', { language: 'en', theme: 'system' });
        assert.deepEqual(problems, []);
      },
    },
  ],
};
