import { h, append, replace } from '../dom.js';
import { t } from '../i18n.js';
import { isConnected } from '../bridge.js';
import { store, subscribe, loadDashboard, startSync, retrySource } from '../store.js';
import { formatDate, formatDateTime, formatNumber } from '../format.js';
import { errorText } from '../ui.js';
import { icon } from '../icons.js';

let countsEl = null;
let syncEl = null;
let lastSyncEl = null;
let syncButton = null;
let followUpsEl = null;
let app = null;

subscribe((what) => {
  if (what === 'dashboard' || what === 'settings') renderCounts();
  if (what === 'dashboard' || what === 'settings') renderFollowUps();
  if (what === 'sync') renderSync();
});

function renderCounts() {
  if (!countsEl || !countsEl.isConnected) return;
  const d = store.dashboard;
  const card = (key, value, tone) =>
    h('div', { class: `stat ${tone}`, dataset: { stat: key } }, h('div', { class: 'stat-value' }, d ? formatNumber(value) : '–'), h('div', { class: 'stat-label' }, t(`dashboard.${key}`)));
  replace(
    countsEl,
    card('totalJobs', d && d.totalJobs, 'tone-blue'),
    card('checkedJobs', d && d.checkedJobs, 'tone-green'),
    card('added7d', d && d.added7d, 'tone-orange'),
    // Only entries past Opened count as applications the user made.
    card('applied', d && (d.applied ?? d.applications), 'tone-violet'),
  );
  if (store.dashboardError && isConnected()) {
    countsEl.appendChild(h('p', { class: 'inline-error', role: 'alert' }, errorText(store.dashboardError)));
  }
  const fresh = d && Array.isArray(d.savedSearches) ? d.savedSearches : [];
  if (fresh.length) {
    countsEl.appendChild(
      h('p', { class: 'notice-line ok saved-news', dataset: { role: 'saved-search-news' } }, `${t('dashboard.newSearches')}: ${fresh.map((s) => t('dashboard.newSearchItem', { name: String(s.name), count: formatNumber(s.newCount) })).join(' · ')}`),
    );
  }
  renderLastSync();
}

// Due follow-ups come first on the dashboard: they are the one thing here that asks the user
// to act today.
function renderFollowUps() {
  if (!followUpsEl || !followUpsEl.isConnected) return;
  const d = store.dashboard;
  const due = d && Array.isArray(d.followUps) ? d.followUps : [];
  followUpsEl.hidden = !due.length;
  if (!due.length) return;
  const more = Number(d.followUpsDue) - due.length;
  replace(
    followUpsEl,
    h(
      'div',
      { class: 'card-head' },
      h('h2', { id: 'follow-ups-title' }, t('dashboard.followUpsTitle', { count: formatNumber(d.followUpsDue) })),
      h('button', { type: 'button', class: 'btn', dataset: { action: 'open-tracker' }, on: { click: () => app?.navigate('applications') } }, t('dashboard.openTracker')),
    ),
    h(
      'ul',
      { 'aria-labelledby': 'follow-ups-title' },
      due.map((item) =>
        h(
          'li',
          { dataset: { applicationId: item.id } },
          h('span', null, h('strong', null, String(item.title || '')), ' · ', String(item.company || '')),
          h('span', { class: 'follow-up due' }, t('dashboard.followUpDue', { date: formatDate(`${item.followUpAt}T12:00:00`) })),
        ),
      ),
      more > 0 ? h('li', { class: 'muted' }, t('dashboard.followUpsMore', { count: formatNumber(more) })) : null,
    ),
  );
}

function renderLastSync() {
  if (!lastSyncEl) return;
  const last = (store.dashboard && store.dashboard.lastSync) || (store.settings && store.settings.lastJobSync) || '';
  replace(lastSyncEl, last ? t('dashboard.lastSync', { time: formatDateTime(last) }) : t('dashboard.neverSynced'));
}

function sourceStatus(status) {
  if (status === 'ok') return t('sync.statusOk');
  if (status === 'cached') return t('sync.statusCached');
  if (status === 'error') return t('sync.statusError');
  return String(status || '');
}

const ERROR_KINDS = ['http', 'timeout', 'dns', 'tls', 'network', 'response'];

// What went wrong in words a user can act on: the HTTP status when the board answered,
// otherwise the kind of failure; the core's own sentence follows.
function sourceProblem(source) {
  const status = Number(source.httpStatus);
  const kind = ERROR_KINDS.includes(source.errorKind) ? source.errorKind : '';
  if (kind === 'http' && status > 0) return t('sync.kindHttp', { status });
  return kind && kind !== 'http' ? t(`sync.kind.${kind}`) : '';
}

