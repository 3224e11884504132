import { h, append, replace, options } from '../dom.js';
import { t } from '../i18n.js';
import { request, isConnected } from '../bridge.js';
import { formatDate, hostOf } from '../format.js';
import { loadDashboard } from '../store.js';
import { confirmDialog, toast, errorText, errorState, emptyState, loadingState, withBusy, field } from '../ui.js';

export const STATUSES = ['Saved', 'Opened', 'Applied', 'Interviewing', 'Offer', 'Rejected', 'Withdrawn'];
const CLOSED = ['Rejected', 'Withdrawn'];
const NOTE_DELAY_MS = 600;

const state = {
  items: [],
  loading: false,
  error: null,
  view: 'board',
  filter: '',
  sort: { key: 'lastOpenedAt', dir: -1 },
  adding: false,
  // Notes typed but not yet confirmed by the core, by application id. They outlive the
  // screen, so a note whose save failed is still there when the user comes back.
  drafts: new Map(),
  timers: new Map(),
  // Cards whose details the user opened stay open when the board is drawn again.
  open: new Set(),
};
let bodyEl = null;
let liveEl = null;
let token = 0;

function stageLabel(status) {
  return STATUSES.includes(status) ? t(`status.${status}`) : String(status);
}

function today() {
  const now = new Date();
  return new Date(now.getTime() - now.getTimezoneOffset() * 60000).toISOString().slice(0, 10);
}

function isWebLink(url) {
  return /^https?:\/\//i.test(String(url || ''));
}

function announce(message) {
  if (liveEl) liveEl.textContent = message;
}

async function load() {
  const mine = ++token;
  state.loading = true;
  render();
  try {
    const list = await request('getApplications');
    if (mine !== token) return;
    state.items = Array.isArray(list) ? list : [];
    state.error = null;
  } catch (error) {
    if (mine !== token) return;
    state.error = error;
  }
  state.loading = false;
  render();
}

function replaceItem(updated) {
  if (!updated || typeof updated.id !== 'number') return;
  const index = state.items.findIndex((item) => item.id === updated.id);
  if (index >= 0) state.items[index] = updated;
  else state.items.unshift(updated);
}

async function update(item, patch) {
  const result = await request('updateApplication', { id: item.id, ...patch });
  if (result && result.application) replaceItem(result.application);
  return result;
}

// ---- Notes: saved a moment after typing stops, and at once when the screen is left.

async function saveNote(id) {
  clearTimeout(state.timers.get(id));
  state.timers.delete(id);
  if (!state.drafts.has(id)) return;
  const notes = state.drafts.get(id);
  const item = state.items.find((other) => other.id === id);
  if (!item) return;
  setNoteStatus(id, t('tracker.saving'));
  try {
    await update(item, { notes });
    // Typing may have gone on while the request was out; only a matching draft is done.
    if (state.drafts.get(id) === notes) state.drafts.delete(id);
    setNoteStatus(id, t('tracker.noteSaved'));
  } catch (error) {
    setNoteStatus(id, t('tracker.saveFailed', { error: errorText(error) }), true);
  }
}

function noteTyped(id, value) {
  state.drafts.set(id, value);
  clearTimeout(state.timers.get(id));
  state.timers.set(id, setTimeout(() => saveNote(id), NOTE_DELAY_MS));
  setNoteStatus(id, '');
}

function flushNotes() {
  return Promise.all([...state.drafts.keys()].map((id) => saveNote(id)));
}

function setNoteStatus(id, message, failed = false) {
  if (!bodyEl) return;
  for (const el of bodyEl.querySelectorAll(`[data-note-status="${id}"]`)) {
    el.textContent = message;
    el.classList.toggle('inline-error', failed);
  }
}

// ---- Stages

