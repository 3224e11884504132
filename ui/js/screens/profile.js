import { h, append, replace, options } from '../dom.js';
import { t } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { formatDateTime } from '../format.js';
import { toast, errorText, errorState, loadingState, withBusy, field } from '../ui.js';
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

const state = { view: null, form: null, resumeChoice: null, loading: false, error: null, saveError: null, justSaved: false };
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
  } catch (error) {
    state.error = error;
  }
  state.loading = false;
  render();
}

async function save(button) {
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
  const on = { input: (e) => { f[key] = e.target.value; state.justSaved = false; } };
  if (kind === 'flag') {
    return h(
      'select',
      { class: 'input', dataset: { field: key }, on: { change: on.input } },
      options([['', t('profile.unset')], ['yes', t('common.yes')], ['no', t('common.no')]], f[key]),
    );
  }
  if (kind === 'text') return h('textarea', { class: 'input', rows: key === 'coverLetterTemplate' || key === 'employmentHistory' ? '6' : '3', dataset: { field: key }, on }, f[key]);
  return h('input', { class: 'input', type: key === 'email' ? 'email' : 'text', value: f[key], dataset: { field: key }, on });
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
          fields.map(([key, kind]) =>
            kind === 'text'
              ? h('div', { class: 'field span-2' }, h('span', { class: 'field-label' }, t(`profile.${key}`)), control(key, kind))
              : field(t(`profile.${key}`), control(key, kind)),
          ),
        ),
      ),
    ),
    h(
      'div',
      { class: 'save-bar' },
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
