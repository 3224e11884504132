// Exactly one full page of listings, one for each trust label: no page to turn to, and each
// label wears its own colour, danger in red and trust in green.
import assert from 'node:assert/strict';

const LABELS = [
  ['Quorvane Checked', 85],
  ['Checked', 72],
  ['Review', 65],
  ['High Risk', 30],
  ['Blocked', 0],
];

function listings() {
  const now = Date.now();
  return Array.from({ length: 50 }, (_, i) => ({
    title: `Badge Role ${String(i).padStart(2, '0')}`,
    company: 'Harbor Nine',
    url: `https://jobs.example.com/badge-${i}`,
    publishedAt: new Date(now - (i + 1) * 3600000).toISOString(),
    securityLabel: LABELS[i % LABELS.length][0],
    securityScore: LABELS[i % LABELS.length][1],
  }));
}

function rgb(color) {
  const [r, g, b] = color.match(/\d+/g).map(Number);
  return { r, g, b };
}

export default {
  name: 'badges',
  async setup(env) {
    await env.boot({ jobs: listings(), settings: { lastJobSync: new Date().toISOString() } });
  },
  tests: [
    {
      name: 'one full page has no next page, and every trust label has its own colour',
      async run(env) {
        await env.require('getJobs');
        await env.ready();
        await env.go('jobs');
        await env.waitFor(async () => (await env.count('article.job')) === 50, '50 job cards');
        assert.equal(await env.locator('[data-action="next"]').isDisabled(), true);

        const colours = {};
        for (const [label] of LABELS) {
          const badge = env.locator(`article.job .trust[data-label="${label}"]`).first();
          colours[label] = rgb(await badge.evaluate((node) => getComputedStyle(node).backgroundColor));
        }
        const distinct = new Set(Object.values(colours).map((c) => `${c.r},${c.g},${c.b}`));
        assert.equal(distinct.size, LABELS.length, JSON.stringify(colours));
        for (const label of ['High Risk', 'Blocked']) assert.ok(colours[label].r > colours[label].g, `${label} is red`);
        for (const label of ['Quorvane Checked', 'Checked']) assert.ok(colours[label].g > colours[label].r, `${label} is green`);
        assert.ok(colours.Review.r > colours.Review.b, 'Review is amber');
      },
    },
  ],
};
