import { h, append, replace, debounce, options } from '../dom.js';
import { t, language } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { store, subscribe } from '../store.js';
import { countryName } from '../countries.js';
import { formatDate, formatNumber, trustBadge, trustLabel, warningChecks } from '../format.js';
import { confirmDialog, toast, errorText, errorState, emptyState, loadingState, withBusy } from '../ui.js';

const PAGE_SIZE = 50;
const JOB_TYPES = ['full-time', 'part-time', 'contract', 'freelance', 'internship', 'temporary'];
const SOURCES = ['Himalayas', 'Jobicy', 'Arbeitnow Europe', 'Arbeitnow UK', 'We Work Remotely', 'Remotive', 'Remote OK', 'RemoteJobs.org'];
const AGES = [0, 1, 3, 7, 14, 30];
const CATEGORY_KEYS = {
  'Software & IT': 'cat.software', 'Data & AI': 'cat.data', 'Design & Creative': 'cat.design', 'Customer Support': 'cat.support',
  Cybersecurity: 'cat.cybersecurity', Education: 'cat.education', 'Finance & Accounting': 'cat.finance', Healthcare: 'cat.healthcare',
  'Human Resources': 'cat.hr', Legal: 'cat.legal', Marketing: 'cat.marketing', 'Other Remote Jobs': 'cat.other', Product: 'cat.product',
  'Project Management': 'cat.projects', Sales: 'cat.sales', 'Security Engineer': 'cat.securityEngineer', 'Writing & Editorial': 'cat.writing',
};

// The filters the user chose last time come back with the screen; the core keeps them.
function readFilters(saved) {
  const s = saved && typeof saved === 'object' ? saved : {};
  const days = Number(s.postedWithinDays);
  return {
    category: typeof s.category === 'string' && s.category ? s.category : 'All',
    source: SOURCES.includes(s.source) ? s.source : '',
    jobType: JOB_TYPES.includes(s.jobType) ? s.jobType : '',
    postedWithinDays: AGES.includes(days) ? days : 0,
    sort: s.sort === 'match' ? 'match' : 'newest',
    includeHidden: s.includeHidden === true,
  };
}

let filtersLoaded = false;

async function loadFilters() {
  if (filtersLoaded) return;
  try {
    const answer = await request('getJobFilters');
    Object.assign(state, readFilters(answer && answer.last));
    filtersLoaded = true;
  } catch {
    // An older core without the action: the defaults stay.
  }
}

function rememberFilters() {
  const { category, source, jobType, postedWithinDays, sort, includeHidden } = state;
  request('setJobFilters', { category, source, jobType, postedWithinDays, sort, includeHidden }).catch(() => {});
}

const state = {
  tab: 'listings',
  categories: [],
  categoriesError: null,
  ...readFilters({}),
  query: '',
  page: 0,
  jobs: [],
  hasMore: false,
  loading: false,
  error: null,
  selected: null,
  savedSearches: [],
  linkUrl: '',
  linkResult: null,
  linkError: null,
};

export function categoryLabel(name) {
  const key = CATEGORY_KEYS[name];
  return key ? t(key) : String(name || '');
}

// A tag that names a job type, in the user's language; other tags as the board wrote them.
function tagLabel(tag) {
  const norm = String(tag).toLowerCase().replace(/[_\s]+/g, '-');
  const type = JOB_TYPES.find((name) => norm === name || norm.replace(/-/g, '') === name.replace(/-/g, '') || (name === 'internship' && norm === 'intern'));
  return type ? t(`jobType.${type}`) : String(tag);
}

// One scale on this screen: the rating out of 100 with its label.
function trustText(label, score) {
  if (!label || label === 'Unchecked') return trustLabel('Unchecked');
  return t('jobs.trust', { score: Number(score) || 0, label: trustLabel(label) });
}

function trustPill(label, score) {
  const badge = trustBadge(label, score);
  badge.textContent = trustText(label, score);
  badge.title = t('jobs.trustTooltip');
  return badge;
}

