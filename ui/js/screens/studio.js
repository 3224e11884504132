import { h, append, replace, options } from '../dom.js';
import { t, language, LANGUAGES, LANGUAGE_NAMES } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { formatDateTime } from '../format.js';
import { toast, errorText, errorState, emptyState, loadingState, withBusy, chips, confirmDialog, field, copyText } from '../ui.js';
import { chooseFile } from './resume.js';

export const SECTIONS = ['summary', 'skills', 'experience', 'education', 'certifications', 'projects'];
const SENIORITIES = ['Entry-level', 'Mid-level', 'Senior', 'Lead', 'Executive'];
const STYLES = ['Modern ATS', 'Classic', 'Compact'];
const TEMPLATES = ['modern', 'classic', 'compact'];
const MODES = ['rewrite', 'shorten', 'strengthen', 'regenerate'];

const state = {
  tab: 'build',
  form: null,
  building: false,
  buildStarted: 0,
  buildError: null,
  library: [],
  unreadable: null,
  libraryLoading: false,
  libraryError: null,
  doc: null,
  dirty: false,
  sectionNotices: {},
  modes: {},
  company: '',
  bullet: '',
  bulletResult: null,
  fragment: '',
  fragmentMode: 'rewrite',
  fragmentResult: null,
};

let els = {};
let buildTimer = 0;
let libraryToken = 0;

function form() {
  if (!state.form) {
    state.form = {
      name: '',
      targetRole: '',
      seniority: 'Mid-level',
      style: 'Modern ATS',
      pageCount: 1,
      jobDescription: '',
      sourceFile: null,
      useApplicationProfile: true,
      language: language(),
    };
  }
  return state.form;
}

function bind(obj, key, transform = (v) => v) {
  return {
    input: (e) => {
      obj[key] = transform(e.target.type === 'checkbox' ? e.target.checked : e.target.value);
      if (obj === state.doc) markDirty();
    },
  };
}

function markDirty() {
  state.dirty = true;
  if (els.saveButton) els.saveButton.classList.add('btn-primary');
  if (els.dirtyNote) els.dirtyNote.hidden = false;
}

async function loadLibrary() {
  const mine = ++libraryToken;
  state.libraryLoading = true;
  renderLibrary();
  try {
    const list = await request('listResumeStudio');
    const unreadable = await unreadableDocuments();
    if (mine !== libraryToken) return;
    state.library = Array.isArray(list) ? list : [];
    state.unreadable = unreadable;
    state.libraryError = null;
  } catch (error) {
    if (mine !== libraryToken) return;
    state.libraryError = error;
  }
  state.libraryLoading = false;
  renderLibrary();
}

// Stored resumes the core cannot open (a lost or damaged key): never shown as an empty library.
async function unreadableDocuments() {
  try {
    const status = await request('getResumeStudioStatus');
    return status && Number(status.unreadableCount) > 0 ? status : null;
  } catch {
    return null; // the list itself still shows
  }
}

function unreadableNotice() {
  const status = state.unreadable;
  if (!status) return null;
  const reason = ['missing_key', 'damaged_key'].includes(status.reason) ? status.reason : 'undecryptable';
  return h('div', { class: 'warning-box', role: 'status', dataset: { role: 'library-unreadable' } },
    h('strong', null, t('studio.unreadableTitle', { count: Number(status.unreadableCount) })),
    h('p', null, t(`studio.unreadable.${reason}`)));
}

function openDocument(doc) {
  state.doc = JSON.parse(JSON.stringify(doc));
  state.dirty = false;
  state.sectionNotices = {};
  state.bulletResult = null;
  state.fragmentResult = null;
  state.tab = 'editor';
  renderTabs();
}

function elapsedText() {
  const seconds = Math.floor((Date.now() - state.buildStarted) / 1000);
  return `${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')}`;
}

