// Resume Studio when the library key is gone: the stored resumes are not shown as an empty
// library without a word; the page says how many cannot be opened and why.
import assert from 'node:assert/strict';
import path from 'node:path';
import { rmSync } from 'node:fs';

function resume(name) {
  return {
    id: 0, name, template: 'modern', targetRole: 'Data Engineer', seniority: 'Senior', pageCount: 1, language: 'en',
    contact: 'Avery Quinn', summary: 'Builds pipelines.', skills: 'SQL', experience: '', education: '', certifications: '',
    projects: '', coverLetter: '', coverLetterTemplate: '', atsScore: 0, matchedKeywords: [], missingKeywords: [],
    sourceFacts: '', jobDescription: '', createdAt: '', updatedAt: '',
  };
}

export default {
  name: 'unreadable library',
  async setup(env) {
    await env.boot();
    await env.ready();
    await env.require('getResumeStudioStatus');
    for (const name of ['Kept one', 'Kept two']) await env.call('saveResumeStudio', resume(name));
    // The next start finds no key file, as after a careless clean-up or a partial restore.
    await env.bridge.stop();
    rmSync(path.join(env.dataDir, 'SecureStore', 'resume.library.encryption.key.v1.bin'));
    env.bridge.start();
  },
  tests: [
    {
      name: 'the library names how many resumes cannot be opened and why',
      async run(env) {
        await env.go('studio');
        await env.click('.tab[data-tab="library"]');
        const notice = await env.text('[data-role="library-unreadable"]');
        assert.match(notice, /Saved resumes that cannot be opened: 2/);
        assert.match(notice, /encryption key is missing/);
        assert.equal(await env.count('article.library-item'), 0);
        await env.shot('studio-unreadable');
        const status = await env.call('getResumeStudioStatus');
        assert.equal(status.reason, 'missing_key');
      },
    },
  ],
};