let els = {};
let listToken = 0;
let categoryToken = 0;

subscribe((what) => {
  if (what === 'jobsChanged' && els.list && els.list.isConnected) {
    loadCategories();
    loadSavedSearches();
    loadJobs();
  }
});

async function loadCategories() {
  const token = ++categoryToken;
  try {
    const list = await request('getCategories');
    if (token !== categoryToken) return;
    state.categories = Array.isArray(list) ? list : [];
    state.categoriesError = null;
  } catch (error) {
    if (token !== categoryToken) return;
    state.categoriesError = error;
  }
  renderCategories();
}

// Only the newest request may fill the list: an older reply that arrives late is dropped.
async function loadJobs() {
  const token = ++listToken;
  state.loading = true;
  state.error = null;
  renderList();
  try {
    const list = await request('getJobs', {
      category: state.category,
      query: state.query,
      limit: PAGE_SIZE + 1,
      offset: state.page * PAGE_SIZE,
      sort: state.sort,
      source: state.source,
      jobType: state.jobType,
      postedWithinDays: state.postedWithinDays,
      includeHidden: state.includeHidden,
    });
    if (token !== listToken) return;
    const rows = Array.isArray(list) ? list : [];
    state.hasMore = rows.length > PAGE_SIZE;
    state.jobs = rows.slice(0, PAGE_SIZE);
    // Scores mean something only once the profile or a resume names skills.
    state.hasSkills = state.jobs.some((job) => Number(job.matchScore) > 0);
    if (state.selected) state.selected = state.jobs.find((job) => job.id === state.selected.id) || null;
  } catch (error) {
    if (token !== listToken) return;
    state.jobs = [];
    state.hasMore = false;
    state.error = error;
  }
  state.loading = false;
  renderList();
  renderPane();
}

async function loadSavedSearches() {
  try {
    const list = await request('getSavedSearches');
    state.savedSearches = Array.isArray(list) ? list : [];
  } catch {
    state.savedSearches = [];
  }
  renderSavedSearches();
}

function renderCategories() {
  if (!els.categories || !els.categories.isConnected) return;
  const total = state.categories.reduce((sum, c) => sum + (Number(c.count) || 0), 0);
  const item = (name, label, count) =>
    h(
      'button',
      {
        type: 'button',
        class: state.category === name ? 'cat active' : 'cat',
        dataset: { category: name },
        'aria-pressed': state.category === name ? 'true' : 'false',
        on: {
          click: () => {
            state.category = name;
            state.page = 0;
            rememberFilters();
            renderCategories();
            loadJobs();
          },
        },
      },
      h('span', { class: 'cat-name' }, label),
      h('span', { class: 'cat-count' }, formatNumber(count)),
    );
  replace(
    els.categories,
    h('div', { class: 'cat-title' }, t('jobs.categories')),
    item('All', t('jobs.allCategories'), total),
    state.categories.map((c) => item(String(c.name), categoryLabel(c.name), c.count)),
    state.categoriesError ? h('p', { class: 'inline-error' }, errorText(state.categoriesError)) : null,
  );
}