async function moveTo(item, status, { focus = false } = {}) {
  if (!STATUSES.includes(status) || status === item.status) return;
  const title = String(item.title || '');
  try {
    await update(item, { status });
    announce(t('tracker.moved', { title, stage: stageLabel(status) }));
    render();
    if (focus && bodyEl) bodyEl.querySelector(`.app-card[data-application-id="${item.id}"]`)?.focus();
    loadDashboard();
  } catch (error) {
    toast(errorText(error), 'error');
    render();
  }
}

function neighbour(status, step) {
  const index = STATUSES.indexOf(status);
  const next = index < 0 ? (step > 0 ? 0 : -1) : index + step;
  return next >= 0 && next < STATUSES.length ? STATUSES[next] : null;
}

// ---- Pieces shared by the board and the list

function followUpNote(item) {
  if (!item.followUpAt) return null;
  const due = item.followUpAt <= today() && !CLOSED.includes(item.status);
  const overdue = due && item.followUpAt < today();
  const text = overdue
    ? t('tracker.overdue', { date: formatDate(`${item.followUpAt}T12:00:00`) })
    : due
      ? t('tracker.dueToday')
      : t('tracker.followUpOn', { date: formatDate(`${item.followUpAt}T12:00:00`) });
  return h('span', { class: due ? 'follow-up due' : 'follow-up', dataset: { role: 'follow-up' } }, text);
}

function datesLine(item) {
  return h(
    'div',
    { class: 'application-dates muted' },
    item.appliedAt ? h('span', null, t('tracker.appliedOn', { date: formatDate(item.appliedAt) })) : null,
    item.statusChangedAt && !item.appliedAt ? h('span', null, t('tracker.changedOn', { date: formatDate(item.statusChangedAt) })) : null,
    followUpNote(item),
  );
}

function stageSelect(item, onChange) {
  const choices = STATUSES.includes(item.status) ? STATUSES : [item.status, ...STATUSES];
  return h(
    'select',
    { class: 'input', dataset: { role: 'status' }, 'aria-label': t('tracker.stage'), on: { change: (e) => onChange(e.target.value) } },
    options(choices.map((s) => [s, stageLabel(s)]), item.status),
  );
}

function editor(item) {
  const notes = state.drafts.has(item.id) ? state.drafts.get(item.id) : String(item.notes || '');
  return h(
    'div',
    { class: 'application-edit' },
    h(
      'label',
      { class: 'field grow' },
      h('span', { class: 'field-label' }, t('applications.notes')),
      h('textarea', { class: 'input', rows: '3', maxlength: '20000', dataset: { role: 'notes' }, on: { input: (e) => noteTyped(item.id, e.target.value), blur: () => saveNote(item.id) } }, notes),
      h('span', { class: 'field-hint', role: 'status', dataset: { noteStatus: item.id } }),
    ),
    h(
      'label',
      { class: 'field compact' },
      h('span', { class: 'field-label' }, t('tracker.followUp')),
      h('input', {
        class: 'input',
        type: 'date',
        value: item.followUpAt || '',
        dataset: { role: 'follow-up-date' },
        on: {
          change: async (e) => {
            try {
              await update(item, { followUpAt: e.target.value });
              render();
              loadDashboard();
            } catch (error) {
              toast(errorText(error), 'error');
            }
          },
        },
      }),
    ),
  );
}

