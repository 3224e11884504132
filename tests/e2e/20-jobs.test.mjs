// Jobs: search, categories, paging, opening a risky or blocked link, the link check, hostile
// listing text, and the application tracker fed by opened jobs.
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
  return jobs;
}

export default {
  name: 'jobs',
  async setup(env) {
    await env.boot({ jobs: listings(), settings: { lastJobSync: new Date().toISOString() } });
  },
  tests: [
    {
      name: 'categories with counts, search as you type, paging of 50',
      async run(env) {
        await env.require('getJobs', 'getCategories');
        await env.ready();
        await env.go('jobs');
        await env.waitFor(async () => (await env.count('article.job')) === 50, '50 job cards');
        assert.match(await env.text('.cat[data-category="All"]'), /123/);
        assert.match(await env.text('.cat[data-category="Software & IT"]'), /41/);
        // Newest first.
        assert.match(await env.locator('article.job .job-title').first().innerText(), /Zephyr Payroll Specialist/);
        await env.shot('jobs');
        await env.click('[data-action="next"]');
        await env.waitFor(async () => (await env.text('[data-role="page-info"]')).includes('51'), 'page 2');
        assert.equal(await env.count('article.job'), 50);
        await env.click('[data-action="next"]');
        await env.waitFor(async () => (await env.count('article.job')) === 23, 'the last 23 listings on page 3');
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
      name: 'a job card shows its trust badge and its description on demand',
      async run(env) {
        await env.require('getJobs');
        await env.locator('[data-role="search"]').fill('Remote Role 007');
        await env.titles(['Remote Role 007']);
        const card = env.locator('article.job').first();
        assert.match(await card.locator('.trust').innerText(), /Quorvane Checked · 85/);
        assert.equal(await card.locator('.job-description').count(), 0);
        await card.locator('[data-action="details"]').click();
        assert.match(await card.locator('.job-description').innerText(), /Listing number 7\./);
        await env.shot('jobs-details');
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
        assert.equal(await card.locator('.job-title').innerText(), HOSTILE_TITLE);
        assert.equal(await card.locator('.job-company').innerText(), '<b>Evil Corp</b>');
        assert.equal(await card.locator('.job-description').innerText(), HOSTILE_DESCRIPTION);
        assert.match(await card.locator('.chips').innerText(), /<svg onload=alert\(1\)>/);
        await card.locator('.job-description').hover();
        assert.equal(await env.page.evaluate(() => window.__pwned), undefined);
        assert.equal(await env.count('main img, main script, main svg:not(.icon), main b, main i'), 0);
        await env.shot('jobs-hostile');
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
        await dialog.locator('button', { hasText: 'Cancel' }).click();
        assert.deepEqual(await env.call('getApplications'), []);
        await risky.locator('[data-action="open"]').click();
        await (await env.visible('dialog.confirm')).locator('[data-confirm]').click();
        await env.visible('.toast-success');
        const apps = await env.call('getApplications');
        assert.equal(apps.length, 1);
        assert.equal(apps[0].title, 'Zephyr Payroll Specialist');

        const blocked = env.locator('article.job', { hasText: 'Zephyr Mail Clerk' });
        await blocked.locator('[data-action="open"]').click();
        await env.waitFor(async () => (await env.locator('.toast-error').count()) > 0, 'the blocked message');
        assert.match(await env.locator('.toast-error').last().innerText(), /blocked this link/);
        assert.equal((await env.call('getApplications')).length, 1);
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
      name: 'applications: newest first, status and notes saved, reopen, delete with confirmation',
      async run(env) {
        await env.require('getJobs', 'openJob', 'getApplications', 'updateApplication', 'deleteApplication');
        await env.locator('[data-role="search"]').fill('Remote Role 001');
        await env.titles(['Remote Role 001']);
        await env.locator('article.job [data-action="open"]').click();
        await env.waitFor(async () => (await env.call('getApplications')).length === 2, 'the second application');
        await env.go('applications');
        await env.waitFor(async () => (await env.count('article.application')) === 2, 'two tracked applications');
        assert.match(await env.locator('article.application h3').first().innerText(), /Remote Role 001/);
        const first = env.locator('article.application').first();
        await first.locator('[data-role="status"]').selectOption('Interviewing');
        await first.locator('[data-role="notes"]').fill('Call with <Dana> on Friday');
        await first.locator('[data-action="save"]').click();
        await env.visible('.toast-success');
        const saved = (await env.call('getApplications')).find((a) => a.title === 'Remote Role 001');
        assert.equal(saved.status, 'Interviewing');
        assert.equal(saved.notes, 'Call with <Dana> on Friday');
        await env.shot('applications');
        await env.go('dashboard');
        await env.go('applications');
        await env.waitFor(async () => (await env.locator('article.application').first().locator('[data-role="status"]').inputValue()) === 'Interviewing', 'the saved status after a reload');
        await env.require('reopenApplication');
        await env.locator('article.application').first().locator('[data-action="reopen"]').click();
        await env.waitFor(async () => (await env.locator('.toast-success').count()) > 0, 'the reopen confirmation');
        const second = env.locator('article.application', { hasText: 'Zephyr Payroll Specialist' });
        await second.locator('[data-action="delete"]').click();
        await (await env.visible('dialog.confirm')).locator('[data-confirm]').click();
        await env.waitFor(async () => (await env.count('article.application')) === 1, 'one application left');
        assert.equal((await env.call('getApplications')).length, 1);
      },
    },
  ],
};
