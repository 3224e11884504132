import { h, append, replace } from '../dom.js';
import { t, language } from '../i18n.js';
import { request } from '../bridge.js';
import { formatNumber } from '../format.js';
import { toast, errorText, errorState, withBusy, chips } from '../ui.js';

const state = {
  file: null,
  useAi: false,
  result: null,
  error: null,
  prompt: '',
  generated: null,
  generatedText: '',
  generateError: null,
};

let els = {};

export async function chooseFile() {
  const choice = await request('chooseResumeFile');
  if (choice && choice.selected && choice.path) return { path: String(choice.path), name: String(choice.name || choice.path) };
  return null;
}

async function pick(button) {
  await withBusy(button, null, async () => {
    try {
      const file = await chooseFile();
      if (file) {
        state.file = file;
        state.result = null;
        state.error = null;
        renderChooser();
        renderReport();
      }
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

async function analyze(button) {
  if (!state.file) return;
  await withBusy(button, t('resume.analyzing'), async () => {
    state.error = null;
    if (els.report) els.report.classList.add('refreshing');
    try {
      state.result = await request('analyzeResume', { path: state.file.path, useLocalAi: state.useAi, language: language() });
    } catch (error) {
      state.result = null;
      state.error = error;
    }
    renderReport();
  });
}

function gradeClass(score) {
  if (score >= 90) return 'grade-top';
  if (score >= 70) return 'grade-good';
  if (score >= 60) return 'grade-mid';
  return 'grade-low';
}

function renderChooser() {
  if (!els.chooser) return;
  replace(
    els.chooser,
    h('button', { type: 'button', class: 'btn', dataset: { action: 'choose' }, on: { click: (e) => pick(e.currentTarget) } }, state.file ? t('resume.chooseOther') : t('resume.choose')),
    h('span', { class: state.file ? 'file-name' : 'muted', dataset: { role: 'file-name' } }, state.file ? state.file.name : t('resume.noFile')),
  );
  if (els.analyzeButton) els.analyzeButton.disabled = !state.file;
}

function renderReport() {
  if (!els.report || !els.report.isConnected) return;
  els.report.classList.remove('refreshing');
  if (state.error) {
    replace(els.report, errorState(state.error));
    return;
  }
  const result = state.result;
  if (!result) {
    replace(els.report, h('p', { class: 'muted' }, t('resume.reportIntro')));
    return;
  }
  const a = result.analysis || {};
  const score = Number(a.score) || 0;
  let aiBlock;
  if (result.aiStatus === 'ai_used' && result.aiFeedback) {
    aiBlock = h('div', { class: 'ai-feedback', dataset: { role: 'ai-feedback' } }, String(result.aiFeedback));
  } else if (result.aiStatus === 'ai_unavailable') {
    aiBlock = h('p', { class: 'notice-line', dataset: { role: 'ai-feedback' } }, t('resume.aiUnavailable'));
  } else {
    aiBlock = h('p', { class: 'muted', dataset: { role: 'ai-feedback' } }, t('resume.aiNotRequested'));
  }
  replace(
    els.report,
    h(
      'div',
      { class: 'report', dataset: { role: 'report' } },
      h(
        'div',
        { class: `score-box ${gradeClass(score)}` },
        h('div', { class: 'score-value', dataset: { role: 'score' } }, String(score)),
        h('div', { class: 'score-of' }, '/100'),
        h('div', { class: 'score-grade', dataset: { role: 'grade' } }, t(`grade.${a.grade}`) === `grade.${a.grade}` ? String(a.grade || '') : t(`grade.${a.grade}`)),
        h('div', { class: 'muted small' }, t('resume.words', { count: formatNumber(a.wordCount || 0) })),
        h('div', { class: 'muted small file-name' }, String(result.fileName || '')),
      ),
      h(
        'div',
        { class: 'report-body' },
        h('h3', null, t('resume.strengths')),
        a.strengths && a.strengths.length ? h('ul', { class: 'list-good' }, a.strengths.map((s) => h('li', null, String(s)))) : h('p', { class: 'muted' }, t('resume.none')),
        h('h3', null, t('resume.tips')),
        a.tips && a.tips.length ? h('ul', { class: 'list-tips' }, a.tips.map((s) => h('li', null, String(s)))) : h('p', { class: 'muted' }, t('resume.noTips')),
        h('h3', null, t('resume.keywords')),
        a.keywords && a.keywords.length ? chips(a.keywords.map(String)) : h('p', { class: 'muted' }, t('resume.none')),
        h('h3', null, t('resume.aiFeedback')),
        aiBlock,
        a.privacy ? h('p', { class: 'muted small privacy' }, String(a.privacy)) : null,
      ),
    ),
  );
}

async function generate(button) {
  await withBusy(button, t('resume.generating'), async () => {
    state.generateError = null;
    try {
      state.generated = await request('generateResume', { prompt: state.prompt, language: language() });
      state.generatedText = String((state.generated && state.generated.resume) || '');
    } catch (error) {
      state.generated = null;
      state.generateError = error;
    }
    renderGenerated();
  });
}

async function saveText(button) {
  await withBusy(button, t('common.saving'), async () => {
    try {
      const result = await request('saveTextFile', { text: state.generatedText, suggestedName: 'Velmora-Resume.txt' });
      if (result && result.saved) toast(t('common.savedTo', { path: String(result.path || '') }), 'success');
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

function renderGenerated() {
  if (!els.generated || !els.generated.isConnected) return;
  if (state.generateError) {
    replace(els.generated, h('p', { class: 'inline-error', role: 'alert' }, errorText(state.generateError)));
    return;
  }
  if (!state.generated) {
    replace(els.generated);
    return;
  }
  replace(
    els.generated,
    h('p', { class: state.generated.mode === 'private_ai' ? 'notice-line ok' : 'notice-line', dataset: { role: 'generate-notice' } }, String(state.generated.notice || '')),
    h('textarea', { class: 'input mono', rows: '16', dataset: { role: 'generated' }, 'aria-label': t('resume.generatedLabel'), on: { input: (e) => (state.generatedText = e.target.value) } }, state.generatedText),
    h('div', { class: 'row' }, h('button', { type: 'button', class: 'btn', dataset: { action: 'save-text' }, on: { click: (e) => saveText(e.currentTarget) } }, t('resume.saveText'))),
  );
}

export default {
  id: 'resume',
  icon: 'resume',
  labelKey: 'nav.resume',
  render(root) {
    els = {};
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('resume.title')), h('p', { class: 'lead' }, t('resume.lead')))),
      h(
        'section',
        { class: 'card' },
        h('h2', null, t('resume.checkTitle')),
        h('div', { class: 'row', ref: (el) => (els.chooser = el) }),
        h(
          'label',
          { class: 'check' },
          h('input', { type: 'checkbox', checked: state.useAi, dataset: { role: 'use-ai' }, on: { change: (e) => (state.useAi = e.target.checked) } }),
          h('span', null, t('resume.useAi')),
        ),
        h('div', { class: 'row' }, h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'analyze' }, ref: (el) => (els.analyzeButton = el), on: { click: (e) => analyze(e.currentTarget) } }, t('resume.analyze'))),
        h('div', { class: 'report-area', ref: (el) => (els.report = el), 'aria-live': 'polite' }),
      ),
      h(
        'section',
        { class: 'card' },
        h('h2', null, t('resume.generatorTitle')),
        h('p', { class: 'muted' }, t('resume.generatorLead')),
        h('textarea', { class: 'input', rows: '6', placeholder: t('resume.promptPlaceholder'), 'aria-label': t('resume.promptLabel'), dataset: { role: 'prompt' }, on: { input: (e) => (state.prompt = e.target.value) } }, state.prompt),
        h('div', { class: 'row' }, h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'generate' }, on: { click: (e) => generate(e.currentTarget) } }, t('resume.generate'))),
        h('div', { ref: (el) => (els.generated = el) }),
      ),
    );
    renderChooser();
    renderReport();
    renderGenerated();
  },
};
