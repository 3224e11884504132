// A new user's first days: the welcome on an empty data folder, the first sync with live
// progress and per-source results, a failing board retried alone, settings and the language
// switch, and the page opened without the core.
import assert from 'node:assert/strict';
import { journey } from './harness.mjs';

// A sample resume, and the contact details the welcome reads from it into these fields.
const RESUME = new URL('../fixtures/resumes/corpus/classic-us.txt', import.meta.url).pathname;
const CONTACT = { fullName: 'JORDAN AVERY', email: 'jordan.avery@example.com', phone: '(503) 555-0142', cityState: 'Portland, OR' };

const env = journey((env) => env.boot({ welcome: true, dialogs: { open: [RESUME] } }));

env.step('welcome first, then one sync with the answers, and a profile pre-filled from the resume', async () => {
  const welcome = await env.visible('dialog[data-role="welcome"]');
  await env.axe('the welcome');
  await env.shot('welcome', { narrow: true });
  // Nothing is fetched before the user said what to look for.
  await env.page.waitForTimeout(300);
  assert.equal(env.seen('jobSyncStarted'), 0);
  assert.equal(await env.page.evaluate(() => document.activeElement?.id), 'welcome-jobTitle');

  // The fixture board's three listings all match the title; the location answer keeps two.
  await welcome.locator('[data-field="jobTitle"]').fill('Fixture');
  await welcome.locator('input[name="welcomeLocationMode"][value="us"]').check();
  await welcome.locator('[data-action="welcome-resume"]').click();
  await env.visible('[data-role="welcome-found"]');
  await welcome.locator('[data-action="welcome-start"]').click();

  // The answers are stored, and the form of the profile waits with the resume's details.
  await env.visible('.screen[data-screen="profile"] [data-role="prefill-notice"]');
  const settings = await env.call('getSettings');
  assert.deepEqual([settings.jobTitle, settings.locationMode, settings.welcomeDone], ['Fixture', 'us', true]);
  for (const [key, value] of Object.entries(CONTACT)) assert.equal(await env.locator(`[data-field="${key}"]`).inputValue(), value, key);

  // A bad value is named at its field, and the save does not go out.
  await env.fill({ email: 'ana@@example', yearsOfExperience: 'lots' });
  await env.click('[data-action="save-profile"]');
  await env.visible('#pf-email-error');
  assert.equal(await env.page.evaluate(() => document.activeElement.id), 'pf-email');
  assert.equal(await env.locator('[data-field="email"]').getAttribute('aria-invalid'), 'true');
  assert.match(await env.text('#pf-yearsOfExperience-error'), /number/);
  assert.equal((await env.call('getApplicationProfile')).fullName, '', 'nothing stored before a valid save');
  await env.fill({ email: CONTACT.email, yearsOfExperience: '7' });
  await env.locator('[data-field="yearsOfExperience"]').blur();
  assert.equal(await env.locator('[data-role="field-error"]').count(), 0);
  await env.click('[data-action="save-profile"]');
  await env.visible('[data-role="save-ok"]');
  const [a, b] = await Promise.all(['.toast', '[data-action="save-profile"]'].map((selector) => env.locator(selector).first().boundingBox()));
  assert.ok(a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y || b.y + b.height <= a.y, 'the toast stays clear of the Save button');
  assert.equal((await env.call('getApplicationProfile')).hasResume, true, 'the resume of the welcome is kept');

  // The first sync ran once, after the welcome, and the list honours the location answer.
  await env.waitFor(async () => env.seen('jobSyncCompleted') === 1, 'the first sync', 120000);
  assert.equal(env.seen('jobSyncStarted'), 1);
  await env.go('jobs');
  await env.titles(['Fixture Backend Engineer', 'Fixture Support Specialist']);
});

