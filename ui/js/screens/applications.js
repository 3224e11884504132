import { h, append, replace, options } from '../dom.js';
import { t } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { formatDateTime, hostOf } from '../format.js';
import { confirmDialog, toast, errorText, errorState, emptyState, loadingState, withBusy } from '../ui.js';

export const STATUSES = ['Opened', 'Applied', 'Interviewing', 'Offer', 'Rejected', 'Withdrawn'];

const state = { items: [], loading: false, error: null, drafts: new Map() };
let listEl = null;
let token = 0;

function statusLabel(status) {
  return STATUSES.includes(status) ? t(`status.${status}`) : String(status);
}

async function load() {
  const mine = ++token;
  state.loading = true;
  render();
  try {
    const list = await request('getApplications');
    if (mine !== token) return;
    state.items = (Array.isArray(list) ? list : []).slice().sort((a, b) => String(b.lastOpenedAt || '').localeCompare(String(a.lastOpenedAt || '')));
    state.error = null;
  } catch (error) {
    if (mine !== token) return;
    state.error = error;
  }
  state.loading = false;
  render();
}

function draftOf(item) {
  if (!state.drafts.has(item.id)) state.drafts.set(item.id, { status: item.status || 'Opened', notes: item.notes || '' });
  return state.drafts.get(item.id);
}

async function save(item, button) {
  const draft = draftOf(item);
  await withBusy(button, t('common.saving'), async () => {
    try {
      await request('updateApplication', { id: item.id, status: draft.status, notes: draft.notes });
      item.status = draft.status;
      item.notes = draft.notes;
      toast(t('applications.saved'), 'success');
      render();
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

async function remove(item) {
  const confirmed = await confirmDialog({
    title: t('applications.deleteTitle'),
    message: t('applications.deleteText', { title: String(item.title || '') }),
    confirmLabel: t('common.delete'),
    danger: true,
  });
  if (!confirmed) return;
  try {
    await request('deleteApplication', { id: item.id });
    state.items = state.items.filter((other) => other.id !== item.id);
    state.drafts.delete(item.id);
    toast(t('applications.deleted'), 'success');
    render();
  } catch (error) {
    toast(errorText(error), 'error');
  }
}

async function reopen(item, button) {
  await withBusy(button, t('jobs.opening'), async () => {
    try {
      const result = await request('reopenApplication', { url: item.url });
      if (result && result.opened === false) toast(t('jobs.blocked'), 'error');
      else toast(t('jobs.opened', { title: String(item.title || '') }), 'success');
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

function row(item) {
  const draft = draftOf(item);
  const dirty = draft.status !== (item.status || 'Opened') || draft.notes !== (item.notes || '');
  const statusChoices = STATUSES.includes(draft.status) ? STATUSES : [draft.status, ...STATUSES];
  const saveButton = h('button', { type: 'button', class: dirty ? 'btn btn-primary' : 'btn', dataset: { action: 'save' }, on: { click: (e) => save(item, e.currentTarget) } }, t('common.save'));
  const markDirty = () => {
    saveButton.className = 'btn btn-primary';
  };
  return h(
    'article',
    { class: 'application', dataset: { applicationId: item.id } },
    h(
      'div',
      { class: 'application-head' },
      h('div', null, h('h3', null, String(item.title || '')), h('div', { class: 'job-meta' }, h('span', { class: 'job-company' }, String(item.company || '')), h('span', { class: 'muted' }, hostOf(item.url)))),
      h('span', { class: `status-pill app-status-${String(item.status || 'Opened').toLowerCase()}` }, statusLabel(item.status || 'Opened')),
    ),
    h(
      'div',
      { class: 'application-dates muted' },
      t('applications.firstOpened', { time: formatDateTime(item.firstOpenedAt) }),
      ' · ',
      t('applications.lastOpened', { time: formatDateTime(item.lastOpenedAt) }),
    ),
    h(
      'div',
      { class: 'application-edit' },
      h(
        'label',
        { class: 'field compact' },
        h('span', { class: 'field-label' }, t('applications.status')),
        h(
          'select',
          { class: 'input', dataset: { role: 'status' }, on: { change: (e) => { draft.status = e.target.value; markDirty(); } } },
          options(statusChoices.map((s) => [s, statusLabel(s)]), draft.status),
        ),
      ),
      h(
        'label',
        { class: 'field grow' },
        h('span', { class: 'field-label' }, t('applications.notes')),
        h('textarea', { class: 'input', rows: '2', dataset: { role: 'notes' }, on: { input: (e) => { draft.notes = e.target.value; markDirty(); } } }, draft.notes),
      ),
    ),
    h(
      'div',
      { class: 'application-actions' },
      saveButton,
      h('button', { type: 'button', class: 'btn', dataset: { action: 'reopen' }, on: { click: (e) => reopen(item, e.currentTarget) } }, t('applications.reopen')),
      h('button', { type: 'button', class: 'btn btn-ghost danger-text', dataset: { action: 'delete' }, on: { click: () => remove(item) } }, t('common.delete')),
    ),
  );
}

function render() {
  if (!listEl || !listEl.isConnected) return;
  if (state.loading && !state.items.length) replace(listEl, loadingState());
  else if (state.error) replace(listEl, errorState(state.error, isConnected() ? load : null));
  else if (!state.items.length) replace(listEl, emptyState(t('applications.emptyTitle'), t('applications.emptyText')));
  else replace(listEl, state.items.map(row));
}

export default {
  id: 'applications',
  icon: 'applications',
  labelKey: 'nav.applications',
  render(root) {
    append(root, 
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('applications.title')), h('p', { class: 'lead' }, t('applications.lead')))),
      h('div', { class: 'application-list', ref: (el) => (listEl = el) }),
    );
    render();
  },
  show() {
    if (!isConnected()) {
      state.error = { kind: 'not_connected' };
      render();
      return;
    }
    state.drafts.clear();
    load();
  },
};
