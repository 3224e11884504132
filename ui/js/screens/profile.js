import { h, append, replace, options } from '../dom.js';
import { t } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { formatDateTime } from '../format.js';
import { toast, errorText, errorState, loadingState, withBusy, checkedField } from '../ui.js';
import { store } from '../store.js';
import { profileProblem } from '../validate.js';
import { chooseFile } from './resume.js';

// Field groups of the Application Profile form: [key, kind] where kind is 'line' or 'text'.
const GROUPS = [
  ['profile.groupContact', [['fullName', 'line'], ['email', 'line'], ['phone', 'line'], ['country', 'line'], ['cityState', 'line'], ['address', 'line']]],
  ['profile.groupLinks', [['linkedIn', 'line'], ['gitHub', 'line'], ['portfolio', 'line']]],
  [
    'profile.groupWork',
    [['currentEmployer', 'line'], ['currentTitle', 'line'], ['yearsOfExperience', 'line'], ['employmentHistory', 'text'], ['education', 'text'], ['certifications', 'text'], ['skills', 'text']],
  ],
  [
    'profile.groupPreferences',
    [['workAuthorization', 'line'], ['requireSponsorship', 'flag'], ['willingToRelocate', 'flag'], ['desiredSalary', 'line'], ['earliestStartDate', 'line'], ['remoteWorkPreference', 'line'], ['preferredJobTitles', 'text'], ['preferredIndustries', 'text']],
  ],
  ['profile.groupCoverLetter', [['coverLetterTemplate', 'text']]],
];

export const PROFILE_TEXT_FIELDS = GROUPS.flatMap(([, fields]) => fields.filter(([, kind]) => kind !== 'flag').map(([key]) => key));

const state = { view: null, form: null, resumeChoice: null, loading: false, error: null, saveError: null, justSaved: false, problems: {}, prefilled: false };
// Contact details read from a resume chosen at welcome; they fill only empty fields, and
// nothing is stored until the user saves.
const PREFILL = [['fullName', 'fullName'], ['email', 'email'], ['phone', 'phone'], ['linkedIn', 'linkedIn'], ['location', 'cityState']];

function applyPrefill() {
  const found = store.profilePrefill;
  if (!found || !state.form) return;
  store.profilePrefill = null;
  for (const [from, to] of PREFILL) {
    const value = String(found[from] || '').trim();
    if (value && !state.form[to].trim()) {
      state.form[to] = value;
      state.prefilled = true;
    }
  }
  if (found.resume && !(state.view && state.view.hasResume)) {
    state.resumeChoice = found.resume;
    state.prefilled = true;
  }
  validateAll();
}

function validateAll() {
  state.problems = {};
  for (const key of Object.keys(state.form)) {
    const problem = profileProblem(key, state.form[key]);
    if (problem) state.problems[key] = problem;
  }
  return Object.keys(state.problems);
}
let bodyEl = null;

function formFromView(view) {
  const form = {};
  for (const [, fields] of GROUPS) {
    for (const [key, kind] of fields) {
      form[key] = kind === 'flag' ? (view[key] === true ? 'yes' : view[key] === false ? 'no' : '') : String(view[key] || '');
    }
  }
  return form;
}

async function load() {
  state.loading = true;
  render();
  try {
    state.view = await request('getApplicationProfile');
    state.form = formFromView(state.view);
    state.error = null;
    applyPrefill();
  } catch (error) {
    state.error = error;
  }
  state.loading = false;
  render();
}

async function save(button) {
  const invalid = validateAll();
  if (invalid.length) {
    state.saveError = null;
    render();
    document.getElementById(`pf-${invalid[0]}`)?.focus();
    return;
  }
  await withBusy(button, t('common.saving'), async () => {
    const payload = {};
    for (const [, fields] of GROUPS) {
      for (const [key, kind] of fields) {
        const value = state.form[key];
        payload[key] = kind === 'flag' ? (value === 'yes' ? true : value === 'no' ? false : null) : value;
      }
    }
    if (state.resumeChoice) payload.resumePath = state.resumeChoice.path;
    state.saveError = null;
    state.justSaved = false;
    try {
      const view = await request('saveApplicationProfile', payload);
      // Success is claimed only when the core read the record back and found it identical.
      if (view && view.saveVerified === true) {
        state.view = view;
        state.form = formFromView(view);
        state.resumeChoice = null;
        state.prefilled = false;
        state.justSaved = true;
        toast(t('profile.saved'), 'success');
      } else {
        state.saveError = new Error(t('profile.notVerified'));
      }
    } catch (error) {
      state.saveError = error;
    }
    render();
  });
}

function control(key, kind) {
  const f = state.form;
  const on = {
    input: (e) => {
      f[key] = e.target.value;
      state.justSaved = false;
      // A shown error clears as soon as the value is fixed; a new one waits for the blur.
      if (state.problems[key] && !profileProblem(key, f[key])) {
        delete state.problems[key];
        refreshField(key);
      }
    },
    blur: () => {
      const problem = profileProblem(key, f[key]);
      if (problem !== (state.problems[key] || null)) {
        if (problem) state.problems[key] = problem;
        else delete state.problems[key];
        refreshField(key);
      }
    },
  };
  if (kind === 'flag') {
    return h(
      'select',
      { class: 'input', dataset: { field: key }, on: { change: on.input } },
      options([['', t('profile.unset')], ['yes', t('common.yes')], ['no', t('common.no')]], f[key]),
    );
  }
  if (kind === 'text') return h('textarea', { class: 'input', rows: key === 'coverLetterTemplate' || key === 'employmentHistory' ? '6' : '3', dataset: { field: key }, on }, f[key]);
  return h('input', { class: 'input', type: key === 'email' ? 'email' : key === 'phone' ? 'tel' : 'text', autocomplete: AUTOCOMPLETE[key] || null, value: f[key], dataset: { field: key }, on });
}