async function openJob(job, button) {
  const payload = { url: job.url, source: job.source, id: job.id, title: job.title, company: job.company };
  await withBusy(button, t('jobs.opening'), async () => {
    try {
      let result = await request('openJob', payload);
      const security = (result && result.security) || {};
      if (!result.opened && security.label === 'Blocked') {
        toast(t('jobs.blocked'), 'error');
        return;
      }
      if (!result.opened && result.requiresConfirmation) {
        const warnings = warningChecks(security.checks);
        const confirmed = await confirmDialog({
          title: t('jobs.riskyTitle'),
          message: t('jobs.riskyText', { label: trustLabel(security.label), score: Number(security.score) || 0 }),
          details: warnings.length ? warnings : [String(security.summary || '')],
          confirmLabel: t('jobs.openAnyway'),
          danger: true,
        });
        if (!confirmed) return;
        result = await request('openJob', { ...payload, force: true });
      }
      if (result.opened) toast(t('jobs.opened', { title: job.title }), 'success');
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

async function markJob(job, mark, button) {
  await withBusy(button, t('jobs.working'), async () => {
    try {
      await request('setJobMark', { id: job.id, mark });
      if (mark === 'saved') {
        try {
          await request('addApplication', { jobId: job.id, title: job.title, company: job.company, url: job.url, status: 'Saved', notes: '' });
        } catch (error) {
          // Builds without the tracker's action still keep the mark.
          if (!(error && error.kind === 'unknown_action') && !/Unknown (Velmora )?action/i.test(errorText(error))) throw error;
        }
      }
      toast(mark === 'hidden' ? t('jobs.hiddenToast') : mark === 'saved' ? t('jobs.savedToast') : t('jobs.unmarkedToast'), 'success');
      if (mark === 'hidden' && !state.includeHidden && state.selected && state.selected.id === job.id) state.selected = null;
      loadCategories();
      loadJobs();
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

function jobDate(job) {
  const date = job.publishedAt || job.addedAt;
  return date ? formatDate(date) : '';
}

function jobRow(job) {
  const selected = state.selected && state.selected.id === job.id;
  const alsoOn = Array.isArray(job.alsoOn) ? job.alsoOn : [];
  // The location is the part that gives way on a narrow window, so it comes last.
  const meta = [
    h('span', { class: 'job-company' }, String(job.company || '')),
    alsoOn.length ? h('span', { class: 'job-also', dataset: { role: 'also-on' } }, t('jobs.alsoOn', { sources: [...new Set(alsoOn.map((o) => String(o.source)))].join(', ') })) : null,
    jobDate(job) ? h('span', { class: 'job-date' }, jobDate(job)) : null,
    job.source ? h('span', { class: 'job-source' }, String(job.source)) : null,
    job.location ? h('span', { class: 'job-location' }, String(job.location)) : null,
  ];
  return h(
    'article',
    { class: `job${selected ? ' selected' : ''}${job.mark === 'hidden' ? ' is-hidden' : ''}`, dataset: { jobId: job.id, mark: job.mark || '' } },
    h(
      'div',
      { class: 'job-main' },
      h(
        'h3',
        { class: 'job-title' },
        h(
          'button',
          {
            type: 'button',
            class: 'job-select',
            dataset: { action: 'details' },
            'aria-expanded': selected ? 'true' : 'false',
            'aria-controls': 'job-pane',
            on: { click: () => select(job) },
          },
          String(job.title || ''),
        ),
      ),
      h('div', { class: 'job-meta' }, meta),
    ),
    h(
      'div',
      { class: 'job-side' },
      job.mark === 'saved' ? h('span', { class: 'status-pill status-ok', dataset: { role: 'mark' } }, t('jobs.markSaved')) : null,
      job.mark === 'hidden' ? h('span', { class: 'status-pill', dataset: { role: 'mark' } }, t('jobs.markHidden')) : null,
      job.applicationStatus ? h('span', { class: 'status-pill', dataset: { role: 'application-status' } }, String(job.applicationStatus)) : null,
      state.hasSkills ? h('span', { class: 'match-pill', title: t('jobs.matchTooltip') }, t('jobs.match', { score: Number(job.matchScore) || 0 })) : null,
      trustPill(job.securityLabel, job.securityScore),
      h('button', { type: 'button', class: 'btn btn-primary btn-small', dataset: { action: 'open' }, on: { click: (e) => openJob(job, e.currentTarget) } }, t('jobs.open')),
    ),
  );
}

function select(job) {
  state.selected = state.selected && state.selected.id === job.id ? null : job;
  renderList();
  renderPane();
  if (state.selected && els.pane) els.pane.focus({ preventScroll: true });
}

function renderPane() {
  if (!els.pane || !els.pane.isConnected) return;
  const job = state.selected;
  els.layout.classList.toggle('with-pane', Boolean(job));
  els.pane.hidden = !job;
  if (!job) {
    replace(els.pane);
    return;
  }
  const tags = String(job.tags || '')
    .split(',')
    .map((tag) => tag.trim())
    .filter(Boolean)
    .slice(0, 12);
  const alsoOn = Array.isArray(job.alsoOn) ? job.alsoOn : [];
  const skills = Array.isArray(job.matchedSkills) ? job.matchedSkills : [];
  const markButton = (mark, label, action) =>
    h('button', { type: 'button', class: 'btn', dataset: { action }, on: { click: (e) => markJob(job, mark, e.currentTarget) } }, label);
  replace(
    els.pane,
    h(
      'div',
      { class: 'pane-head' },
      h('h2', { class: 'pane-title' }, String(job.title || '')),
      h('button', { type: 'button', class: 'btn btn-ghost btn-small', dataset: { action: 'close-pane' }, 'aria-label': t('jobs.closeDetails'), on: { click: () => select(job) } }, '×'),
    ),
    h('p', { class: 'pane-company' }, String(job.company || '')),
    h(
      'dl',
      { class: 'facts' },
      h('dt', null, t('jobs.trustLabel')),
      h('dd', null, trustPill(job.securityLabel, job.securityScore)),
      job.category ? [h('dt', null, t('jobs.category')), h('dd', null, categoryLabel(job.category))] : null,
      job.location ? [h('dt', null, t('jobs.location')), h('dd', null, String(job.location))] : null,
      jobDate(job) ? [h('dt', null, t('jobs.posted')), h('dd', null, jobDate(job))] : null,
      [h('dt', null, t('jobs.sourceLabel')), h('dd', null, String(job.source || ''))],
      job.applicationStatus ? [h('dt', null, t('jobs.applicationStatus')), h('dd', null, String(job.applicationStatus))] : null,
      state.hasSkills ? [h('dt', null, t('jobs.matchLabel')), h('dd', null, t('jobs.match', { score: Number(job.matchScore) || 0 }))] : null,
    ),
    skills.length ? h('div', { class: 'chips chips-good', 'aria-label': t('jobs.matchedSkills') }, skills.map((skill) => h('span', { class: 'chip' }, String(skill)))) : null,
    tags.length ? h('div', { class: 'chips small' }, tags.map((tag) => h('span', { class: 'chip' }, tagLabel(tag)))) : null,
    alsoOn.length
      ? h(
          'div',
          { class: 'pane-also', dataset: { role: 'also-on-list' } },
          h('span', { class: 'muted' }, t('jobs.alsoOnTitle')),
          alsoOn.map((other) =>
            h('button', { type: 'button', class: 'btn btn-ghost btn-small', on: { click: (e) => openJob({ ...job, id: other.id, url: other.url, source: other.source }, e.currentTarget) } }, String(other.source)),
          ),
        )
      : null,
    h(
      'div',
      { class: 'pane-actions' },
      h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'open' }, on: { click: (e) => openJob(job, e.currentTarget) } }, t('jobs.open')),
      job.mark === 'saved' ? markButton('', t('jobs.unsave'), 'unsave') : markButton('saved', t('jobs.save'), 'save'),
      job.mark === 'hidden' ? markButton('', t('jobs.unhide'), 'unhide') : markButton('hidden', t('jobs.hide'), 'hide'),
      h(
        'button',
        {
          type: 'button',
          class: 'btn btn-ghost',
          dataset: { action: 'check' },
          on: {
            click: () => {
              state.tab = 'link';
              state.linkUrl = String(job.url || '');
              renderTabs();
              checkLink();
            },
          },
        },
        t('jobs.checkLink'),
      ),
    ),
    h('div', { class: 'job-description' }, String(job.description || '') || t('jobs.noDescription')),
  );
}

function renderList() {
  if (!els.list || !els.list.isConnected) return;
  if (state.loading && !state.jobs.length) {
    replace(els.list, loadingState());
  } else if (state.error) {
    replace(els.list, errorState(state.error, isConnected() ? loadJobs : null));
  } else if (!state.jobs.length) {
    const filtered = state.query.trim() || state.category !== 'All' || state.source || state.jobType || state.postedWithinDays;
    replace(els.list, filtered ? emptyState(t('jobs.noMatchTitle'), t('jobs.noMatchText')) : emptyState(t('jobs.emptyTitle'), t('jobs.emptyText')));
  } else {
    replace(els.list, state.jobs.map(jobRow));
  }
  els.list.classList.toggle('refreshing', state.loading);
  els.list.setAttribute('aria-busy', String(state.loading));
  const from = state.page * PAGE_SIZE + 1;
  const to = state.page * PAGE_SIZE + state.jobs.length;
  replace(
    els.pager,
    h('button', { type: 'button', class: 'btn', dataset: { action: 'prev' }, disabled: state.page === 0 || state.loading, on: { click: () => turn(-1) } }, t('jobs.previous')),
    h('span', { class: 'pager-info', dataset: { role: 'page-info' } }, state.jobs.length ? t('jobs.range', { from: formatNumber(from), to: formatNumber(to), page: formatNumber(state.page + 1) }) : t('jobs.page', { page: formatNumber(state.page + 1) })),
    h('button', { type: 'button', class: 'btn', dataset: { action: 'next' }, disabled: !state.hasMore || state.loading, on: { click: () => turn(1) } }, t('jobs.next')),
  );
}

function turn(step) {
  state.page = Math.max(0, state.page + step);
  loadJobs();
  if (els.list) els.list.scrollIntoView({ block: 'start' });
}

async function checkLink() {
  const url = state.linkUrl.trim();
  if (!url) {
    state.linkError = null;
    state.linkResult = null;
    renderLinkResult();
    return;
  }
  state.linkError = null;
  try {
    state.linkResult = await request('assessUrl', { url });
  } catch (error) {
    state.linkResult = null;
    state.linkError = error;
  }
  renderLinkResult();
}

function renderLinkResult() {
  if (!els.linkResult || !els.linkResult.isConnected) return;
  if (state.linkError) {
    replace(els.linkResult, errorState(state.linkError));
    return;
  }
  const r = state.linkResult;
  if (!r) {
    replace(els.linkResult, h('p', { class: 'muted' }, t('link.intro')));
    return;
  }
  replace(
    els.linkResult,
    h(
      'div',
      { class: 'assessment', dataset: { role: 'assessment' } },
      h('div', { class: 'assessment-score' }, h('span', { class: 'big-number' }, String(Number(r.score) || 0)), h('span', { class: 'muted' }, '/100')),
      h(
        'div',
        { class: 'assessment-body' },
        trustPill(r.label, r.score),
        h('p', null, String(r.summary || '')),
        h(
          'dl',
          { class: 'facts' },
          h('dt', null, t('link.host')),
          h('dd', null, String(r.host || '') || '—'),
          h('dt', null, t('link.https')),
          h('dd', null, r.isHttps ? t('common.yes') : t('common.no')),
        ),
        h('h3', null, t('link.checks')),
        h('ul', { class: 'checks' }, (r.checks || []).map((line) => h('li', { class: warningChecks([line]).length ? 'warn' : 'ok' }, String(line)))),
      ),
    ),
  );
}

function renderTabs() {
  if (!els.body || !els.body.isConnected) return;
  for (const button of els.tabs.querySelectorAll('button')) {
    button.classList.toggle('active', button.dataset.tab === state.tab);
    button.setAttribute('aria-selected', button.dataset.tab === state.tab ? 'true' : 'false');
  }
  if (state.tab === 'link') {
    const input = h('input', {
      type: 'url',
      class: 'input grow',
      placeholder: 'https://',
      value: state.linkUrl,
      'aria-label': t('link.urlLabel'),
      dataset: { role: 'link-url' },
      on: { input: (e) => (state.linkUrl = e.target.value) },
    });
    replace(
      els.body,
      h(
        'section',
        { class: 'card' },
        h('h2', null, t('link.title')),
        h(
          'form',
          {
            class: 'row',
            on: {
              submit: (e) => {
                e.preventDefault();
                checkLink();
              },
            },
          },
          input,
          h('button', { type: 'submit', class: 'btn btn-primary', dataset: { action: 'assess' } }, t('link.check')),
        ),
        h('div', { ref: (el) => (els.linkResult = el) }),
      ),
    );
    renderLinkResult();
  } else {
    const search = h('input', {
      type: 'search',
      class: 'input grow',
      placeholder: t('jobs.searchPlaceholder'),
      value: state.query,
      'aria-label': t('jobs.searchLabel'),
      dataset: { role: 'search' },
      on: {
        input: (e) => {
          state.query = e.target.value;
          searchSoon();
        },
      },
    });
    const select = (role, label, value, choices, onChange) =>
      h(
        'select',
        { class: 'input filter', 'aria-label': label, title: label, dataset: { role }, on: { change: (e) => onChange(e.target.value) } },
        options(choices, value),
      );
    const changed = () => {
      state.page = 0;
      rememberFilters();
      loadJobs();
    };
    const filters = h(
      'div',
      { class: 'filters', dataset: { role: 'filters' } },
      select('sort', t('jobs.sortLabel'), state.sort, [['newest', t('jobs.sortNewest')], ['match', t('jobs.sortMatch')]], (v) => {
        state.sort = v;
        changed();
      }),
      select('source', t('jobs.sourceLabel'), state.source, [['', t('jobs.anySource')], ...SOURCES.map((name) => [name, name])], (v) => {
        state.source = v;
        changed();
      }),
      select('age', t('jobs.postedLabel'), state.postedWithinDays, AGES.map((days) => [days, days ? t('jobs.withinDays', { days }) : t('jobs.anyAge')]), (v) => {
        state.postedWithinDays = Number(v) || 0;
        changed();
      }),
      select('job-type', t('jobs.jobTypeLabel'), state.jobType, [['', t('jobs.anyJobType')], ...JOB_TYPES.map((type) => [type, t(`jobType.${type}`)])], (v) => {
        state.jobType = v;
        changed();
      }),
      h(
        'label',
        { class: 'check filter-check' },
        h('input', {
          type: 'checkbox',
          checked: state.includeHidden,
          dataset: { role: 'include-hidden' },
          on: {
            change: (e) => {
              state.includeHidden = e.target.checked;
              changed();
            },
          },
        }),
        t('jobs.showHidden'),
      ),
      h('button', { type: 'button', class: 'btn btn-ghost btn-small', dataset: { action: 'save-search' }, on: { click: (e) => saveSearch(e.currentTarget) } }, t('jobs.saveSearch')),
    );
    replace(
      els.body,
      h(
        'div',
        { class: 'jobs-layout', ref: (el) => (els.layout = el) },
        h('aside', { class: 'categories', ref: (el) => (els.categories = el), 'aria-label': t('jobs.categories') }),
        h(
          'div',
          { class: 'jobs-column' },
          h('div', { class: 'toolbar' }, search),
          filters,
          h('div', { class: 'saved-searches', ref: (el) => (els.saved = el), dataset: { role: 'saved-searches' } }),
          h('div', { class: 'job-list', ref: (el) => (els.list = el), 'aria-live': 'polite' }),
          h('div', { class: 'pager', ref: (el) => (els.pager = el) }),
        ),
        h('aside', { class: 'job-pane', id: 'job-pane', tabindex: '-1', 'aria-label': t('jobs.details'), hidden: true, ref: (el) => (els.pane = el) }),
      ),
    );
    renderCategories();
    renderSavedSearches();
    renderList();
    renderPane();
  }
}

async function saveSearch(button) {
  const name = (state.query.trim() || (state.category !== 'All' ? categoryLabel(state.category) : '') || t('jobs.allCategories')).slice(0, 120);
  await withBusy(button, t('jobs.working'), async () => {
    try {
      await request('saveSearch', {
        name,
        query: state.query,
        category: state.category,
        source: state.source,
        jobType: state.jobType,
        postedWithinDays: state.postedWithinDays,
      });
      toast(t('jobs.searchSaved', { name }), 'success');
      loadSavedSearches();
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

async function openSavedSearch(search) {
  try {
    const opened = await request('openSavedSearch', { id: search.id });
    state.query = String(opened.query || '');
    state.category = String(opened.category || 'All');
    state.source = SOURCES.includes(opened.source) ? opened.source : '';
    state.jobType = JOB_TYPES.includes(opened.jobType) ? opened.jobType : '';
    state.postedWithinDays = AGES.includes(Number(opened.postedWithinDays)) ? Number(opened.postedWithinDays) : 0;
    state.page = 0;
    rememberFilters();
    renderTabs();
    loadJobs();
    loadSavedSearches();
  } catch (error) {
    toast(errorText(error), 'error');
    loadSavedSearches();
  }
}

async function deleteSavedSearch(search) {
  try {
    await request('deleteSavedSearch', { id: search.id });
  } catch (error) {
    toast(errorText(error), 'error');
  }
  loadSavedSearches();
}

function renderSavedSearches() {
  if (!els.saved || !els.saved.isConnected) return;
  if (!state.savedSearches.length) {
    replace(els.saved);
    return;
  }
  replace(
    els.saved,
    h('span', { class: 'saved-title' }, t('jobs.savedSearches')),
    state.savedSearches.map((search) =>
      h(
        'span',
        { class: 'saved-search', dataset: { searchId: search.id } },
        h(
          'button',
          { type: 'button', class: 'saved-open', dataset: { action: 'open-search' }, on: { click: () => openSavedSearch(search) } },
          String(search.name || ''),
          Number(search.newCount) > 0 ? h('span', { class: 'new-count' }, t('jobs.newCount', { count: formatNumber(search.newCount) })) : null,
        ),
        h('button', { type: 'button', class: 'saved-delete', dataset: { action: 'delete-search' }, 'aria-label': t('jobs.deleteSearch', { name: String(search.name || '') }), on: { click: () => deleteSavedSearch(search) } }, '×'),
      ),
    ),
  );
}

// The location preference hides listings; say so, so an empty list is not a mystery.
function locationNote(app) {
  const s = store.settings;
  if (!s || (s.locationMode !== 'us' && s.locationMode !== 'home')) return null;
  const country = s.locationMode === 'us' ? countryName('US', language()) : s.homeCountryCode ? countryName(s.homeCountryCode, language()) : String(s.homeCountryName || '');
  return h(
    'div',
    { class: 'filter-note', dataset: { role: 'location-filter' } },
    h('span', null, t('jobs.locationFilter', { country: country || '—' })),
    h('button', { type: 'button', class: 'btn btn-ghost small', on: { click: () => app && app.navigate('settings') } }, t('jobs.changeLocation')),
  );
}

const searchSoon = debounce(() => {
  state.page = 0;
  loadJobs();
}, 300);

export default {
  id: 'jobs',
  icon: 'jobs',
  labelKey: 'nav.jobs',
  render(root, app) {
    els = {};
    const tab = (id, label) =>
      h('button', { type: 'button', role: 'tab', class: 'tab', dataset: { tab: id }, on: { click: () => { state.tab = id; renderTabs(); } } }, label);
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('jobs.title')), h('p', { class: 'lead' }, t('jobs.lead')))),
      locationNote(app),
      h('div', { class: 'tabs', role: 'tablist', ref: (el) => (els.tabs = el) }, tab('listings', t('jobs.tabListings')), tab('link', t('jobs.tabLink'))),
      h('div', { ref: (el) => (els.body = el) }),
    );
    renderTabs();
  },
  show() {
    // Coming back to Jobs means coming back to the listings, not to the last link checked.
    if (state.tab !== 'listings') {
      state.tab = 'listings';
      renderTabs();
    }
    if (!isConnected()) {
      state.error = { kind: 'not_connected' };
      renderList();
      return;
    }
    loadCategories();
    loadSavedSearches();
    const first = !filtersLoaded;
    loadFilters().then(() => {
      if (first) renderTabs();
      loadJobs();
    });
  },
};