async function build() {
  const f = form();
  if (state.building) return;
  state.building = true;
  state.buildError = null;
  state.buildStarted = Date.now();
  renderBuild();
  clearInterval(buildTimer);
  buildTimer = setInterval(() => {
    if (els.elapsed && els.elapsed.isConnected) els.elapsed.textContent = elapsedText();
  }, 1000);
  const payload = {
    name: f.name,
    targetRole: f.targetRole,
    seniority: f.seniority,
    style: f.style,
    pageCount: Number(f.pageCount) === 2 ? 2 : 1,
    jobDescription: f.jobDescription,
    sourceResumePath: f.sourceFile ? f.sourceFile.path : '',
    useApplicationProfile: Boolean(f.useApplicationProfile),
    language: f.language,
  };
  try {
    const doc = await request('buildResumeStudio', payload);
    state.building = false;
    clearInterval(buildTimer);
    toast(t('studio.built', { name: String((doc && doc.name) || '') }), 'success');
    loadLibrary();
    // The core answers an empty object when it stored the resume but could not send it back;
    // the library then has it.
    if (doc && typeof doc === 'object' && 'id' in doc) openDocument(doc);
    else {
      state.tab = 'library';
      renderTabs();
    }
    return;
  } catch (error) {
    state.buildError = error;
  }
  state.building = false;
  clearInterval(buildTimer);
  renderBuild();
}

function renderBuild() {
  if (!els.body || !els.body.isConnected || state.tab !== 'build') return;
  const f = form();
  const fieldset = h(
    'fieldset',
    { class: 'form-grid', disabled: state.building },
    field(t('studio.targetRole'), h('input', { class: 'input', value: f.targetRole, dataset: { field: 'targetRole' }, on: bind(f, 'targetRole') })),
    field(t('studio.name'), h('input', { class: 'input', value: f.name, placeholder: t('studio.namePlaceholder'), dataset: { field: 'name' }, on: bind(f, 'name') })),
    field(t('studio.seniority'), h('select', { class: 'input', dataset: { field: 'seniority' }, on: { change: bind(f, 'seniority').input } }, options(SENIORITIES.map((s) => [s, t(`seniority.${s}`)]), f.seniority))),
    field(t('studio.style'), h('select', { class: 'input', dataset: { field: 'style' }, on: { change: bind(f, 'style').input } }, options(STYLES.map((s) => [s, t(`style.${s}`)]), f.style))),
    field(t('studio.pageCount'), h('select', { class: 'input', dataset: { field: 'pageCount' }, on: { change: bind(f, 'pageCount', Number).input } }, options([[1, t('studio.onePage')], [2, t('studio.twoPages')]], f.pageCount))),
    field(t('studio.language'), h('select', { class: 'input', dataset: { field: 'language' }, on: { change: bind(f, 'language').input } }, options(LANGUAGES.map((code) => [code, LANGUAGE_NAMES[code]]), f.language))),
    h(
      'div',
      { class: 'field span-2' },
      h('span', { class: 'field-label' }, t('studio.jobDescription')),
      h('textarea', { class: 'input', rows: '7', dataset: { field: 'jobDescription' }, 'aria-label': t('studio.jobDescription'), on: bind(f, 'jobDescription') }, f.jobDescription),
    ),
    h(
      'div',
      { class: 'field span-2' },
      h('span', { class: 'field-label' }, t('studio.sourceFile')),
      h(
        'div',
        { class: 'row' },
        h(
          'button',
          {
            type: 'button',
            class: 'btn',
            dataset: { action: 'choose-source' },
            on: {
              click: async (e) => {
                await withBusy(e.currentTarget, null, async () => {
                  try {
                    const file = await chooseFile();
                    if (file) {
                      f.sourceFile = file;
                      renderBuild();
                    }
                  } catch (error) {
                    toast(errorText(error), 'error');
                  }
                });
              },
            },
          },
          t('studio.chooseSource'),
        ),
        h('span', { class: f.sourceFile ? 'file-name' : 'muted', dataset: { role: 'source-name' } }, f.sourceFile ? f.sourceFile.name : t('studio.noSource')),
        f.sourceFile ? h('button', { type: 'button', class: 'btn btn-ghost', on: { click: () => { f.sourceFile = null; renderBuild(); } } }, t('common.remove')) : null,
      ),
    ),
    h(
      'label',
      { class: 'check span-2' },
      h('input', { type: 'checkbox', checked: f.useApplicationProfile, dataset: { field: 'useApplicationProfile' }, on: { change: bind(f, 'useApplicationProfile').input } }),
      h('span', null, t('studio.useProfile')),
    ),
  );
  replace(
    els.body,
    h(
      'section',
      { class: state.building ? 'card building' : 'card' },
      h('h2', null, t('studio.buildTitle')),
      h('p', { class: 'muted' }, t('studio.buildLead')),
      // The busy note sits at the top so it is seen without scrolling; a build with the AI
      // model can take minutes.
      state.building
        ? h(
            'div',
            { class: 'busy-note', role: 'status', dataset: { role: 'build-busy' } },
            h('span', { class: 'spinner', 'aria-hidden': 'true' }),
            h('span', null, t('studio.buildingNote')),
            h('span', { class: 'elapsed', ref: (el) => (els.elapsed = el) }, elapsedText()),
          )
        : null,
      h(
        'form',
        {
          on: {
            submit: (e) => {
              e.preventDefault();
              build();
            },
          },
        },
        fieldset,
        state.buildError ? h('p', { class: 'inline-error', role: 'alert', dataset: { role: 'build-error' } }, errorText(state.buildError)) : null,
        h(
          'div',
          { class: 'row' },
          h('button', { type: 'submit', class: 'btn btn-primary', dataset: { action: 'build' }, disabled: state.building }, state.building ? t('studio.building') : t('studio.build')),
        ),
      ),
    ),
  );
}