env.step('the dashboard shows the four counts, each board\'s result, and live progress of a sync', async () => {
  await env.go('dashboard');
  // Three stored; the location answer keeps two of them on offer.
  await env.waitFor(async () => (await env.text('.stat[data-stat="totalJobs"] .stat-value')) === '2', 'the job count to reach 2');
  assert.equal(await env.locator('.banner').isVisible(), false, 'no start-up warning');
  assert.match(await env.text('[data-role="sync-summary"]'), /3 listings stored/);
  // Failing sources show their error message next to the status.
  assert.ok((await env.locator('tr.row-error .source-error').first().innerText()).length > 5);
  await env.shot('dashboard');
  // The core marks the page while the application browser covers it; the sidebar says how back.
  for (const docked of [false, true, false]) {
    await env.page.evaluate((docked) => document.body.classList.toggle('browser-docked', docked), docked);
    await env.waitFor(async () => (await env.locator('.docked-hint').isVisible()) === docked, `the docked hint ${docked ? 'shown' : 'gone'}`);
  }

  // Live progress: the bar shows the share done and the button waits for the summary.
  const send = (name, data) => env.page.evaluate((e) => window.__velmoraReceive(e), { type: 'event', name, data });
  await send('jobSyncProgress', { message: 'Searching Himalayas…', current: 40, total: 160 });
  assert.equal(await env.page.$eval('.progress-fill', (el) => el.style.width), '25%');
  assert.equal(await env.locator('[data-action="sync"]').isDisabled(), true);
  await env.shot('dashboard-syncing');
  await send('jobSyncCompleted', { imported: 7, completedAt: new Date().toISOString(), sources: [] });
  assert.equal(await env.locator('.sidebar-sync').count(), 0);
});

env.step('after a restart a failing board keeps its status and is retried alone; update now syncs again', async () => {
  await env.load();
  const row = await env.visible('tr[data-source="Jobicy"]');
  assert.match(await row.locator('[data-role="source-kind"]').innerText(), /HTTP 500/);
  const synced = env.seen('jobSyncCompleted');
  await row.locator('[data-action="retry-source"]').click();
  await env.waitFor(async () => env.seen('jobSyncCompleted') === synced + 1, 'the retry', 60000);
  assert.match(await env.text('[data-role="sync-summary"]'), /Jobicy/);
  await env.click('[data-action="sync"]');
  await env.waitFor(async () => env.seen('jobSyncCompleted') === synced + 2, 'the second sync', 60000);
  // Remotive was fetched minutes ago and is inside its own interval now.
  assert.match(await env.text('tr[data-source="Remotive"]'), /Up to date/);
});

env.step('settings are saved, the country list stores code and name, a new language shows at once and stays', async () => {
  await env.go('settings');
  await env.fill({ jobTitle: 'Backend engineer', keywords: 'go postgres' });
  await env.locator('[data-field="searchIntervalHours"]').selectOption('6');
  await env.locator('[data-role="country-search"]').fill('germ');
  await env.click('.country-options li[data-code="DE"]');
  assert.match(await env.text('[data-role="country-selected"]'), /Germany \(DE\)/);
  await env.click('[data-action="save-settings"]');
  await env.visible('.toast-success:has-text("Settings saved.")');
  const { jobTitle, keywords, searchIntervalHours, locationMode, homeCountryCode, homeCountryName } = await env.call('getSettings');
  assert.deepEqual([jobTitle, keywords, searchIntervalHours, locationMode, homeCountryCode, homeCountryName], ['Backend engineer', 'go postgres', '6', 'home', 'DE', 'Germany']);
  await env.go('jobs');
  assert.match(await env.text('[data-role="location-filter"]'), /Germany/);

  // A new language re-renders the page at once, keeps an edit not saved yet, and stays.
  await env.go('settings');
  await env.fill({ jobTitle: 'Unsaved title' });
  await env.locator('[data-field="language"]').selectOption('de');
  await env.waitFor(async () => (await env.text('.nav-item[data-screen="settings"]')).trim() === 'Einstellungen', 'the German label');
  assert.deepEqual([await env.page.getAttribute('html', 'lang'), await env.text('.screen h1')], ['de', 'Einstellungen']);
  assert.equal(await env.locator('[data-field="jobTitle"]').inputValue(), 'Unsaved title');
  await env.shot('settings-de');
  await env.load();
  assert.equal((await env.text('.nav-item[data-screen="dashboard"]')).trim(), 'Übersicht');
});

env.step('without the bridge the page says so and every screen still renders', async () => {
  const bridged = env.page;
  env.page = await env.openPage({ adapter: false });
  try {
    await env.load({ ready: false });
    assert.match(await env.text('.banner'), /not connected/);
    await env.shot('standalone');
    for (const screen of ['jobs', 'applications', 'resume', 'studio', 'interview', 'profile', 'settings', 'dashboard']) {
      await env.go(screen);
      assert.equal(await env.locator('.loading').count(), 0, `${screen} shows no endless spinner`);
    }
    assert.equal(await env.locator('[data-action="sync"]').isDisabled(), true);
    await env.go('jobs');
    assert.match(await env.text('.empty-error'), /not connected/);
  } finally {
    env.page = bridged;
  }
});
