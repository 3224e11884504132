// The application tracker: adding by hand, moving across the board by keyboard, notes that
// save themselves and survive leaving the screen, the list view, follow-ups on the dashboard
// and the CSV export.
import assert from 'node:assert/strict';
import path from 'node:path';
import { readFileSync } from 'node:fs';

const day = (n) => new Date(Date.now() - n * 86400000).toISOString();
const date = (n) => day(n).slice(0, 10);

export default {
  name: 'tracker',
  async setup(env) {
    env.csvPath = path.join(env.dir, 'tracker-export');
    await env.boot({
      settings: { lastJobSync: new Date().toISOString() },
      applications: [
        { title: 'Opened Only', company: 'Harbor Nine', url: 'https://jobs.example.com/opened', firstOpenedAt: day(4), lastOpenedAt: day(4) },
        { title: 'Waiting Reply', company: 'Lumen Tide', url: 'https://jobs.example.com/waiting', firstOpenedAt: day(12), lastOpenedAt: day(10), status: 'Applied', notes: 'Sent on Monday' },
      ],
      dialogs: { save: [env.csvPath, null] },
    });
    // A follow-up that is overdue, set the way the page sets it.
    const waiting = (await env.call('getApplications')).find((a) => a.title === 'Waiting Reply');
    await env.call('updateApplication', { id: waiting.id, followUpAt: date(2) });
  },
  tests: [
    {
      name: 'add by hand, move by keyboard, a typed note survives leaving the screen',
      async run(env) {
        await env.require('getApplications', 'addApplication', 'updateApplication');
        await env.ready();
        await env.go('applications');
        await env.visible('.board-column[data-stage="Applied"] .app-card');
        assert.equal(await env.text('.board-column[data-stage="Applied"] [data-role="count"]'), '1');
        assert.match(await env.text('.app-card:has-text("Waiting Reply") [data-role="follow-up"]'), /overdue/);

        await env.click('[data-action="add"]');
        const form = await env.visible('[data-role="add-form"]');
        await form.locator('[name="title"]').fill('Platform Engineer');
        await form.locator('[name="company"]').fill('Nordlicht GmbH');
        await form.locator('[name="url"]').fill('ftp://files.example.com/job');
        await form.locator('button[type="submit"]').click();
        await env.visible('[data-role="add-error"]:has-text("http or https")');
        await env.shot('tracker-add');
        assert.equal((await env.call('getApplications')).some((a) => a.title === 'Platform Engineer'), false);
        await form.locator('[name="url"]').fill('https://nordlicht.example/jobs/42');
        await form.locator('button[type="submit"]').click();
        await env.visible('.toast-success:has-text("Application added.")');
        const card = env.locator('.app-card', { hasText: 'Platform Engineer' });
        await env.waitFor(async () => (await card.getAttribute('aria-label') || '').includes('Saved'), 'the new card in Saved');
        assert.equal(await env.count('.board-column[data-stage="Saved"] .app-card'), 1);

        // Two steps right by keyboard: Saved → Opened → Applied, each announced.
        await card.focus();
        await env.page.keyboard.press('ArrowRight');
        await env.waitFor(async () => (await env.count('.board-column[data-stage="Opened"] .app-card:has-text("Platform Engineer")')) === 1, 'the card in Opened');
        await env.waitFor(async () => (await env.text('[aria-live="polite"].sr-only')).includes('Opened'), 'the move announced');
        await env.page.keyboard.press('ArrowRight');
        await env.waitFor(async () => (await env.count('.board-column[data-stage="Applied"] .app-card:has-text("Platform Engineer")')) === 1, 'the card in Applied');
        assert.equal(await env.page.evaluate(() => document.activeElement?.closest('.app-card')?.querySelector('h3')?.textContent), 'Platform Engineer', 'focus stays on the moved card');
        let saved = (await env.call('getApplications')).find((a) => a.title === 'Platform Engineer');
        assert.equal(saved.status, 'Applied');
        assert.ok(saved.appliedAt, 'appliedAt set');
        assert.deepEqual(saved.history.map((step) => step.status), ['Saved', 'Opened', 'Applied']);

        // A note typed and left at once, before the pause that saves it.
        await card.locator('summary').click();
        await card.locator('[data-role="notes"]').fill('Recruiter: Jana, call Thursday');
        await env.go('dashboard');
        await env.go('applications');
        const back = env.locator('.app-card', { hasText: 'Platform Engineer' });
        await back.locator('summary').click();
        await env.waitFor(async () => (await back.locator('[data-role="notes"]').inputValue()) === 'Recruiter: Jana, call Thursday', 'the note after coming back');
        await env.waitFor(async () => (await env.call('getApplications')).find((a) => a.title === 'Platform Engineer').notes === 'Recruiter: Jana, call Thursday', 'the note stored');
        await back.locator('details').evaluate((details) => {
          details.open = true;
        });
        await env.shot('tracker-board');
      },
    },
    {
      name: 'list view sorts and filters by stage',
      async run(env) {
        await env.require('getApplications');
        await env.go('applications');
        await env.click('[data-view="list"]');
        await env.visible('.tracker-table');
        const titles = async () => env.locator('.tracker-table tbody tr .strong').allInnerTexts();
        await env.click('[data-sort="title"]');
        assert.deepEqual(await titles(), ['Opened Only', 'Platform Engineer', 'Waiting Reply']);
        await env.click('[data-sort="title"]');
        assert.deepEqual(await titles(), ['Waiting Reply', 'Platform Engineer', 'Opened Only']);
        await env.locator('[data-role="stage-filter"]').selectOption('Applied');
        assert.deepEqual((await titles()).sort(), ['Platform Engineer', 'Waiting Reply']);
        await env.shot('tracker-list');
        await env.locator('[data-role="stage-filter"]').selectOption('');
        await env.click('[data-view="board"]');
      },
    },
    {
      name: 'the dashboard counts what was applied to and lists due follow-ups first',
      async run(env) {
        await env.require('getDashboard');
        await env.go('dashboard');
        await env.waitFor(async () => (await env.text('.stat[data-stat="applied"] .stat-value')) === '2', 'two applied');
        const followUps = await env.visible('[data-role="follow-ups"]');
        assert.match(await followUps.innerText(), /Waiting Reply/);
        assert.doesNotMatch(await followUps.innerText(), /Platform Engineer/); // due in a week
        const order = await env.page.evaluate(() => [...document.querySelector('.screen').children].map((el) => el.dataset.role || el.className));
        assert.ok(order.indexOf('follow-ups') < order.indexOf('stats'), `follow-ups before the counts: ${order}`);
        await env.shot('tracker-dashboard');
      },
    },
    {
      name: 'export CSV writes every entry to the chosen file; a cancelled dialog writes nothing',
      async run(env) {
        await env.require('exportApplicationsCsv');
        await env.go('applications');
        await env.click('[data-action="export"]');
        await env.visible('.toast-success:has-text("tracker-export.csv")');
        const lines = readFileSync(`${env.csvPath}.csv`, 'utf8').replace(/^\uFEFF/, '').split('\r\n');
        assert.equal(lines[0], 'Title,Company,Link,Stage,Applied,Follow-up,Stage changed,First opened,Last opened,Notes');
        assert.equal(lines.filter(Boolean).length, 4);
        assert.ok(lines.some((line) => line.startsWith('Platform Engineer,Nordlicht GmbH,https://nordlicht.example/jobs/42,Applied,') && line.endsWith(',"Recruiter: Jana, call Thursday"')), lines.join('\n'));
        await env.click('[data-action="export"]');
        await env.waitFor(async () => env.locator('[data-action="export"]').isEnabled(), 'the cancelled export to finish');
        assert.equal(await env.count('.toast-error'), 0);
      },
    },
    {
      name: 'the board reads in every language',
      async run(env) {
        await env.require('getSettings', 'saveSettings');
        const settings = await env.call('getSettings');
        for (const code of ['es', 'fr', 'de', 'it', 'pt', 'en']) {
          await env.call('saveSettings', { ...settings, language: code });
          await env.load();
          await env.ready();
          await env.go('applications');
          await env.visible('.board-column[data-stage="Applied"] .app-card');
          if (code !== 'en') assert.notEqual(await env.text('[data-action="add"]'), 'Add application', code);
          await env.shot(`tracker-board-${code}`);
        }
      },
    },
  ],
};
