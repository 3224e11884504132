// Jobs: search, categories, paging, triage (marks, filters, saved searches, one row per posting),
// opening a risky or blocked link, the link check, hostile listing text, and the application
// tracker fed by opened jobs.
import assert from 'node:assert/strict';

const CATEGORIES = ['Software & IT', 'Data & AI', 'Marketing'];
const HOSTILE_TITLE = '<img src=x onerror="window.__pwned=1"> Staff Engineer';
const HOSTILE_DESCRIPTION = '<script>window.__pwned=2</script><b>bold?</b> & <i onmouseover="window.__pwned=3">hover</i>';

function listings() {
  const now = Date.now();
  const jobs = [];
  for (let i = 0; i < 120; i++) {
    jobs.push({
      title: `Remote Role ${String(i).padStart(3, '0')}`,
      company: i % 2 ? 'Northwind Labs' : 'Bluefin Works',
      category: CATEGORIES[i % 3],
      location: 'Worldwide',
      description: `Listing number ${i}. Work with a friendly distributed team.`,
      url: `https://remotive.com/remote-jobs/fixture-${i}`,
      // Newest first: role 000 is the most recent.
      publishedAt: new Date(now - (i + 10) * 3600000).toISOString(),
      tags: 'Full-time, Remote',
    });
  }
  jobs.push(
    {
      title: 'Zephyr Payroll Specialist',
      company: 'Quick Cash Hiring',
      category: 'Finance & Accounting',
      description: 'Pay a small fee to start.',
      url: 'http://jobs.example.net/apply',
      publishedAt: new Date(now - 3600000).toISOString(),
      securityScore: 10,
      securityLabel: 'High Risk',
    },
    {
      title: 'Zephyr Mail Clerk',
      company: 'Mail Only Inc',
      category: 'Other Remote Jobs',
      url: 'mailto:jobs@example.net',
      publishedAt: new Date(now - 2 * 3600000).toISOString(),
      securityScore: 0,
      securityLabel: 'Blocked',
    },
    {
      title: HOSTILE_TITLE,
      company: '<b>Evil Corp</b>',
      category: 'Software & IT',
      description: HOSTILE_DESCRIPTION,
      url: 'https://remotive.com/remote-jobs/hostile',
      publishedAt: new Date(now - 3 * 3600000).toISOString(),
      tags: '<svg onload=alert(1)>',
    },
  );
  // One posting on two boards.
  for (const [source, url] of [['Remotive', 'https://remotive.com/remote-jobs/harbor-data'], ['Jobicy', 'https://jobicy.com/jobs/harbor-data']]) {
    jobs.push({
      title: 'Harbor Data Engineer',
      company: 'Harbor Nine',
      source,
      category: 'Data & AI',
      description: 'Pipelines and dashboards.',
      url,
      publishedAt: new Date(now - 5 * 3600000).toISOString(),
      tags: 'Contract',
    });
  }
  return jobs;
}

