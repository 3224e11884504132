import { h, append, replace, options } from '../dom.js';
import { t, setLanguage, language, LANGUAGES, LANGUAGE_NAMES, normalizeLanguage } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { store, changed } from '../store.js';
import { toast, errorText, withBusy, field } from '../ui.js';
import { searchCountries, countryName } from '../countries.js';

const INTERVALS = ['1', '6', '12', '24'];
const MODES = ['worldwide', 'us', 'home'];
const THEMES = ['system', 'light', 'dark'];

let draft = null;
let preserveDraft = false;
let app = null;
let countryEl = null;

function fromSettings(s) {
  return {
    searchIntervalHours: INTERVALS.includes(String(s.searchIntervalHours)) ? String(s.searchIntervalHours) : '24',
    jobTitle: String(s.jobTitle || ''),
    keywords: String(s.keywords || ''),
    locationMode: MODES.includes(s.locationMode) ? s.locationMode : 'worldwide',
    homeCountryCode: String(s.homeCountryCode || ''),
    homeCountryName: String(s.homeCountryName || ''),
    language: normalizeLanguage(s.language),
    countryQuery: '',
  };
}

function payloadOf(d) {
  const payload = { ...d };
  delete payload.countryQuery;
  return payload;
}

async function save(payload, button, languageOnly) {
  const run = async () => {
    try {
      const saved = await request('saveSettings', payload);
      store.settings = saved;
      if (languageOnly) {
        draft.language = normalizeLanguage(saved.language);
        preserveDraft = true;
      }
      changed('settings');
      setLanguage(saved.language);
      changed('jobsChanged');
      if (app) app.renderAll();
      toast(languageOnly ? t('settings.languageSaved') : t('settings.saved'), 'success');
    } catch (error) {
      toast(errorText(error), 'error');
    }
  };
  if (button) await withBusy(button, t('common.saving'), run);
  else await run();
}

function renderCountry() {
  if (!countryEl || !countryEl.isConnected) return;
  const d = draft;
  const selected = d.homeCountryCode
    ? h('div', { class: 'country-selected', dataset: { role: 'country-selected' } }, `${countryName(d.homeCountryCode, language())} (${d.homeCountryCode})`)
    : h('div', { class: 'muted small', dataset: { role: 'country-selected' } }, t('settings.noCountry'));
  const matches = d.countryQuery.trim() ? searchCountries(d.countryQuery, 8) : [];
  const input = h('input', {
    type: 'search',
    class: 'input',
    placeholder: t('settings.countrySearch'),
    'aria-label': t('settings.countrySearch'),
    role: 'combobox',
    'aria-expanded': matches.length ? 'true' : 'false',
    'aria-controls': 'country-options',
    value: d.countryQuery,
    dataset: { role: 'country-search' },
    on: {
      input: (e) => {
        d.countryQuery = e.target.value;
        renderOptions();
      },
      keydown: (e) => {
        if (e.key === 'Enter') {
          e.preventDefault();
          const first = searchCountries(d.countryQuery, 1)[0];
          if (first) choose(first);
        }
      },
    },
  });
  const list = h('ul', { class: 'country-options', id: 'country-options', role: 'listbox' });
  function choose(country) {
    d.homeCountryCode = country.code;
    d.homeCountryName = country.name;
    d.countryQuery = '';
    if (d.locationMode !== 'home') d.locationMode = 'home';
    renderModes();
    renderCountry();
  }
  function renderOptions() {
    const found = d.countryQuery.trim() ? searchCountries(d.countryQuery, 8) : [];
    input.setAttribute('aria-expanded', found.length ? 'true' : 'false');
    replace(
      list,
      found.map((country) =>
        h(
          'li',
          { role: 'option', tabindex: '0', dataset: { code: country.code }, on: { click: () => choose(country), keydown: (e) => e.key === 'Enter' && choose(country) } },
          h('span', null, country.local),
          h('span', { class: 'muted small' }, country.code),
        ),
      ),
    );
  }
  replace(countryEl, selected, input, list);
  renderOptions();
}