function renderLibrary() {
  if (!els.body || !els.body.isConnected || state.tab !== 'library') return;
  let content;
  if (state.libraryLoading && !state.library.length) content = loadingState();
  else if (state.libraryError) content = errorState(state.libraryError, isConnected() ? loadLibrary : null);
  else if (!state.library.length) content = emptyState(t('studio.libraryEmptyTitle'), t('studio.libraryEmptyText'));
  else {
    content = h(
      'div',
      { class: 'library' },
      state.library.map((item) =>
        h(
          'article',
          { class: 'library-item', dataset: { resumeId: item.id } },
          h(
            'div',
            { class: 'library-main' },
            h('h3', null, String(item.name || '')),
            h('div', { class: 'job-meta' }, h('span', null, String(item.targetRole || '')), h('span', { class: 'muted' }, t('studio.updated', { time: formatDateTime(item.updatedAt) }))),
          ),
          h('div', { class: 'ats-mini', title: t('studio.atsScore') }, String(Number(item.atsScore) || 0)),
          h(
            'div',
            { class: 'library-actions' },
            h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'open' }, on: { click: () => item.resume && openDocument(item.resume) } }, t('studio.open')),
            h(
              'button',
              {
                type: 'button',
                class: 'btn',
                dataset: { action: 'duplicate' },
                on: {
                  click: async (e) => {
                    await withBusy(e.currentTarget, null, async () => {
                      try {
                        await request('duplicateResumeStudio', { id: item.id, name: '' });
                        toast(t('studio.duplicated'), 'success');
                        loadLibrary();
                      } catch (error) {
                        toast(errorText(error), 'error');
                      }
                    });
                  },
                },
              },
              t('studio.duplicate'),
            ),
            h(
              'button',
              {
                type: 'button',
                class: 'btn btn-ghost danger-text',
                dataset: { action: 'delete' },
                on: {
                  click: async () => {
                    const ok = await confirmDialog({ title: t('studio.deleteTitle'), message: t('studio.deleteText', { name: String(item.name || '') }), confirmLabel: t('common.delete'), danger: true });
                    if (!ok) return;
                    try {
                      await request('deleteResumeStudio', { id: item.id });
                      if (state.doc && state.doc.id === item.id) state.doc = null;
                      toast(t('studio.deleted'), 'success');
                      loadLibrary();
                    } catch (error) {
                      toast(errorText(error), 'error');
                    }
                  },
                },
              },
              t('common.delete'),
            ),
          ),
        ),
      ),
    );
  }
  replace(els.body, h('section', { class: 'card' }, h('h2', null, t('studio.libraryTitle')), unreadableNotice(), content));
}

