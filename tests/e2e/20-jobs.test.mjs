// Jobs and the applications they become: search, categories, paging, trust badges, triage
// (marks, filters, saved searches, one row per posting), risky and blocked links, the link
// check, hostile listing text, and the tracker (board, keyboard moves, notes, list view,
// follow-ups on the dashboard, CSV export).
import assert from 'node:assert/strict';
import { journey } from './harness.mjs';
import path from 'node:path';
import { readFileSync } from 'node:fs';

const HOSTILE_TITLE = '<img src=x onerror="window.__pwned=1"> Staff Engineer';
const HOSTILE_DESCRIPTION = '<script>window.__pwned=2</script><b>bold?</b> & <i onmouseover="window.__pwned=3">hover</i>';
// Each trust label with its score and the colour family of its badge: danger red, trust green.
const LABELS = [['Quorvane Checked', 85, 'green'], ['Checked', 72, 'green'], ['Review', 65, 'amber'], ['High Risk', 30, 'red'], ['Blocked', 0, 'red']];
const HUES = { red: ([r, g]) => r > g, green: ([r, g]) => g > r, amber: ([r, , b]) => r > b };
const hoursAgo = (n) => new Date(Date.now() - n * 3600000).toISOString();
const day = (n) => hoursAgo(24 * n);

// A hundred listings, half in Marketing (exactly one full page), one in ten full-time, each
// trust label in turn; then a risky, a blocked and a hostile one, and one posting on two boards.
function listings() {
  const jobs = Array.from({ length: 100 }, (_, i) => ({
    title: `Remote Role ${String(i).padStart(3, '0')}`,
    category: i % 2 ? 'Marketing' : 'Software & IT',
    url: `https://remotive.com/remote-jobs/fixture-${i}`,
    // Newest first: role 000 is the most recent of them.
    publishedAt: hoursAgo(i + 10),
    tags: i % 10 ? 'Remote' : 'Full-time, Remote',
    securityLabel: LABELS[i % 5][0],
    securityScore: LABELS[i % 5][1],
  }));
  jobs.push(
    { title: 'Zephyr Payroll Specialist', company: 'Quick Cash Hiring', category: 'Finance & Accounting', url: 'http://jobs.example.net/apply', publishedAt: hoursAgo(1), securityScore: 10, securityLabel: 'High Risk' },
    { title: 'Zephyr Mail Clerk', company: 'Mail Only Inc', url: 'mailto:jobs@example.net', publishedAt: hoursAgo(2), securityScore: 0, securityLabel: 'Blocked' },
    { title: HOSTILE_TITLE, company: '<b>Evil Corp</b>', category: 'Data & AI', description: HOSTILE_DESCRIPTION, url: 'https://remotive.com/remote-jobs/hostile', publishedAt: hoursAgo(3), tags: '<svg onload=alert(1)>' },
  );
  for (const [source, url] of [['Remotive', 'https://remotive.com/remote-jobs/harbor-data'], ['Jobicy', 'https://jobicy.com/jobs/harbor-data']]) {
    jobs.push({ title: 'Harbor Data Engineer', company: 'Harbor Nine', source, category: 'Data & AI', url, publishedAt: hoursAgo(5), tags: 'Contract' });
  }
  return jobs;
}

const search = (env, text) => env.locator('[data-role="search"]').fill(text);
const application = async (env, title) => (await env.call('getApplications')).find((a) => a.title === title);
const card = (env, title) => env.locator('article.application', { hasText: title });

const env = journey(async (env) => {
  env.csvPath = path.join(env.dir, 'tracker-export');
  await env.boot({
    jobs: listings(),
    applications: [
      { title: 'Opened Only', company: 'Harbor Nine', url: 'https://jobs.example.com/opened', firstOpenedAt: day(5), lastOpenedAt: day(4) },
      { title: 'Newer Application', company: 'Lumen Tide', url: 'https://jobs.example.com/newer', firstOpenedAt: day(3), lastOpenedAt: day(1) },
      { title: 'Waiting Reply', company: 'Lumen Tide', url: 'https://jobs.example.com/waiting', firstOpenedAt: day(12), lastOpenedAt: day(10), status: 'Applied', notes: 'Sent on Monday' },
    ],
    dialogs: { save: [env.csvPath, null] },
  });
  // A follow-up that is overdue, set the way the page sets it.
  await env.call('updateApplication', { id: (await application(env, 'Waiting Reply')).id, followUpAt: day(2).slice(0, 10) });
});

