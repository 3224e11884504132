import { h, append, replace, options } from '../dom.js';
import { t, language, LANGUAGES, LANGUAGE_NAMES } from '../i18n.js';
import { request } from '../bridge.js';
import { toast, errorText, withBusy, field, copyText } from '../ui.js';

// The question language follows the interface language until the user picks another one.
const state = { title: '', description: '', language: null, languageChosen: false, result: null, error: null };
let resultEl = null;

async function generate(button) {
  await withBusy(button, t('interview.generating'), async () => {
    state.error = null;
    try {
      state.result = await request('generateInterviewQuestions', { title: state.title, description: state.description, language: state.language || language() });
    } catch (error) {
      state.result = null;
      state.error = error;
    }
    renderResult();
  });
}

function renderResult() {
  if (!resultEl || !resultEl.isConnected) return;
  if (state.error) {
    replace(resultEl, h('p', { class: 'inline-error', role: 'alert', dataset: { role: 'interview-error' } }, errorText(state.error)));
    return;
  }
  const r = state.result;
  if (!r) {
    replace(resultEl);
    return;
  }
  const questions = Array.isArray(r.questions) ? r.questions.map(String) : [];
  replace(
    resultEl,
    h(
      'section',
      { class: 'card' },
      h(
        'div',
        { class: 'card-head' },
        h('h2', null, t('interview.questions', { count: questions.length })),
        h(
          'button',
          {
            type: 'button',
            class: 'btn',
            dataset: { action: 'copy-all' },
            on: {
              click: async () => {
                const text = questions.map((q, i) => `${i + 1}. ${q}`).join('\n');
                toast((await copyText(text)) ? t('common.copied') : t('common.copyFailed'), 'success');
              },
            },
          },
          t('interview.copyAll'),
        ),
      ),
      h('p', { class: r.mode === 'private_ai' ? 'notice-line ok' : 'notice-line', dataset: { role: 'interview-notice' } }, String(r.notice || '')),
      h('ol', { class: 'questions' }, questions.map((q) => h('li', null, q))),
    ),
  );
}

export default {
  id: 'interview',
  icon: 'interview',
  labelKey: 'nav.interview',
  render(root) {
    if (!state.languageChosen) state.language = language();
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('interview.title')), h('p', { class: 'lead' }, t('interview.lead')))),
      h(
        'section',
        { class: 'card' },
        h(
          'form',
          {
            on: {
              submit: (e) => {
                e.preventDefault();
                generate(e.target.querySelector('[type=submit]'));
              },
            },
          },
          h(
            'div',
            { class: 'form-grid' },
            field(t('interview.jobTitle'), h('input', { class: 'input', value: state.title, dataset: { field: 'title' }, on: { input: (e) => (state.title = e.target.value) } })),
            field(t('interview.language'), h('select', { class: 'input', dataset: { field: 'language' }, on: { change: (e) => { state.language = e.target.value; state.languageChosen = true; } } }, options(LANGUAGES.map((c) => [c, LANGUAGE_NAMES[c]]), state.language))),
            h(
              'div',
              { class: 'field span-2' },
              h('span', { class: 'field-label' }, t('interview.description')),
              h('textarea', { class: 'input', rows: '8', 'aria-label': t('interview.description'), dataset: { field: 'description' }, on: { input: (e) => (state.description = e.target.value) } }, state.description),
            ),
          ),
          h('div', { class: 'row' }, h('button', { type: 'submit', class: 'btn btn-primary', dataset: { action: 'generate' } }, t('interview.generate'))),
        ),
      ),
      h('div', { ref: (el) => (resultEl = el), 'aria-live': 'polite' }),
    );
    renderResult();
  },
};
