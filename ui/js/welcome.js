// The first-run welcome: what to search for and where, and optionally a resume whose contact
// details pre-fill the profile. Skippable; the first job sync waits until it ends.
import { h, append, replace, options } from './dom.js';
import { t } from './i18n.js';
import { request } from './bridge.js';
import { store, changed } from './store.js';
import { errorText, checkedField, withBusy } from './ui.js';
import { countries } from './countries.js';
import { chooseFile } from './screens/resume.js';

const MODES = ['worldwide', 'us', 'home'];

// Only a user who has never finished or skipped it, and never synced, sees it: someone who
// used the program before this screen existed is not greeted as new.
export function needsWelcome(settings) {
  return Boolean(settings) && settings.welcomeDone !== true && !settings.lastJobSync;
}

export function showWelcome() {
  return new Promise((resolve) => {
    const s = store.settings || {};
    const draft = {
      jobTitle: String(s.jobTitle || ''),
      keywords: String(s.keywords || ''),
      locationMode: MODES.includes(s.locationMode) ? s.locationMode : 'worldwide',
      homeCountryCode: String(s.homeCountryCode || ''),
    };
    let prefill = null;
    let resumeEl = null;
    let errorEl = null;
    let countryField = null;
    const dialog = h('dialog', { class: 'confirm welcome', 'aria-labelledby': 'welcome-title', 'aria-describedby': 'welcome-lead', dataset: { role: 'welcome' } });

    const finish = async (button, skipped) => {
      const payload = skipped ? { welcomeDone: true } : { ...draft, welcomeDone: true };
      if (!skipped) {
        const country = countries().find((c) => c.code === draft.homeCountryCode);
        payload.homeCountryName = country ? country.name : '';
      }
      await withBusy(button, null, async () => {
        try {
          store.settings = await request('saveSettings', payload);
          changed('settings');
        } catch (error) {
          // Nothing is lost: the welcome stays open with the reason.
          replace(errorEl, errorText(error));
          return;
        }
        if (prefill) store.profilePrefill = prefill;
        dialog.close();
        dialog.remove();
        resolve({ skipped, prefill: Boolean(prefill) });
      });
    };

    const renderResume = () => {
      if (!prefill) {
        replace(resumeEl, h('p', { class: 'muted small' }, t('welcome.resumeHint')));
        return;
      }
      const found = [prefill.fullName, prefill.email, prefill.phone, prefill.location].filter(Boolean);
      replace(
        resumeEl,
        h('p', { class: 'file-name', dataset: { role: 'welcome-resume' } }, prefill.resume.name),
        h('p', { class: 'muted small', dataset: { role: 'welcome-found' } }, found.length ? t('welcome.resumeFound', { found: found.join(' · ') }) : t('welcome.resumeNothing')),
      );
    };

    const importResume = async (button) => {
      await withBusy(button, t('welcome.reading'), async () => {
        replace(errorEl);
        try {
          const file = await chooseFile();
          if (!file) return;
          const contact = await request('readResumeContact', { path: file.path });
          prefill = { ...contact, resume: file };
          renderResume();
        } catch (error) {
          replace(errorEl, errorText(error));
        }
      });
    };

    const countrySelect = h(
      'select',
      { class: 'input', dataset: { field: 'homeCountryCode' }, on: { change: (e) => (draft.homeCountryCode = e.target.value) } },
      options([['', t('settings.noCountry')], ...countries().map((c) => [c.code, c.local])], draft.homeCountryCode),
    );
    const showCountry = () => {
      if (countryField) countryField.hidden = draft.locationMode !== 'home';
    };

    append(dialog, [
      h('h2', { id: 'welcome-title' }, t('welcome.title')),
      h('p', { id: 'welcome-lead' }, t('welcome.lead')),
      h(
        'form',
        { class: 'welcome-form', on: { submit: (e) => e.preventDefault() } },
        h(
          'div',
          { class: 'form-grid' },
          checkedField(t('settings.jobTitle'), h('input', { class: 'input', value: draft.jobTitle, dataset: { field: 'jobTitle' }, on: { input: (e) => (draft.jobTitle = e.target.value) } }), { id: 'welcome-jobTitle' }),
          checkedField(t('settings.keywords'), h('input', { class: 'input', value: draft.keywords, dataset: { field: 'keywords' }, on: { input: (e) => (draft.keywords = e.target.value) } }), { id: 'welcome-keywords', hint: t('settings.keywordsHint') }),
        ),
        h(
          'fieldset',
          { class: 'plain-fieldset' },
          h('legend', { class: 'field-label' }, t('settings.locationTitle')),
          h(
            'div',
            { class: 'radios' },
            MODES.map((mode) =>
              h(
                'label',
                { class: 'radio' },
                h('input', { type: 'radio', name: 'welcomeLocationMode', value: mode, checked: draft.locationMode === mode, on: { change: () => { draft.locationMode = mode; showCountry(); } } }),
                h('span', null, t(`settings.mode.${mode}`)),
              ),
            ),
          ),
        ),
        h('div', { ref: (el) => (countryField = el) }, checkedField(t('settings.homeCountry'), countrySelect, { id: 'welcome-country' })),
        h(
          'section',
          { class: 'welcome-resume', 'aria-labelledby': 'welcome-resume-title' },
          h('h3', { id: 'welcome-resume-title' }, t('welcome.resumeTitle')),
          h('button', { type: 'button', class: 'btn', dataset: { action: 'welcome-resume' }, on: { click: (e) => importResume(e.currentTarget) } }, t('welcome.importResume')),
          h('div', { ref: (el) => (resumeEl = el), 'aria-live': 'polite' }),
        ),
        h('p', { class: 'inline-error', role: 'alert', ref: (el) => (errorEl = el) }),
        h(
          'div',
          { class: 'dialog-actions' },
          h('button', { type: 'button', class: 'btn btn-ghost', dataset: { action: 'welcome-skip' }, on: { click: (e) => finish(e.currentTarget, true) } }, t('welcome.skip')),
          h('button', { type: 'submit', class: 'btn btn-primary', dataset: { action: 'welcome-start' }, on: { click: (e) => finish(e.currentTarget, false) } }, t('welcome.start')),
        ),
      ),
    ]);
    // Escape is the same as skipping: the welcome never comes back unasked.
    dialog.addEventListener('cancel', (event) => {
      event.preventDefault();
      finish(dialog.querySelector('[data-action="welcome-skip"]'), true);
    });
    document.body.appendChild(dialog);
    renderResume();
    showCountry();
    dialog.showModal();
    dialog.querySelector('#welcome-jobTitle').focus();
  });
}