function sourceRow(source, index) {
  const failed = source.status === 'error';
  const problem = failed ? sourceProblem(source) : '';
  return h(
    'tr',
    { class: `row-${source.status}`, dataset: { source: source.source || '' } },
    h('th', { scope: 'row', class: 'source-name', id: `source-${index}` }, String(source.source || '')),
    h(
      'td',
      null,
      h('span', { class: `status-pill status-${source.status}` }, sourceStatus(source.status)),
      problem ? h('div', { class: 'source-kind', dataset: { role: 'source-kind' } }, problem) : null,
      source.error ? h('div', { class: 'source-error' }, String(source.error)) : null,
      failed
        ? h(
            'button',
            {
              type: 'button',
              class: 'btn small source-retry',
              dataset: { action: 'retry-source' },
              disabled: store.sync.running || !isConnected(),
              'aria-describedby': `source-${index}`,
              on: { click: () => retrySource(String(source.source || '')) },
            },
            t('sync.retryBoard'),
          )
        : null,
    ),
    h('td', { class: 'num' }, formatNumber(source.imported || 0)),
  );
}

function renderSync() {
  if (!syncEl || !syncEl.isConnected) return;
  const sync = store.sync;
  if (syncButton) {
    syncButton.disabled = sync.running || !isConnected();
    replace(syncButton, icon('sync'), h('span', null, sync.running ? t('sync.running') : t('dashboard.syncNow')));
  }
  renderLastSync();
  const parts = [];
  if (sync.running) {
    const known = sync.total > 0;
    const percent = known ? Math.max(0, Math.min(100, Math.round((sync.current / sync.total) * 100))) : 0;
    const bar = h('div', { class: known ? 'progress' : 'progress indeterminate', role: 'progressbar', 'aria-valuemin': '0', 'aria-valuemax': known ? String(sync.total) : null, 'aria-valuenow': known ? String(sync.current) : null });
    const fill = h('div', { class: 'progress-fill' });
    if (known) fill.style.width = `${percent}%`;
    bar.appendChild(fill);
    parts.push(
      h('div', { class: 'sync-message', dataset: { role: 'sync-message' } }, sync.message || t('sync.starting')),
      bar,
      known ? h('div', { class: 'sync-count' }, t('sync.count', { current: formatNumber(sync.current), total: formatNumber(sync.total) })) : null,
    );
    if (sync.alreadyRunning) parts.push(h('p', { class: 'muted' }, t('sync.alreadyRunning')));
  }
  if (sync.error) parts.push(h('p', { class: 'inline-error', role: 'alert' }, errorText(sync.error)));
  const summary = sync.summary;
  if (summary && !sync.running) {
    parts.push(
      h(
        'div',
        { class: 'sync-summary', dataset: { role: 'sync-summary' } },
        h('strong', null, summary.retried ? t('sync.retried', { source: String(summary.retried), imported: formatNumber(summary.imported || 0) }) : t('sync.done', { imported: formatNumber(summary.imported || 0) })),
        summary.completedAt ? h('span', { class: 'muted' }, ' ' + t('sync.finishedAt', { time: formatDateTime(summary.completedAt) })) : null,
        summary.expiredRemoved ? h('span', { class: 'muted' }, ' ' + t('sync.expired', { count: formatNumber(summary.expiredRemoved) })) : null,
      ),
    );
    const sources = Array.isArray(summary.sources) ? summary.sources : [];
    if (sources.length) {
      parts.push(
        h(
          'table',
          { class: 'sources' },
          h('caption', { class: 'visually-hidden' }, t('sync.tableCaption')),
          h('thead', null, h('tr', null, h('th', { scope: 'col' }, t('sync.source')), h('th', { scope: 'col' }, t('sync.status')), h('th', { scope: 'col', class: 'num' }, t('sync.imported')))),
          h(
            'tbody',
            null,
            sources.map(sourceRow),
          ),
        ),
      );
    }
  }
  if (!parts.length) parts.push(h('p', { class: 'muted' }, t('sync.idle')));
  replace(syncEl, ...parts);
}

export default {
  id: 'dashboard',
  icon: 'dashboard',
  labelKey: 'nav.dashboard',
  render(root, shell) {
    app = shell;
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('dashboard.title')), h('p', { class: 'lead' }, t('dashboard.lead')))),
      h('section', { class: 'card follow-ups', hidden: true, dataset: { role: 'follow-ups' }, ref: (el) => (followUpsEl = el) }),
      h('section', { class: 'stats', ref: (el) => (countsEl = el), 'aria-label': t('dashboard.countsLabel') }),
      h(
        'section',
        { class: 'card sync-card' },
        h(
          'div',
          { class: 'card-head' },
          h('div', null, h('h2', null, t('dashboard.syncTitle')), h('p', { class: 'muted', ref: (el) => (lastSyncEl = el), dataset: { role: 'last-sync' } })),
          h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'sync' }, ref: (el) => (syncButton = el), on: { click: () => startSync() } }),
        ),
        h('div', { class: 'sync-body', ref: (el) => (syncEl = el), 'aria-live': 'polite' }),
      ),
      h(
        'section',
        { class: 'card tips' },
        h('h2', null, t('dashboard.howTitle')),
        h('ol', null, h('li', null, t('dashboard.how1')), h('li', null, t('dashboard.how2')), h('li', null, t('dashboard.how3')), h('li', null, t('dashboard.how4'))),
      ),
    );
    renderCounts();
    renderFollowUps();
    renderSync();
  },
  show() {
    if (isConnected() && store.coreAnswered) loadDashboard();
  },
};