env.step('categories with counts, paging of 50, a trust colour per label, search as you type, late replies dropped', async () => {
  await env.go('jobs');
  await env.counted('article.job', 50);
  for (const [category, count] of [['All', 104], ['Software & IT', 50], ['Marketing', 50]]) assert.match(await env.text(`.cat[data-category="${category}"]`), new RegExp(count));
  await env.shot('jobs', { narrow: true });

  // Each label its own colour, in its colour family.
  const colours = [];
  for (const [label] of LABELS) colours.push(await env.locator(`article.job .trust[data-label="${label}"]`).first().evaluate((node) => getComputedStyle(node).backgroundColor.match(/\d+/g).slice(0, 3).map(Number)));
  assert.ok(LABELS.every(([, , hue], i) => HUES[hue](colours[i])) && new Set(colours.map(String)).size === LABELS.length, `${colours.join(' | ')}`);

  await env.click('[data-action="next"]');
  await env.waitFor(async () => (await env.text('[data-role="page-info"]')).includes('51'), 'page 2');
  await env.click('[data-action="next"]');
  await env.counted('article.job', 4);
  assert.equal(await env.locator('[data-action="next"]').isDisabled(), true);
  // Exactly one full page has no page after it. The old page stays on show while the new
  // one loads, with its buttons disabled, so the check waits for the list to settle.
  await env.click('.cat[data-category="Marketing"]');
  await env.counted('[aria-busy="true"]', 0);
  await env.counted('article.job', 50);
  assert.equal(await env.locator('[data-action="next"]').isDisabled(), true);
  await env.click('.cat[data-category="All"]');

  // A late reply to an older search never replaces the newer results.
  const late = env.delayNextReply('getJobs', 600);
  await search(env, 'Remote Role 011');
  await late.held();
  await search(env, 'Zephyr Mail');
  await env.titles(['Zephyr Mail Clerk']);
  await late.delivered;
  assert.deepEqual(await env.locator('article.job .job-title').allInnerTexts(), ['Zephyr Mail Clerk']);
});

env.step('a row shows its trust rating; hostile listing text is shown literally in the side pane and nothing executes', async () => {
  await search(env, 'Staff Engineer');
  await env.titles([HOSTILE_TITLE]);
  const row = env.locator('article.job').first();
  assert.equal(await row.locator('.trust').innerText(), 'Quorvane Checked · 85/100');
  const pane = env.locator('#job-pane');
  await row.locator('[data-action="details"]').click();
  assert.equal(await pane.locator('.pane-title').innerText(), HOSTILE_TITLE);
  assert.equal(await pane.locator('.job-description').innerText(), HOSTILE_DESCRIPTION);
  assert.equal(await env.page.evaluate(() => window.__pwned), undefined);
  assert.equal(await env.locator('main img, main script, main svg:not(.icon), main b, main i').count(), 0);
  await env.shot('jobs-hostile');
  await pane.locator('[data-action="close-pane"]').click();
  assert.equal(await pane.isHidden(), true);
});

env.step('triage: one row per posting, save and hide, filters remembered, saved searches', async () => {
  await search(env, 'Harbor Data');
  await env.titles(['Harbor Data Engineer']);
  const row = env.locator('article.job').first();
  assert.match(await row.locator('[data-role="also-on"]').innerText(), /Also on Jobicy/);
  await row.locator('[data-action="details"]').click();
  const pane = env.locator('#job-pane');
  await pane.locator('[data-action="save"]').click();
  await env.waitFor(async () => (await row.locator('[data-role="mark"]').allInnerTexts()).join() === 'Saved', 'the saved mark');
  await pane.locator('[data-action="hide"]').click();
  await env.visible('.empty');
  await env.locator('[data-role="include-hidden"]').check();
  await env.titles(['Harbor Data Engineer']);
  await env.locator('[data-role="include-hidden"]').uncheck();

  await search(env, '');
  await env.locator('[data-role="job-type"]').selectOption('full-time');
  await env.counted('article.job', 10);
  await env.go('dashboard');
  await env.go('jobs');
  assert.equal(await env.locator('[data-role="job-type"]').inputValue(), 'full-time');

  await env.click('[data-action="save-search"]');
  await env.counted('.saved-search', 1);
  await env.locator('.saved-search [data-action="delete-search"]').click();
  await env.counted('.saved-search', 0);
  await env.locator('[data-role="job-type"]').selectOption('');
});

