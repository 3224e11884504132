// The page opened on its own, without the core: a clear notice, no hanging spinners.
import assert from 'node:assert/strict';

export default {
  name: 'standalone',
  async setup(env) {
    await env.boot({ adapter: false });
  },
  tests: [
    {
      name: 'without the bridge the page says so and every screen still renders',
      async run(env) {
        const banner = await env.visible('.banner');
        assert.match(await banner.innerText(), /not connected/);
        await env.shot('standalone');
        for (const screen of ['jobs', 'applications', 'resume', 'studio', 'interview', 'profile', 'settings', 'dashboard']) {
          await env.go(screen);
          assert.equal(await env.count('.loading'), 0, `${screen} shows no endless spinner`);
        }
        await env.go('jobs');
        assert.match(await env.text('.empty-error'), /not connected/);
        await env.go('resume');
        await env.click('[data-action="choose"]');
        await env.waitFor(async () => (await env.count('.toast-error')) > 0, 'the not-connected message');
        await env.go('dashboard');
        assert.equal(await env.locator('[data-action="sync"]').isDisabled(), true);
      },
    },
  ],
};