const AUTOCOMPLETE = { fullName: 'name', email: 'email', phone: 'tel', address: 'street-address', country: 'country-name', currentEmployer: 'organization', currentTitle: 'organization-title' };

function fieldFor(key, kind) {
  const problem = state.problems[key];
  return checkedField(t(`profile.${key}`), control(key, kind), { id: `pf-${key}`, error: problem ? t(problem) : null, wide: kind === 'text' });
}

// Re-renders one field in place, so the focus and the caret stay where the user is typing.
function refreshField(key) {
  const old = document.getElementById(`pf-${key}`);
  const wrapper = old && old.closest('.field');
  if (!wrapper) return;
  const kind = GROUPS.flatMap(([, fields]) => fields).find(([k]) => k === key)[1];
  const hadFocus = document.activeElement === old;
  const start = old.selectionStart;
  const fresh = fieldFor(key, kind);
  wrapper.replaceWith(fresh);
  if (hadFocus) {
    const input = document.getElementById(`pf-${key}`);
    input.focus();
    if (start !== null && input.setSelectionRange) input.setSelectionRange(start, start);
  }
}

function render() {
  if (!bodyEl || !bodyEl.isConnected) return;
  if (state.loading && !state.form) {
    replace(bodyEl, loadingState());
    return;
  }
  if (state.error && !state.form) {
    replace(bodyEl, errorState(state.error, isConnected() ? load : null));
    return;
  }
  if (!state.form) {
    replace(bodyEl);
    return;
  }
  const view = state.view || {};
  const resumeLine = state.resumeChoice
    ? t('profile.resumePending', { name: state.resumeChoice.name })
    : view.hasResume
      ? t('profile.resumeStored', { name: String(view.resumeName || '') })
      : t('profile.noResume');
  replace(
    bodyEl,
    state.prefilled ? h('p', { class: 'notice-line', role: 'status', dataset: { role: 'prefill-notice' } }, t('profile.prefilled')) : null,
    view.storageWarning ? h('div', { class: 'warning-box', role: 'alert', dataset: { role: 'storage-warning' } }, h('strong', null, t('profile.storageWarning')), h('p', null, String(view.storageWarning))) : null,
    h(
      'section',
      { class: 'card' },
      h('h2', null, t('profile.resumeTitle')),
      h(
        'div',
        { class: 'row' },
        h('span', { class: view.hasResume || state.resumeChoice ? 'file-name' : 'muted', dataset: { role: 'resume-status' } }, resumeLine),
        h(
          'button',
          {
            type: 'button',
            class: 'btn',
            dataset: { action: 'choose-resume' },
            on: {
              click: async (e) => {
                await withBusy(e.currentTarget, null, async () => {
                  try {
                    const file = await chooseFile();
                    if (file) {
                      state.resumeChoice = file;
                      render();
                    }
                  } catch (error) {
                    toast(errorText(error), 'error');
                  }
                });
              },
            },
          },
          view.hasResume ? t('profile.replaceResume') : t('profile.chooseResume'),
        ),
      ),
      h('p', { class: 'muted small' }, t('profile.resumeHint')),
    ),
    GROUPS.map(([titleKey, fields]) =>
      h(
        'section',
        { class: 'card' },
        h('h2', null, t(titleKey)),
        h(
          'div',
          { class: 'form-grid' },
          fields.map(([key, kind]) => fieldFor(key, kind)),
        ),
      ),
    ),
    h(
      'div',
      { class: 'save-bar sticky' },
      Object.keys(state.problems).length ? h('span', { class: 'inline-error', role: 'alert', dataset: { role: 'form-problems' } }, t('profile.fixFields', { count: Object.keys(state.problems).length })) : null,
      h('span', { class: 'muted small', dataset: { role: 'updated-at' } }, view.updatedAt ? t('profile.updatedAt', { time: formatDateTime(view.updatedAt) }) : t('profile.neverSaved')),
      state.saveError ? h('span', { class: 'inline-error', role: 'alert', dataset: { role: 'save-error' } }, errorText(state.saveError)) : null,
      state.justSaved ? h('span', { class: 'ok-text', dataset: { role: 'save-ok' } }, t('profile.saved')) : null,
      h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'save-profile' }, on: { click: (e) => save(e.currentTarget) } }, t('profile.save')),
    ),
  );
}

export default {
  id: 'profile',
  icon: 'profile',
  labelKey: 'nav.profile',
  render(root) {
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('profile.title')), h('p', { class: 'lead' }, t('profile.lead')))),
      h('div', { class: 'profile-body', ref: (el) => (bodyEl = el) }),
    );
    render();
  },
  show() {
    if (!isConnected()) {
      state.error = { kind: 'not_connected' };
      render();
      return;
    }
    if (!state.form) load();
    else render();
  },
};