env.step('opening a risky link asks first and names the warning checks; a blocked link is refused; the link check', async () => {
  await search(env, 'Zephyr');
  await env.titles(['Zephyr Payroll Specialist', 'Zephyr Mail Clerk']);
  const tracked = async () => (await env.call('getApplications')).length;
  const before = await tracked();
  const risky = env.locator('article.job', { hasText: 'Zephyr Payroll Specialist' });
  await risky.locator('[data-action="open"]').click();
  const dialog = await env.visible('dialog.confirm');
  assert.match(await dialog.innerText(), /Connection is not HTTPS\./);
  assert.doesNotMatch(await dialog.innerText(), /Destination is an external employer/);
  await env.shot('jobs-confirm');
  await dialog.locator('button', { hasText: 'Cancel' }).click();
  assert.equal(await tracked(), before);
  await risky.locator('[data-action="open"]').click();
  await (await env.visible('dialog.confirm')).locator('[data-confirm]').click();
  await env.visible('.toast-success:has-text("Zephyr Payroll Specialist")');

  await env.locator('article.job', { hasText: 'Zephyr Mail Clerk' }).locator('[data-action="open"]').click();
  await env.visible('.toast-error:has-text("blocked this link")');
  assert.equal(await tracked(), before + 1);

  // The link check rates any address.
  await env.click('.tab[data-tab="link"]');
  await env.locator('[data-role="link-url"]').fill('http://jobs.example.org:8080/apply');
  await env.click('[data-action="assess"]');
  assert.match(await env.text('[data-role="assessment"]'), /High Risk[\s\S]*jobs\.example\.org[\s\S]*Non-standard web port detected\./);
  await env.shot('jobs-link-check');
  await env.click('.tab[data-tab="listings"]');
});

env.step('tracker: add by hand, move by keyboard, a typed note survives leaving the screen', async () => {
  await env.go('applications');
  await env.visible('.board-column[data-stage="Applied"] .app-card');
  assert.equal(await env.text('.board-column[data-stage="Applied"] [data-role="count"]'), '1');
  assert.match(await env.text('.app-card:has-text("Waiting Reply") [data-role="follow-up"]'), /overdue/);

  await env.click('[data-action="add"]');
  const form = await env.visible('[data-role="add-form"]');
  for (const [name, value] of [['title', 'Platform Engineer'], ['company', 'Nordlicht GmbH'], ['url', 'https://nordlicht.example/jobs/42']]) await form.locator(`[name="${name}"]`).fill(value);
  await form.locator('button[type="submit"]').click();
  await env.visible('.toast-success:has-text("Application added.")');
  const added = card(env, 'Platform Engineer');
  await env.waitFor(async () => ((await added.getAttribute('aria-label')) || '').includes('Saved'), 'the new card in Saved');

  // Two steps right by keyboard: Saved → Opened → Applied, each announced.
  await added.focus();
  for (const stage of ['Opened', 'Applied']) {
    await env.page.keyboard.press('ArrowRight');
    await env.counted(`.board-column[data-stage="${stage}"] .app-card:has-text("Platform Engineer")`, 1);
    await env.waitFor(async () => (await env.text('[aria-live="polite"].sr-only')).includes(stage), `the move to ${stage} announced`);
  }
  assert.equal(await env.page.evaluate(() => document.activeElement?.closest('.app-card')?.querySelector('h3')?.textContent), 'Platform Engineer', 'focus stays on the moved card');

  // A note typed and left at once, before the pause that saves it.
  await added.locator('summary').click();
  await added.locator('[data-role="notes"]').fill('Recruiter: Jana, call Thursday');
  await env.go('dashboard');
  await env.go('applications');
  await added.locator('summary').click();
  await env.waitFor(async () => (await added.locator('[data-role="notes"]').inputValue()) === 'Recruiter: Jana, call Thursday', 'the note after coming back');
  await env.waitFor(async () => (await application(env, 'Platform Engineer')).notes === 'Recruiter: Jana, call Thursday', 'the note stored');
  await env.shot('tracker-board', { narrow: true });
});