let modesEl = null;
function renderModes() {
  if (!modesEl) return;
  replace(
    modesEl,
    MODES.map((mode) =>
      h(
        'label',
        { class: 'radio' },
        h('input', {
          type: 'radio',
          name: 'locationMode',
          value: mode,
          checked: draft.locationMode === mode,
          dataset: { field: 'locationMode' },
          on: { change: () => { draft.locationMode = mode; } },
        }),
        h('span', null, t(`settings.mode.${mode}`)),
      ),
    ),
  );
}

export default {
  id: 'settings',
  icon: 'settings',
  labelKey: 'nav.settings',
  render(root, appHandle) {
    app = appHandle;
    // A language switch re-renders the screen but keeps the edits that are not saved yet.
    if (!preserveDraft || !draft) draft = fromSettings(store.settings || {});
    preserveDraft = false;
    const d = draft;
    const saveButton = h('button', { type: 'submit', class: 'btn btn-primary', dataset: { action: 'save-settings' }, disabled: !isConnected() }, t('settings.save'));
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('settings.title')), h('p', { class: 'lead' }, t('settings.lead')))),
      h(
        'form',
        {
          on: {
            submit: (e) => {
              e.preventDefault();
              save(payloadOf(d), saveButton);
            },
          },
        },
        h(
          'section',
          { class: 'card' },
          h('h2', null, t('settings.searchTitle')),
          h(
            'div',
            { class: 'form-grid' },
            field(t('settings.jobTitle'), h('input', { class: 'input', value: d.jobTitle, dataset: { field: 'jobTitle' }, on: { input: (e) => (d.jobTitle = e.target.value) } })),
            field(t('settings.keywords'), h('input', { class: 'input', value: d.keywords, dataset: { field: 'keywords' }, on: { input: (e) => (d.keywords = e.target.value) } }), t('settings.keywordsHint')),
            field(
              t('settings.interval'),
              h('select', { class: 'input', dataset: { field: 'searchIntervalHours' }, on: { change: (e) => (d.searchIntervalHours = e.target.value) } }, options(INTERVALS.map((v) => [v, t(`settings.every${v}`)]), d.searchIntervalHours)),
            ),
          ),
        ),
        h(
          'section',
          { class: 'card' },
          h('h2', null, t('settings.locationTitle')),
          h('p', { class: 'muted' }, t('settings.locationLead')),
          h('div', { class: 'radios', ref: (el) => (modesEl = el) }),
          h('div', { class: 'field' }, h('span', { class: 'field-label' }, t('settings.homeCountry')), h('div', { class: 'country', ref: (el) => (countryEl = el) })),
        ),
        h(
          'section',
          { class: 'card' },
          h('h2', null, t('settings.languageTitle')),
          field(
            t('settings.language'),
            h(
              'select',
              {
                class: 'input',
                dataset: { field: 'language' },
                on: {
                  change: (e) => {
                    d.language = e.target.value;
                    // The language applies at once; the other fields keep their unsaved edits.
                    if (isConnected()) save({ language: d.language }, null, true);
                    else {
                      preserveDraft = true;
                      setLanguage(d.language);
                      app.renderAll();
                    }
                  },
                },
              },
              options(LANGUAGES.map((code) => [code, LANGUAGE_NAMES[code]]), d.language),
            ),
            t('settings.languageHint'),
          ),
        ),
        h(
          'section',
          { class: 'card' },
          h('h2', null, t('settings.appearanceTitle')),
          field(
            t('settings.theme'),
            h(
              'select',
              {
                class: 'input',
                dataset: { field: 'theme' },
                on: {
                  // Applies at once, like the language, and keeps the other unsaved edits.
                  change: async (e) => {
                    const theme = e.target.value;
                    if (!isConnected()) {
                      document.documentElement.dataset.theme = theme;
                      return;
                    }
                    try {
                      store.settings = await request('saveSettings', { theme });
                      changed('settings');
                    } catch (error) {
                      toast(errorText(error), 'error');
                    }
                  },
                },
              },
              options(THEMES.map((v) => [v, t(`settings.theme.${v}`)]), (store.settings && store.settings.theme) || 'system'),
            ),
          ),
        ),
        h('div', { class: 'save-bar sticky' }, saveButton),
      ),
    );
    renderModes();
    renderCountry();
  },
};