function actions(item) {
  return h(
    'div',
    { class: 'application-actions' },
    isWebLink(item.url) ? h('a', { class: 'btn btn-ghost', href: item.url, target: '_blank', rel: 'noopener noreferrer', dataset: { role: 'listing' } }, hostOf(item.url) || t('tracker.listing')) : null,
    h('button', { type: 'button', class: 'btn', dataset: { action: 'reopen' }, on: { click: (e) => reopen(item, e.currentTarget) } }, t('applications.reopen')),
    h('button', { type: 'button', class: 'btn btn-ghost danger-text', dataset: { action: 'delete' }, on: { click: () => remove(item) } }, t('common.delete')),
  );
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
    loadDashboard();
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

// ---- Board

function card(item) {
  const title = String(item.title || '');
  const left = neighbour(item.status, -1);
  const right = neighbour(item.status, 1);
  const moveButton = (target, glyph, action) =>
    target
      ? h('button', { type: 'button', class: 'btn btn-icon', dataset: { action }, 'aria-label': t('tracker.moveTo', { title, stage: stageLabel(target) }), title: stageLabel(target), on: { click: () => moveTo(item, target, { focus: true }) } }, glyph)
      : null;
  return h(
    'article',
    {
      class: 'application app-card',
      tabindex: '0',
      draggable: 'true',
      dataset: { applicationId: item.id },
      'aria-label': `${title}, ${String(item.company || '')}, ${stageLabel(item.status)}`,
      'aria-describedby': 'board-hint',
      on: {
        keydown: (e) => {
          // Arrow keys inside the note or the menus belong to them.
          if (e.target !== e.currentTarget) return;
          const target = e.key === 'ArrowRight' ? right : e.key === 'ArrowLeft' ? left : null;
          if (!target) return;
          e.preventDefault();
          moveTo(item, target, { focus: true });
        },
        dragstart: (e) => {
          e.dataTransfer.setData('text/plain', String(item.id));
          e.dataTransfer.effectAllowed = 'move';
        },
      },
    },
    h('div', { class: 'app-card-company' }, String(item.company || '')),
    h('h3', null, title),
    datesLine(item),
    h(
      'div',
      { class: 'app-card-move' },
      moveButton(left, '←', 'move-left'),
      h('span', { class: 'grow' }),
      moveButton(right, '→', 'move-right'),
    ),
    h(
      'details',
      {
        class: 'app-card-more',
        open: state.open.has(item.id) || state.drafts.has(item.id) ? true : null,
        on: { toggle: (e) => (e.currentTarget.open ? state.open.add(item.id) : state.open.delete(item.id)) },
      },
      h('summary', null, t('tracker.details')),
      h('label', { class: 'field' }, h('span', { class: 'field-label' }, t('tracker.stage')), stageSelect(item, (status) => moveTo(item, status))),
      editor(item),
      actions(item),
    ),
  );
}

function board() {
  const stages = [...STATUSES];
  for (const item of state.items) if (!stages.includes(item.status)) stages.push(item.status);
  return h(
    'div',
    { class: 'board' },
    stages.map((stage) => {
      const items = state.items.filter((item) => item.status === stage);
      const headingId = `stage-${STATUSES.indexOf(stage) >= 0 ? stage : 'other-' + stages.indexOf(stage)}`;
      return h(
        'section',
        {
          class: 'board-column',
          dataset: { stage },
          'aria-labelledby': headingId,
          on: {
            dragover: (e) => {
              e.preventDefault();
              e.currentTarget.classList.add('drop-target');
            },
            dragleave: (e) => e.currentTarget.classList.remove('drop-target'),
            drop: (e) => {
              e.preventDefault();
              e.currentTarget.classList.remove('drop-target');
              const id = Number(e.dataTransfer.getData('text/plain'));
              const item = state.items.find((other) => other.id === id);
              if (item) moveTo(item, stage);
            },
          },
        },
        h('h2', { class: 'board-column-head', id: headingId }, h('span', null, stageLabel(stage)), h('span', { class: 'count', dataset: { role: 'count' } }, String(items.length))),
        items.length ? items.map(card) : h('p', { class: 'muted board-empty' }, t('tracker.emptyColumn')),
      );
    }),
  );
}

// ---- List

const COLUMNS = [
  ['title', 'tracker.colApplication'],
  ['status', 'tracker.colStage'],
  ['appliedAt', 'tracker.colApplied'],
  ['followUpAt', 'tracker.colFollowUp'],
  ['lastOpenedAt', 'tracker.colChanged'],
];

function sortValue(item, key) {
  if (key === 'status') return String(STATUSES.indexOf(item.status)).padStart(2, '0');
  if (key === 'lastOpenedAt') return String(item.statusChangedAt || item.lastOpenedAt || '');
  return String(item[key] || '').toLocaleLowerCase();
}

function sorted(items) {
  const { key, dir } = state.sort;
  return items.slice().sort((a, b) => {
    const x = sortValue(a, key);
    const y = sortValue(b, key);
    // Empty dates go last whichever way the column is sorted.
    if (!x !== !y) return x ? -1 : 1;
    return x < y ? -dir : x > y ? dir : 0;
  });
}

function list() {
  const items = sorted(state.items.filter((item) => !state.filter || item.status === state.filter));
  const header = COLUMNS.map(([key, label]) => {
    const active = state.sort.key === key;
    return h(
      'th',
      { scope: 'col', 'aria-sort': active ? (state.sort.dir > 0 ? 'ascending' : 'descending') : null },
      h(
        'button',
        {
          type: 'button',
          class: 'sort',
          dataset: { sort: key },
          on: {
            click: () => {
              state.sort = { key, dir: active ? -state.sort.dir : key === 'title' || key === 'status' ? 1 : -1 };
              render();
            },
          },
        },
        t(label),
        active ? (state.sort.dir > 0 ? ' ▲' : ' ▼') : '',
      ),
    );
  });
  return h(
    'div',
    { class: 'tracker-list' },
    h(
      'label',
      { class: 'field compact' },
      h('span', { class: 'field-label' }, t('tracker.filter')),
      h(
        'select',
        { class: 'input', dataset: { role: 'stage-filter' }, on: { change: (e) => { state.filter = e.target.value; render(); } } },
        options([['', t('tracker.allStages')], ...STATUSES.map((s) => [s, stageLabel(s)])], state.filter),
      ),
    ),
    items.length
      ? h(
          'table',
          { class: 'tracker-table' },
          h('thead', null, h('tr', null, header, h('th', { scope: 'col' }, h('span', { class: 'sr-only' }, t('tracker.colActions'))))),
          h(
            'tbody',
            null,
            items.map((item) =>
              h(
                'tr',
                { dataset: { applicationId: item.id } },
                h('td', null, h('div', { class: 'strong' }, String(item.title || '')), h('div', { class: 'muted' }, String(item.company || ''))),
                h('td', null, stageSelect(item, (status) => moveTo(item, status))),
                h('td', null, item.appliedAt ? formatDate(item.appliedAt) : '–'),
                h('td', null, followUpNote(item) || '–'),
                h('td', null, formatDate(item.statusChangedAt || item.lastOpenedAt)),
                h('td', null, h('button', { type: 'button', class: 'btn small', dataset: { action: 'reopen' }, 'aria-label': `${t('applications.reopen')}: ${String(item.title || '')}`, on: { click: (e) => reopen(item, e.currentTarget) } }, t('applications.reopen'))),
              ),
            ),
          ),
        )
      : h('p', { class: 'muted' }, t('tracker.noMatch')),
  );
}

// ---- Adding by hand

function addForm() {
  const form = h(
    'form',
    {
      class: 'card add-application',
      dataset: { role: 'add-form' },
      on: {
        submit: async (e) => {
          e.preventDefault();
          const data = new FormData(e.currentTarget);
          const payload = Object.fromEntries(['title', 'company', 'url', 'status', 'notes'].map((key) => [key, String(data.get(key) || '')]));
          const button = e.currentTarget.querySelector('button[type="submit"]');
          await withBusy(button, t('common.saving'), async () => {
            try {
              const known = state.items.some((item) => item.url === payload.url.trim());
              const added = await request('addApplication', payload);
              replaceItem(added);
              state.adding = false;
              toast(known ? t('tracker.exists') : t('tracker.added'), 'success');
              render();
              loadDashboard();
            } catch (error) {
              replace(form.querySelector('[data-role="add-error"]'), errorText(error));
            }
          });
        },
      },
    },
    h('h2', null, t('tracker.addTitle')),
    h(
      'div',
      { class: 'add-grid' },
      field(t('tracker.jobTitle'), h('input', { class: 'input', name: 'title', required: true, maxlength: '300', autocomplete: 'off' })),
      field(t('tracker.company'), h('input', { class: 'input', name: 'company', maxlength: '300', autocomplete: 'off' })),
      field(t('tracker.url'), h('input', { class: 'input', name: 'url', type: 'url', required: true, placeholder: 'https://', autocomplete: 'off' })),
      field(t('tracker.stage'), h('select', { class: 'input', name: 'status' }, options(STATUSES.map((s) => [s, stageLabel(s)]), 'Saved'))),
    ),
    field(t('applications.notes'), h('textarea', { class: 'input', name: 'notes', rows: '2', maxlength: '20000' })),
    h('p', { class: 'inline-error', role: 'alert', dataset: { role: 'add-error' } }),
    h(
      'div',
      { class: 'dialog-actions' },
      h('button', { type: 'button', class: 'btn', on: { click: () => { state.adding = false; render(); } } }, t('common.cancel')),
      h('button', { type: 'submit', class: 'btn btn-primary' }, t('tracker.addSubmit')),
    ),
  );
  return form;
}

async function exportCsv(button) {
  await withBusy(button, t('common.saving'), async () => {
    try {
      await flushNotes();
      const result = await request('exportApplicationsCsv');
      if (result && result.saved) toast(t('tracker.exported', { path: String(result.path || '') }), 'success');
    } catch (error) {
      toast(errorText(error), 'error');
    }
  });
}

function toolbar() {
  const viewButton = (view, label) =>
    h('button', { type: 'button', class: state.view === view ? 'btn btn-toggle active' : 'btn btn-toggle', 'aria-pressed': String(state.view === view), dataset: { view }, on: { click: () => { state.view = view; render(); } } }, t(label));
  return h(
    'div',
    { class: 'tracker-toolbar' },
    h('div', { class: 'segmented', role: 'group', 'aria-label': t('tracker.viewLabel') }, viewButton('board', 'tracker.board'), viewButton('list', 'tracker.list')),
    h('div', { class: 'grow' }),
    h('button', { type: 'button', class: 'btn', dataset: { action: 'export' }, disabled: !state.items.length, on: { click: (e) => exportCsv(e.currentTarget) } }, t('tracker.export')),
    h('button', { type: 'button', class: 'btn btn-primary', dataset: { action: 'add' }, 'aria-expanded': String(state.adding), on: { click: () => { state.adding = !state.adding; render(); if (state.adding) bodyEl?.querySelector('input[name="title"]')?.focus(); } } }, t('tracker.add')),
  );
}

function render() {
  if (!bodyEl || !bodyEl.isConnected) return;
  if (state.loading && !state.items.length) replace(bodyEl, loadingState());
  else if (state.error) replace(bodyEl, errorState(state.error, isConnected() ? load : null));
  else {
    replace(
      bodyEl,
      toolbar(),
      state.adding ? addForm() : null,
      state.view === 'board' ? h('p', { class: 'muted board-hint', id: 'board-hint' }, t('tracker.moveHint')) : null,
      state.items.length ? (state.view === 'board' ? board() : list()) : emptyState(t('applications.emptyTitle'), t('tracker.emptyText')),
    );
  }
}

// Closing the window must not lose a note typed in the last moment either.
window.addEventListener('pagehide', () => flushNotes());

export default {
  id: 'applications',
  icon: 'applications',
  labelKey: 'nav.applications',
  render(root) {
    append(
      root,
      h('header', { class: 'screen-head' }, h('div', null, h('h1', null, t('applications.title')), h('p', { class: 'lead' }, t('tracker.lead')))),
      h('div', { class: 'sr-only', role: 'status', 'aria-live': 'polite', ref: (el) => (liveEl = el) }),
      h('div', { class: 'application-list', ref: (el) => (bodyEl = el) }),
    );
    render();
  },
  show() {
    if (!isConnected()) {
      state.error = { kind: 'not_connected' };
      render();
      return;
    }
    load();
  },
  hide() {
    flushNotes();
  },
};