env.step('tracker: the list view sorts and filters by stage; the dashboard lists due follow-ups first; CSV export', async () => {
  await env.click('[data-view="list"]');
  const titles = async () => env.locator('.tracker-table tbody tr .strong').allInnerTexts();
  await env.click('[data-sort="title"]');
  const ascending = await titles();
  assert.deepEqual(ascending, [...ascending].sort());
  await env.click('[data-sort="title"]');
  assert.deepEqual(await titles(), [...ascending].reverse());
  await env.locator('[data-role="stage-filter"]').selectOption('Applied');
  assert.deepEqual((await titles()).sort(), ['Platform Engineer', 'Waiting Reply']);
  await env.locator('[data-role="stage-filter"]').selectOption('');
  await env.click('[data-view="board"]');

  await env.go('dashboard');
  await env.waitFor(async () => (await env.text('.stat[data-stat="applied"] .stat-value')) === '2', 'two applied');
  assert.match(await env.text('[data-role="follow-ups"]'), /Waiting Reply/);
  const order = await env.page.evaluate(() => [...document.querySelector('.screen').children].map((el) => el.dataset.role || el.className));
  assert.ok(order.indexOf('follow-ups') < order.indexOf('stats'), `follow-ups before the counts: ${order}`);

  // Export CSV writes every entry to the chosen file; a cancelled dialog writes nothing.
  await env.go('applications');
  await env.click('[data-action="export"]');
  await env.visible('.toast-success:has-text("tracker-export.csv")');
  assert.match(readFileSync(`${env.csvPath}.csv`, 'utf8'), /^Platform Engineer,Nordlicht GmbH,/m);
  const errors = await env.locator('.toast-error').count();
  await env.click('[data-action="export"]');
  await env.waitFor(async () => env.locator('[data-action="export"]').isEnabled(), 'the cancelled export to finish');
  assert.equal(await env.locator('.toast-error').count(), errors);
});

env.step('tracker: status and notes saved by themselves, delete asks first, an opened job can be reopened', async () => {
  const newer = card(env, 'Newer Application');
  await newer.locator('summary').click();
  await newer.locator('[data-role="status"]').selectOption('Interviewing');
  // The move redraws the board: text typed before that would go to a box that is replaced.
  await env.visible('section[data-stage="Interviewing"] article.application:has-text("Newer Application") [data-role="notes"]');
  await env.waitFor(async () => (await application(env, 'Newer Application')).status === 'Interviewing', 'the status to save itself');
  await newer.locator('[data-role="notes"]').fill('Call with <Dana> on Friday');
  await env.waitFor(async () => (await application(env, 'Newer Application')).notes === 'Call with <Dana> on Friday', 'the note to save itself');

  const older = card(env, 'Opened Only');
  await older.locator('summary').click();
  await older.locator('[data-action="delete"]').click();
  await (await env.visible('dialog.confirm')).locator('button', { hasText: 'Cancel' }).click();
  assert.equal(await older.count(), 1);
  await older.locator('[data-action="delete"]').click();
  await (await env.visible('dialog.confirm')).locator('[data-confirm]').click();
  await env.waitFor(async () => (await older.count()) === 0, 'the deleted application to disappear');
  assert.equal(await application(env, 'Opened Only'), undefined);

  const reopened = card(env, 'Zephyr Payroll Specialist');
  await reopened.locator('summary').click();
  await reopened.locator('[data-action="reopen"]').click();
  await env.visible('.toast-success:has-text("Zephyr Payroll Specialist")');
});