async function saveDocument(button) {
  await withBusy(button, t('common.saving'), async () => {
    try {
      const saved = await request('saveResumeStudio', state.doc);
      if (saved && typeof saved === 'object' && Object.keys(saved).length) {
        const notices = state.sectionNotices;
        state.doc = saved;
        state.sectionNotices = notices;
      }
      state.dirty = false;
      toast(t('studio.saved', { score: Number(state.doc.atsScore) || 0 }), 'success');
      loadLibrary();
      renderEditor();
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

async function rewriteSection(section, button) {
  const mode = state.modes[section] || 'rewrite';
  await withBusy(button, t('studio.working'), async () => {
    try {
      const result = await request('rewriteResumeSection', { resume: state.doc, section, mode });
      if (result && typeof result.text === 'string' && result.text.trim()) {
        if (result.text !== state.doc[section]) {
          state.doc[section] = result.text;
          state.dirty = true;
        }
      }
      state.sectionNotices[section] = String((result && result.notice) || '');
      renderEditor();
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

async function coverLetter(button) {
  await withBusy(button, t('studio.working'), async () => {
    try {
      const result = await request('generateCoverLetter', { resume: state.doc, company: state.company });
      state.doc.coverLetter = String((result && result.text) || '');
      state.dirty = true;
      state.sectionNotices.coverLetter = result && result.mode === 'private_ai' ? t('studio.aiUsed') : t('studio.offlineUsed');
      renderEditor();
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

async function improveBullet(button) {
  await withBusy(button, t('studio.working'), async () => {
    try {
      const d = state.doc;
      state.bulletResult = await request('improveResumeBullet', { bullet: state.bullet, sourceFacts: d.sourceFacts, targetRole: d.targetRole, jobDescription: d.jobDescription, language: d.language });
    } catch (error) {
      state.bulletResult = { error };
    }
    renderTools();
  });
}

async function rewriteFragment(button) {
  await withBusy(button, t('studio.working'), async () => {
    try {
      const d = state.doc;
      state.fragmentResult = await request('rewriteResumeFragment', { fragment: state.fragment, sourceFacts: d.sourceFacts, targetRole: d.targetRole, jobDescription: d.jobDescription, mode: state.fragmentMode, language: d.language });
    } catch (error) {
      state.fragmentResult = { error };
    }
    renderTools();
  });
}

async function exportAs(format, button) {
  await withBusy(button, t('studio.exporting'), async () => {
    try {
      const result = await request(format === 'pdf' ? 'exportResumePdf' : 'exportResumeDocx', { resume: state.doc });
      if (result && result.saved) toast(t('common.savedTo', { path: String(result.path || '') }), 'success');
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

function modeLabel(mode) {
  return t(`mode.${mode}`);
}

function resultBox(result, key, role) {
  if (!result) return null;
  if (result.error) return h('p', { class: 'inline-error', role: 'alert' }, errorText(result.error));
  const text = String(result[key] || '');
  return h(
    'div',
    { class: 'tool-result', dataset: { role } },
    h('div', { class: 'tool-text' }, text || t('studio.nothingReturned')),
    h('div', { class: 'row' }, h('span', { class: 'muted small' }, result.mode === 'private_ai' ? t('studio.aiUsed') : t('studio.offlineUsed')), text ? h('button', { type: 'button', class: 'btn btn-ghost', on: { click: async () => toast((await copyText(text)) ? t('common.copied') : t('common.copyFailed')) } }, t('common.copy')) : null),
  );
}

function renderTools() {
  if (!els.tools || !els.tools.isConnected) return;
  const d = state.doc;
  replace(
    els.tools,
    h(
      'section',
      { class: 'card ats', dataset: { role: 'ats' } },
      h('h2', null, t('studio.atsScore')),
      h('div', { class: 'ats-score', dataset: { role: 'ats-score' } }, String(Number(d.atsScore) || 0), h('span', { class: 'muted' }, '/100')),
      h('h3', null, t('studio.matched')),
      d.matchedKeywords && d.matchedKeywords.length ? chips(d.matchedKeywords, 'chips-good') : h('p', { class: 'muted small' }, t('resume.none')),
      h('h3', null, t('studio.missing')),
      d.missingKeywords && d.missingKeywords.length ? chips(d.missingKeywords, 'chips-missing') : h('p', { class: 'muted small' }, t('resume.none')),
      h('p', { class: 'muted small' }, t('studio.atsHint')),
    ),
    h(
      'section',
      { class: 'card' },
      h('h2', null, t('studio.export')),
      h(
        'div',
        { class: 'row' },
        h('button', { type: 'button', class: 'btn', dataset: { action: 'export-docx' }, on: { click: (e) => exportAs('docx', e.currentTarget) } }, t('studio.exportDocx')),
        h('button', { type: 'button', class: 'btn', dataset: { action: 'export-pdf' }, on: { click: (e) => exportAs('pdf', e.currentTarget) } }, t('studio.exportPdf')),
      ),
    ),
    h(
      'section',
      { class: 'card' },
      h('h2', null, t('studio.bulletTitle')),
      h('textarea', { class: 'input', rows: '2', 'aria-label': t('studio.bulletTitle'), placeholder: t('studio.bulletPlaceholder'), dataset: { role: 'bullet' }, on: { input: (e) => (state.bullet = e.target.value) } }, state.bullet),
      h('div', { class: 'row' }, h('button', { type: 'button', class: 'btn', dataset: { action: 'improve-bullet' }, on: { click: (e) => improveBullet(e.currentTarget) } }, t('studio.improve'))),
      resultBox(state.bulletResult, 'bullet', 'bullet-result'),
    ),
    h(
      'section',
      { class: 'card' },
      h('h2', null, t('studio.lineTitle')),
      h('textarea', { class: 'input', rows: '2', 'aria-label': t('studio.lineTitle'), placeholder: t('studio.linePlaceholder'), dataset: { role: 'fragment' }, on: { input: (e) => (state.fragment = e.target.value) } }, state.fragment),
      h(
        'div',
        { class: 'row' },
        h('select', { class: 'input', 'aria-label': t('studio.mode'), dataset: { role: 'fragment-mode' }, on: { change: (e) => (state.fragmentMode = e.target.value) } }, options(MODES.map((m) => [m, modeLabel(m)]), state.fragmentMode)),
        h('button', { type: 'button', class: 'btn', dataset: { action: 'rewrite-line' }, on: { click: (e) => rewriteFragment(e.currentTarget) } }, t('studio.rewriteLine')),
      ),
      resultBox(state.fragmentResult, 'text', 'fragment-result'),
    ),
  );
}

// Why the build kept this section as the user's own text instead of the model's answer.
function keptNote(d, section) {
  const kept = Array.isArray(d.keptFromSource) ? d.keptFromSource.find((k) => k && k.section === section) : null;
  if (!kept) return null;
  const reason = ['ai_unavailable', 'ai_unusable', 'unsupported_facts'].includes(kept.reason) ? kept.reason : 'ai_unusable';
  const claims = Array.isArray(kept.claims) ? kept.claims.map(String).join(', ') : '';
  return h('p', { class: 'muted small kept-note', dataset: { role: 'kept-note', reason } }, t(`studio.kept.${reason}`, { claims }));
}

function sectionEditor(section) {
  const d = state.doc;
  const notice = state.sectionNotices[section];
  return h(
    'div',
    { class: 'section-edit', dataset: { section } },
    h(
      'div',
      { class: 'section-head' },
      h('label', { class: 'field-label', for: `sec-${section}` }, t(`section.${section}`)),
      h(
        'div',
        { class: 'row tight' },
        h('select', { class: 'input small', 'aria-label': t('studio.mode'), dataset: { role: 'mode' }, on: { change: (e) => (state.modes[section] = e.target.value) } }, options(MODES.map((m) => [m, modeLabel(m)]), state.modes[section] || 'rewrite')),
        // The mode list already says "Rewrite"; the button only applies the chosen mode.
        h('button', { type: 'button', class: 'btn small', 'aria-label': t('studio.applyModeTo', { section: t(`section.${section}`) }), dataset: { action: 'rewrite-section' }, on: { click: (e) => rewriteSection(section, e.currentTarget) } }, t('studio.applyMode')),
      ),
    ),
    h('textarea', { class: 'input', id: `sec-${section}`, rows: section === 'experience' ? '10' : '4', dataset: { field: section }, on: bind(d, section) }, String(d[section] || '')),
    keptNote(d, section),
    notice ? h('p', { class: 'muted small', dataset: { role: 'section-notice' } }, notice) : null,
  );
}

function renderEditor() {
  if (!els.body || !els.body.isConnected || state.tab !== 'editor') return;
  const d = state.doc;
  if (!d) {
    replace(els.body, emptyState(t('studio.noDocumentTitle'), t('studio.noDocumentText')));
    return;
  }
  replace(
    els.body,
    h(
      'div',
      { class: 'editor-layout' },
      h(
        'div',
        { class: 'editor-main' },
        h(
          'section',
          { class: 'card' },
          h(
            'div',
            { class: 'card-head' },
            h('h2', null, t('studio.editorTitle')),
            h(
              'div',
              { class: 'row tight' },
              h('span', { class: 'muted small', hidden: !state.dirty, ref: (el) => (els.dirtyNote = el) }, t('studio.unsaved')),
              h('button', { type: 'button', class: state.dirty ? 'btn btn-primary' : 'btn', dataset: { action: 'save' }, ref: (el) => (els.saveButton = el), on: { click: (e) => saveDocument(e.currentTarget) } }, t('common.save')),
            ),
          ),
          h(
            'div',
            { class: 'form-grid' },
            field(t('studio.name'), h('input', { class: 'input', value: d.name, dataset: { field: 'name' }, on: bind(d, 'name') })),
            field(t('studio.targetRole'), h('input', { class: 'input', value: d.targetRole, dataset: { field: 'targetRole' }, on: bind(d, 'targetRole') })),
            field(t('studio.template'), h('select', { class: 'input', dataset: { field: 'template' }, on: { change: bind(d, 'template').input } }, options(TEMPLATES.map((x) => [x, t(`template.${x}`)]), d.template))),
            field(t('studio.language'), h('select', { class: 'input', dataset: { field: 'language' }, on: { change: bind(d, 'language').input } }, options(LANGUAGES.map((code) => [code, LANGUAGE_NAMES[code]]), d.language))),
            h('div', { class: 'field span-2' }, h('span', { class: 'field-label' }, t('studio.contact')), h('textarea', { class: 'input', rows: '3', 'aria-label': t('studio.contact'), dataset: { field: 'contact' }, on: bind(d, 'contact') }, String(d.contact || ''))),
            h('div', { class: 'field span-2' }, h('span', { class: 'field-label' }, t('studio.jobDescription')), h('textarea', { class: 'input', rows: '4', 'aria-label': t('studio.jobDescription'), dataset: { field: 'jobDescription' }, on: bind(d, 'jobDescription') }, String(d.jobDescription || ''))),
          ),
        ),
        h('section', { class: 'card' }, h('h2', null, t('studio.sections')), SECTIONS.map(sectionEditor)),
        h(
          'section',
          { class: 'card' },
          h('h2', null, t('studio.coverLetter')),
          h(
            'div',
            { class: 'row' },
            h('input', { class: 'input grow', placeholder: t('studio.company'), 'aria-label': t('studio.company'), value: state.company, dataset: { role: 'company' }, on: { input: (e) => (state.company = e.target.value) } }),
            h('button', { type: 'button', class: 'btn', dataset: { action: 'cover-letter' }, on: { click: (e) => coverLetter(e.currentTarget) } }, t('studio.writeCoverLetter')),
          ),
          h('textarea', { class: 'input', rows: '10', 'aria-label': t('studio.coverLetter'), dataset: { field: 'coverLetter' }, on: bind(d, 'coverLetter') }, String(d.coverLetter || '')),
          state.sectionNotices.coverLetter ? h('p', { class: 'muted small' }, state.sectionNotices.coverLetter) : null,
        ),
      ),
      h('div', { class: 'editor-side', ref: (el) => (els.tools = el) }),
    ),
  );
  renderTools();
}

function renderTabs() {
  if (!els.tabs || !els.tabs.isConnected) return;
  for (const button of els.tabs.querySelectorAll('button')) {
    const active = button.dataset.tab === state.tab;
    button.classList.toggle('active', active);
    button.setAttribute('aria-selected', active ? 'true' : 'false');
  }
  if (state.tab === 'build') renderBuild();
  else if (state.tab === 'library') renderLibrary();
  else renderEditor();
}

export default {
  id: 'studio',
  icon: 'studio',
  labelKey: 'nav.studio',
  render(root) {
    els = {};
    const tab = (id, label) =>
      h('button', { type: 'button', role: 'tab', class: 'tab', dataset: { tab: id }, on: { click: () => { state.tab = id; renderTabs(); } } }, label);
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('studio.title')), h('p', { class: 'lead' }, t('studio.lead')))),
      h('div', { class: 'tabs', role: 'tablist', ref: (el) => (els.tabs = el) }, tab('build', t('studio.tabBuild')), tab('library', t('studio.tabLibrary')), tab('editor', t('studio.tabEditor'))),
      h('div', { ref: (el) => (els.body = el) }),
    );
    renderTabs();
  },
  show() {
    if (isConnected()) loadLibrary();
    else state.libraryError = { kind: 'not_connected' };
  },
};
