// First launch, the job sync with live progress, settings and the language switch.
import assert from 'node:assert/strict';

export default {
  name: 'launch',
  async setup(env) {
    // Fresh data folder: no lastJobSync, so the page asks for a sync at launch.
    await env.boot();
  },
  tests: [
    {
      name: 'first launch shows the dashboard with its four counts',
      async run(env) {
        await env.require('getSettings', 'getDashboard');
        await env.ready();
        await env.visible('.screen[data-screen="dashboard"]');
        assert.equal(await env.count('.stat'), 4);
        await env.waitFor(async () => (await env.text('.stat[data-stat="totalJobs"] .stat-value')) !== '–', 'the dashboard counts');
        assert.equal(await env.locator('.banner').isVisible(), false, 'no start-up warning');
        assert.equal(await env.count('.nav-item'), 8);
        await env.shot('dashboard');
        // The core marks the page while the application browser covers it; the sidebar says how back.
        assert.equal(await env.locator('.docked-hint').isVisible(), false);
        await env.page.evaluate(() => document.body.classList.add('browser-docked'));
        await env.visible('.docked-hint');
        await env.page.evaluate(() => document.body.classList.remove('browser-docked'));
        assert.equal(await env.locator('.docked-hint').isVisible(), false);
      },
    },
    {
      name: 'sync at launch against the job-board fixture shows per-source results',
      async run(env) {
        await env.require('startupSyncJobs');
        const summary = await env.visible('[data-role="sync-summary"]', 120000);
        assert.match(await summary.innerText(), /3/);
        assert.equal(await env.count('table.sources tbody tr'), 8);
        const remotive = env.locator('tr[data-source="Remotive"]');
        assert.match(await remotive.innerText(), /Updated/);
        assert.equal((await remotive.locator('td.num').innerText()).trim(), '3');
        // Failing sources show their error message next to the status.
        const failedRow = env.locator('tr.row-error').first();
        assert.ok((await failedRow.locator('.source-error').innerText()).length > 5);
        const names = env.bridge.events.map((event) => event.name);
        assert.equal(names.filter((n) => n === 'jobSyncStarted').length, 1);
        assert.equal(names.filter((n) => n === 'jobSyncCompleted').length, 1);
        assert.ok(names.includes('jobSyncProgress'));
        await env.waitFor(async () => (await env.text('.stat[data-stat="totalJobs"] .stat-value')) === '3', 'the job count to reach 3');
        assert.doesNotMatch(await env.text('[data-role="last-sync"]'), /not been updated/);
        await env.shot('dashboard-synced');
      },
    },
    {
      name: 'live progress: a bar when the total is known, then the summary',
      async run(env) {
        await env.require('getSettings');
        await env.ready();
        const send = (envelope) => env.page.evaluate((e) => window.__velmoraReceive(e), envelope);
        await send({ type: 'event', name: 'jobSyncStarted', data: { message: 'Updating remote jobs…' } });
        assert.equal(await env.text('[data-role="sync-message"]'), 'Updating remote jobs…');
        assert.equal(await env.count('.progress.indeterminate'), 1);
        await env.visible('.sidebar-sync');
        await send({ type: 'event', name: 'jobSyncProgress', data: { message: 'Searching Himalayas…', current: 40, total: 160 } });
        assert.equal(await env.text('[data-role="sync-message"]'), 'Searching Himalayas…');
        const width = await env.page.$eval('.progress-fill', (el) => el.style.width);
        assert.equal(width, '25%');
        assert.equal(await env.locator('[data-action="sync"]').isDisabled(), true);
        await env.shot('dashboard-syncing');
        await send({
          type: 'event',
          name: 'jobSyncCompleted',
          data: { imported: 7, expiredRemoved: 2, completedAt: new Date().toISOString(), sources: [{ source: 'Jobicy', status: 'error', imported: 0, error: 'Job source returned an HTTP error.' }, { source: 'Remote OK', status: 'ok', imported: 7 }] },
        });
        await env.visible('[data-role="sync-summary"]');
        assert.match(await env.text('tr[data-source="Jobicy"]'), /Job source returned an HTTP error\./);
        assert.equal(await env.count('.sidebar-sync'), 0);
      },
    },
    {
      name: 'update jobs now runs a second sync from the button',
      async run(env) {
        await env.require('startupSyncJobs');
        const before = env.bridge.events.filter((e) => e.name === 'jobSyncCompleted').length;
        await env.click('[data-action="sync"]');
        await env.waitFor(async () => env.bridge.events.filter((e) => e.name === 'jobSyncCompleted').length === before + 1, 'the second sync', 120000);
        await env.visible('tr[data-source="Remotive"]');
        // Remotive was fetched minutes ago and is inside its own interval now.
        assert.match(await env.text('tr[data-source="Remotive"]'), /Up to date/);
      },
    },
    {
      name: 'settings are saved and the searchable country list stores code and name',
      async run(env) {
        await env.require('getSettings', 'saveSettings');
        await env.go('settings');
        await env.locator('[data-field="jobTitle"]').fill('Backend engineer');
        await env.locator('[data-field="keywords"]').fill('go postgres');
        await env.locator('[data-field="searchIntervalHours"]').selectOption('6');
        await env.locator('[data-role="country-search"]').fill('germ');
        await env.click('.country-options li[data-code="DE"]');
        assert.match(await env.text('[data-role="country-selected"]'), /Germany \(DE\)/);
        assert.equal(await env.locator('input[name="locationMode"][value="home"]').isChecked(), true);
        await env.shot('settings');
        await env.click('[data-action="save-settings"]');
        await env.visible('.toast-success:has-text("Settings saved.")');
        const saved = await env.call('getSettings');
        assert.equal(saved.jobTitle, 'Backend engineer');
        assert.equal(saved.keywords, 'go postgres');
        assert.equal(saved.searchIntervalHours, '6');
        assert.equal(saved.locationMode, 'home');
        assert.equal(saved.homeCountryCode, 'DE');
        assert.equal(saved.homeCountryName, 'Germany');
        await env.go('jobs');
        assert.match(await env.text('[data-role="location-filter"]'), /Germany/);
        await env.shot('jobs-location-filter');
      },
    },
    {
      name: 'changing the language re-renders the page at once and survives a reload',
      async run(env) {
        await env.require('getSettings', 'saveSettings');
        await env.go('settings');
        await env.locator('[data-field="jobTitle"]').fill('Unsaved title');
        await env.locator('[data-field="language"]').selectOption('de');
        await env.waitFor(async () => (await env.page.getAttribute('html', 'lang')) === 'de', 'lang="de"');
        assert.equal((await env.text('.nav-item[data-screen="settings"]')).trim(), 'Einstellungen');
        assert.equal(await env.text('.screen h1'), 'Einstellungen');
        // An edit that was not saved yet stays in the form.
        assert.equal(await env.locator('[data-field="jobTitle"]').inputValue(), 'Unsaved title');
        assert.equal((await env.call('getSettings')).language, 'de');
        await env.shot('settings-de');
        await env.load();
        await env.ready();
        assert.equal((await env.text('.nav-item[data-screen="dashboard"]')).trim(), 'Übersicht');
        for (const [code, word] of [['fr', 'Paramètres'], ['es', 'Ajustes'], ['it', 'Impostazioni'], ['pt', 'Configurações'], ['en', 'Settings']]) {
          await env.go('settings');
          await env.locator('[data-field="language"]').selectOption(code);
          await env.waitFor(async () => (await env.text('.nav-item[data-screen="settings"]')).trim() === word, `the ${code} label "${word}"`);
        }
      },
    },
  ],
};