export default {
  name: 'jobs',
  async setup(env) {
    const day = (n) => new Date(Date.now() - n * 86400000).toISOString();
    await env.boot({
      jobs: listings(),
      settings: { lastJobSync: new Date().toISOString() },
      applications: [
        { title: 'Older Application', company: 'Harbor Nine', url: 'https://jobs.example.com/older', firstOpenedAt: day(9), lastOpenedAt: day(8), status: 'Applied', notes: 'Sent on Monday' },
        { title: 'Newer Application', company: 'Lumen Tide', url: 'https://jobs.example.com/newer', firstOpenedAt: day(3), lastOpenedAt: day(1) },
      ],
    });
  },
  tests: [
    {
      name: 'categories with counts, search as you type, paging of 50',
      async run(env) {
        await env.require('getJobs', 'getCategories');
        await env.ready();
        await env.go('jobs');
        await env.waitFor(async () => (await env.count('article.job')) === 50, '50 job cards');
        assert.match(await env.text('.cat[data-category="All"]'), /124/);
        assert.match(await env.text('.cat[data-category="Software & IT"]'), /41/);
        // Newest first.
        assert.match(await env.locator('article.job .job-title').first().innerText(), /Zephyr Payroll Specialist/);
        await env.shot('jobs');
        await env.click('[data-action="next"]');
        await env.waitFor(async () => (await env.text('[data-role="page-info"]')).includes('51'), 'page 2');
        assert.equal(await env.count('article.job'), 50);
        await env.click('[data-action="next"]');
        await env.waitFor(async () => (await env.count('article.job')) === 24, 'the last 24 listings on page 3');
        assert.equal(await env.locator('[data-action="next"]').isDisabled(), true);
        await env.click('[data-action="prev"]');
        await env.waitFor(async () => (await env.count('article.job')) === 50, 'page 2 again');

        await env.locator('[data-role="search"]').pressSequentially('zephyr', { delay: 30 });
        await env.waitFor(async () => (await env.count('article.job')) === 2, 'two search results');
        assert.match(await env.text('[data-role="page-info"]'), /1–2/);
        await env.locator('[data-role="search"]').fill('no such words anywhere');
        await env.visible('.empty');
        await env.locator('[data-role="search"]').fill('');
        await env.click('.cat[data-category="Marketing"]');
        await env.waitFor(async () => (await env.count('article.job')) === 40, 'the 40 marketing listings');
        await env.click('.cat[data-category="All"]');
        await env.waitFor(async () => (await env.count('article.job')) === 50, 'all categories again');
      },
    },
    {
      name: 'a late reply to an older search never replaces the newer results',
      async run(env) {
        await env.require('getJobs');
        await env.ready();
        await env.go('jobs');
        await env.locator('[data-role="search"]').fill('');
        await env.waitFor(async () => (await env.count('article.job')) === 50, 'the full first page');
        env.delayNextReply('getJobs', 1500);
        await env.locator('[data-role="search"]').fill('Remote Role 11');
        await env.page.waitForTimeout(450);
        await env.locator('[data-role="search"]').fill('Zephyr Mail');
        await env.titles(['Zephyr Mail Clerk']);
        // The held-back reply for "Remote Role 11" arrives now and must be ignored.
        await env.page.waitForTimeout(1600);
        assert.deepEqual(await env.locator('article.job .job-title').allInnerTexts(), ['Zephyr Mail Clerk']);
      },
    },
    {
      name: 'a compact row shows its trust rating out of 100; its details open in the side pane',
      async run(env) {
        await env.require('getJobs');
        await env.locator('[data-role="search"]').fill('Remote Role 007');
        await env.titles(['Remote Role 007']);
        const card = env.locator('article.job').first();
        assert.equal(await card.locator('.trust').innerText(), 'Quorvane Checked · 85/100');
        assert.equal(await env.locator('#job-pane').isHidden(), true);
        await card.locator('[data-action="details"]').click();
        const pane = env.locator('#job-pane');
        assert.match(await pane.locator('.job-description').innerText(), /Listing number 7\./);
        assert.match(await pane.innerText(), /Full-time/);
        assert.match(await pane.innerText(), /Data & AI|Software & IT|Marketing/);
        await env.shot('jobs-details');
        await pane.locator('[data-action="close-pane"]').click();
        assert.equal(await pane.isHidden(), true);
      },
    },
    {
      name: 'hostile listing text is shown literally and nothing executes',
      async run(env) {
        await env.require('getJobs');
        await env.locator('[data-role="search"]').fill('Staff Engineer');
        await env.titles([HOSTILE_TITLE]);
        const card = env.locator('article.job').first();
        await card.locator('[data-action="details"]').click();
        const pane = env.locator('#job-pane');
        assert.equal(await card.locator('.job-title').innerText(), HOSTILE_TITLE);
        assert.equal(await card.locator('.job-company').innerText(), '<b>Evil Corp</b>');
        assert.equal(await pane.locator('.pane-title').innerText(), HOSTILE_TITLE);
        assert.equal(await pane.locator('.job-description').innerText(), HOSTILE_DESCRIPTION);
        assert.match(await pane.locator('.chips').innerText(), /<svg onload=alert\(1\)>/);
        await pane.locator('.job-description').hover();
        assert.equal(await env.page.evaluate(() => window.__pwned), undefined);
        assert.equal(await env.count('main img, main script, main svg:not(.icon), main b, main i'), 0);
        await env.shot('jobs-hostile');
        await pane.locator('[data-action="close-pane"]').click();
      },
    },
    {
      name: 'triage: one row per posting, save and hide, filters remembered, saved searches',
      async run(env) {
        await env.require('getJobs', 'setJobMark', 'saveSearch', 'getSavedSearches', 'deleteSavedSearch');
        await env.locator('[data-role="search"]').fill('Harbor Data');
        await env.titles(['Harbor Data Engineer']);
        const row = env.locator('article.job').first();
        assert.match(await row.locator('[data-role="also-on"]').innerText(), /Also on Jobicy/);
        await row.locator('[data-action="details"]').click();
        const pane = env.locator('#job-pane');
        await pane.locator('[data-action="save"]').click();
        await env.waitFor(async () => (await row.locator('[data-role="mark"]').count()) === 1, 'the saved mark');
        assert.equal(await row.locator('[data-role="mark"]').innerText(), 'Saved');
        await pane.locator('[data-action="hide"]').click();
        await env.visible('.empty');
        await env.locator('[data-role="include-hidden"]').check();
        await env.titles(['Harbor Data Engineer']);
        assert.equal(await env.locator('article.job [data-role="mark"]').innerText(), 'Hidden');
        await env.locator('[data-role="include-hidden"]').uncheck();
        await env.visible('.empty');
        // The posting's other link is hidden with it.
        const hidden = await env.call('getJobs', { query: 'Harbor Data', includeHidden: true });
        assert.equal(hidden.length, 1);
        assert.equal(hidden[0].alsoOn.length, 1);

        await env.locator('[data-role="search"]').fill('');
        await env.locator('[data-role="job-type"]').selectOption('contract');
        await env.visible('.empty');
        await env.locator('[data-role="job-type"]').selectOption('full-time');
        await env.waitFor(async () => (await env.count('article.job')) === 50, 'the full-time listings');
        await env.locator('[data-role="sort"]').selectOption('match');
        await env.waitFor(async () => (await env.count('article.job')) === 50, 'the list in match order');
        await env.go('dashboard');
        await env.go('jobs');
        assert.equal(await env.locator('[data-role="job-type"]').inputValue(), 'full-time');
        assert.equal(await env.locator('[data-role="sort"]').inputValue(), 'match');

        await env.click('[data-action="save-search"]');
        await env.waitFor(async () => (await env.count('.saved-search')) === 1, 'the saved search');
        await env.shot('jobs-triage');
        await env.locator('.saved-search [data-action="delete-search"]').click();
        await env.waitFor(async () => (await env.count('.saved-search')) === 0, 'the deleted search');
        await env.locator('[data-role="job-type"]').selectOption('');
        await env.locator('[data-role="sort"]').selectOption('newest');
        await env.waitFor(async () => (await env.count('article.job')) === 50, 'every listing again');
      },
    },
    {
      name: 'opening a risky link asks first and names the warning checks; a blocked link is refused',
      async run(env) {
        await env.require('getJobs', 'openJob', 'getApplications');
        await env.locator('[data-role="search"]').fill('Zephyr');
        await env.titles(['Zephyr Payroll Specialist', 'Zephyr Mail Clerk']);
        const risky = env.locator('article.job', { hasText: 'Zephyr Payroll Specialist' });
        await risky.locator('[data-action="open"]').click();
        const dialog = await env.visible('dialog.confirm');
        assert.match(await dialog.innerText(), /Connection is not HTTPS\./);
        assert.doesNotMatch(await dialog.innerText(), /Destination is an external employer/);
        await env.shot('jobs-confirm');
        const before = (await env.call('getApplications')).length;
        await dialog.locator('button', { hasText: 'Cancel' }).click();
        assert.equal((await env.call('getApplications')).length, before);
        await risky.locator('[data-action="open"]').click();
        await (await env.visible('dialog.confirm')).locator('[data-confirm]').click();
        await env.visible('.toast-success:has-text("Zephyr Payroll Specialist")');
        const apps = await env.call('getApplications');
        assert.equal(apps.length, before + 1);
        assert.ok(apps.some((a) => a.title === 'Zephyr Payroll Specialist'));

        const blocked = env.locator('article.job', { hasText: 'Zephyr Mail Clerk' });
        await blocked.locator('[data-action="open"]').click();
        await env.waitFor(async () => (await env.locator('.toast-error').count()) > 0, 'the blocked message');
        assert.match(await env.locator('.toast-error').last().innerText(), /blocked this link/);
        assert.equal((await env.call('getApplications')).length, before + 1);
      },
    },
    {
      name: 'the link check rates any address',
      async run(env) {
        await env.require('assessUrl');
        await env.click('.tab[data-tab="link"]');
        await env.locator('[data-role="link-url"]').fill('http://jobs.example.org:8080/apply');
        await env.click('[data-action="assess"]');
        const result = await env.visible('[data-role="assessment"]');
        const text = await result.innerText();
        assert.match(text, /High Risk/);
        assert.match(text, /jobs\.example\.org/);
        assert.match(text, /Non-standard web port detected\./);
        await env.shot('jobs-link-check');
        await env.click('.tab[data-tab="listings"]');
      },
    },
    {
      name: 'applications: newest first, status and notes saved, delete with confirmation',
      async run(env) {
        await env.require('getApplications', 'updateApplication', 'deleteApplication');
        await env.go('applications');
        await env.waitFor(async () => (await env.count('article.application')) >= 2, 'the tracked applications');
        const titles = await env.locator('article.application h3').allInnerTexts();
        assert.ok(titles.indexOf('Newer Application') < titles.indexOf('Older Application'), `newest first: ${titles}`);
        const older = env.locator('article.application', { hasText: 'Older Application' });
        assert.equal(await older.locator('[data-role="status"]').inputValue(), 'Applied');
        assert.deepEqual(await older.locator('[data-role="status"] option').allTextContents(), ['Saved', 'Opened', 'Applied', 'Interviewing', 'Offer', 'Rejected', 'Withdrawn']);
        const newer = env.locator('article.application', { hasText: 'Newer Application' });
        await newer.locator('summary').click();
        await newer.locator('[data-role="status"]').selectOption('Interviewing');
        await newer.locator('[data-role="notes"]').fill('Call with <Dana> on Friday');
        await env.waitFor(async () => (await env.call('getApplications')).find((a) => a.title === 'Newer Application').notes !== '', 'the note to save itself');
        const saved = (await env.call('getApplications')).find((a) => a.title === 'Newer Application');
        assert.equal(saved.status, 'Interviewing');
        assert.equal(saved.notes, 'Call with <Dana> on Friday');
        await env.shot('applications');
        await env.go('dashboard');
        await env.go('applications');
        await env.waitFor(async () => (await newer.locator('[data-role="status"]').inputValue()) === 'Interviewing', 'the saved status after a reload');
        assert.equal(await newer.locator('[data-role="notes"]').inputValue(), 'Call with <Dana> on Friday');
        await older.locator('summary').click();
        await older.locator('[data-action="delete"]').click();
        await (await env.visible('dialog.confirm')).locator('button', { hasText: 'Cancel' }).click();
        assert.equal(await older.count(), 1);
        await older.locator('[data-action="delete"]').click();
        await (await env.visible('dialog.confirm')).locator('[data-confirm]').click();
        await env.waitFor(async () => (await older.count()) === 0, 'the deleted application to disappear');
        assert.equal((await env.call('getApplications')).some((a) => a.title === 'Older Application'), false);
      },
    },
    {
      name: 'an opened job becomes a tracked application that can be reopened',
      async run(env) {
        await env.require('getJobs', 'openJob', 'getApplications', 'reopenApplication');
        await env.go('jobs');
        await env.locator('[data-role="search"]').fill('Remote Role 001');
        await env.titles(['Remote Role 001']);
        await env.locator('article.job [data-action="open"]').click();
        await env.waitFor(async () => (await env.call('getApplications')).some((a) => a.title === 'Remote Role 001'), 'the recorded application');
        await env.go('applications');
        // Listings saved earlier sit in the Saved column before it; the opened one leads its own.
        const opened = env.locator('article.application', { hasText: 'Remote Role 001' });
        await env.waitFor(async () => (await opened.count()) === 1, 'the opened job on the board');
        await opened.locator('summary').click();
        await opened.locator('[data-action="reopen"]').click();
        await env.waitFor(async () => (await env.locator('.toast-success', { hasText: 'Remote Role 001' }).count()) > 0, 'the reopen confirmation');
      },
    },
  ],
};
