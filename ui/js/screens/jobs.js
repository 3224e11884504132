import { h, append, replace, debounce } from '../dom.js';
import { t, language } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { store, subscribe } from '../store.js';
import { countryName } from '../countries.js';
import { formatDate, formatNumber, trustBadge, trustLabel, warningChecks } from '../format.js';
import { confirmDialog, toast, errorText, errorState, emptyState, loadingState, withBusy } from '../ui.js';

const PAGE_SIZE = 50;

const state = {
  tab: 'listings',
  categories: [],
  categoriesError: null,
  category: 'All',
  query: '',
  page: 0,
  jobs: [],
  hasMore: false,
  loading: false,
  error: null,
  expanded: new Set(),
  linkUrl: '',
  linkResult: null,
  linkError: null,
};

let els = {};
let listToken = 0;
let categoryToken = 0;

subscribe((what) => {
  if (what === 'jobsChanged' && els.list && els.list.isConnected) {
    loadCategories();
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
    const list = await request('getJobs', { category: state.category, query: state.query, limit: PAGE_SIZE + 1, offset: state.page * PAGE_SIZE });
    if (token !== listToken) return;
    const rows = Array.isArray(list) ? list : [];
    state.hasMore = rows.length > PAGE_SIZE;
    state.jobs = rows.slice(0, PAGE_SIZE);
  } catch (error) {
    if (token !== listToken) return;
    state.jobs = [];
    state.hasMore = false;
    state.error = error;
  }
  state.loading = false;
  renderList();
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
    state.categories.map((c) => item(String(c.name), String(c.name), c.count)),
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

function jobCard(job) {
  const expanded = state.expanded.has(job.id);
  const tags = String(job.tags || '')
    .split(',')
    .map((tag) => tag.trim())
    .filter(Boolean)
    .slice(0, 8);
  const date = job.publishedAt || job.addedAt;
  const descriptionId = `job-desc-${job.id}`;
  return h(
    'article',
    { class: 'job', dataset: { jobId: job.id } },
    h(
      'div',
      { class: 'job-main' },
      h(
        'div',
        { class: 'job-head' },
        h('h3', { class: 'job-title' }, String(job.title || '')),
        trustBadge(job.securityLabel, job.securityScore),
      ),
      h(
        'div',
        { class: 'job-meta' },
        h('span', { class: 'job-company' }, String(job.company || '')),
        job.location ? h('span', { class: 'job-location' }, String(job.location)) : null,
        job.category ? h('span', { class: 'job-category' }, String(job.category)) : null,
        date ? h('span', { class: 'job-date' }, formatDate(date)) : null,
        job.source ? h('span', { class: 'job-source' }, String(job.source)) : null,
      ),
      tags.length ? h('div', { class: 'chips small' }, tags.map((tag) => h('span', { class: 'chip' }, tag))) : null,
      expanded
        ? h('div', { class: 'job-description', id: descriptionId }, String(job.description || '') || t('jobs.noDescription'))
        : null,
    ),
    h(
      'div',
      { class: 'job-actions' },
      h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'open' }, on: { click: (e) => openJob(job, e.currentTarget) } }, t('jobs.open')),
      h(
        'button',
        {
          type: 'button',
          class: 'btn btn-ghost',
          dataset: { action: 'details' },
          'aria-expanded': expanded ? 'true' : 'false',
          on: {
            click: () => {
              if (expanded) state.expanded.delete(job.id);
              else state.expanded.add(job.id);
              renderList();
            },
          },
        },
        expanded ? t('jobs.hideDetails') : t('jobs.showDetails'),
      ),
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
  );
}

function renderList() {
  if (!els.list || !els.list.isConnected) return;
  if (state.loading && !state.jobs.length) {
    replace(els.list, loadingState());
  } else if (state.error) {
    replace(els.list, errorState(state.error, isConnected() ? loadJobs : null));
  } else if (!state.jobs.length) {
    const filtered = state.query.trim() || state.category !== 'All';
    replace(els.list, filtered ? emptyState(t('jobs.noMatchTitle'), t('jobs.noMatchText')) : emptyState(t('jobs.emptyTitle'), t('jobs.emptyText')));
  } else {
    replace(els.list, state.jobs.map(jobCard));
  }
  els.list.classList.toggle('refreshing', state.loading);
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
  state.expanded.clear();
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
      h('div', { class: 'assessment-score' }, h('span', { class: 'big-number' }, String(Number(r.score) || 0)), h('span', { class: 'muted' }, '/85')),
      h(
        'div',
        { class: 'assessment-body' },
        trustBadge(r.label, r.score),
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
    replace(
      els.body,
      h(
        'div',
        { class: 'jobs-layout' },
        h('aside', { class: 'categories', ref: (el) => (els.categories = el), 'aria-label': t('jobs.categories') }),
        h(
          'div',
          { class: 'jobs-column' },
          h('div', { class: 'toolbar' }, search),
          h('div', { class: 'job-list', ref: (el) => (els.list = el), 'aria-live': 'polite' }),
          h('div', { class: 'pager', ref: (el) => (els.pager = el) }),
        ),
      ),
    );
    renderCategories();
    renderList();
  }
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
  state.expanded.clear();
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
    loadJobs();
  },
};

