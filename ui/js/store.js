// State shared by several screens: settings, dashboard counts and the job sync.
import { request, onEvent } from './bridge.js';

export const store = {
  connected: false,
  coreAnswered: false,
  version: '',
  settings: null,
  dashboard: null,
  dashboardError: null,
  // Contact details from a resume chosen at welcome, waiting for the profile form.
  profilePrefill: null,
  sync: { running: false, message: '', current: 0, total: 0, summary: null, error: null, alreadyRunning: false },
};

const listeners = new Set();

export function subscribe(fn) {
  listeners.add(fn);
  return () => listeners.delete(fn);
}

export function changed(what) {
  for (const fn of listeners) {
    try {
      fn(what);
    } catch (error) {
      console.warn('Velmora view update failed', error);
    }
  }
}

export async function loadDashboard() {
  try {
    store.dashboard = await request('getDashboard');
    store.dashboardError = null;
    if (store.settings && typeof store.dashboard.lastSync === 'string') store.settings.lastJobSync = store.dashboard.lastSync;
  } catch (error) {
    store.dashboardError = error;
  }
  changed('dashboard');
}

// getInitialState gives everything in one round trip; older cores without it still answer
// getSettings and getDashboard.
export async function loadInitialState() {
  try {
    const state = await request('getInitialState');
    store.coreAnswered = true;
    store.version = typeof state.version === 'string' ? state.version : '';
    store.settings = state.settings || null;
    store.dashboard = state.dashboard || null;
    // The last sync's per-board result survives a restart, failures included.
    if (state.syncSummary && typeof state.syncSummary === 'object' && !store.sync.running) store.sync.summary = state.syncSummary;
    changed('settings');
    await loadDashboard();
    return true;
  } catch (error) {
    if (error.kind === 'not_connected') throw error;
    if (error.kind !== 'unknown_action') throw error;
  }
  store.settings = await request('getSettings');
  store.coreAnswered = true;
  changed('settings');
  await loadDashboard();
  return true;
}

export function isSyncDue(settings, now = Date.now()) {
  if (!settings) return false;
  const hours = [1, 6, 12, 24].includes(Number(settings.searchIntervalHours)) ? Number(settings.searchIntervalHours) : 24;
  const last = Date.parse(settings.lastJobSync || '');
  if (Number.isNaN(last)) return true;
  return now - last >= hours * 3600 * 1000;
}

export function startSync() {
  return runSync('startupSyncJobs', {});
}

// One board again, after it failed; the same events and summary as a whole sync.
export function retrySource(source) {
  return runSync('retryJobSource', { source });
}

async function runSync(action, payload) {
  const sync = store.sync;
  sync.error = null;
  sync.alreadyRunning = false;
  if (!sync.running) {
    sync.running = true;
    sync.summary = null;
    sync.message = '';
    sync.current = 0;
    sync.total = 0;
  }
  changed('sync');
  try {
    const result = await request(action, payload);
    if (result && result.status === 'already_running') {
      sync.alreadyRunning = true;
      changed('sync');
      return;
    }
    finishSync(result);
  } catch (error) {
    sync.running = false;
    sync.error = error;
    changed('sync');
  }
}

function finishSync(summary) {
  const sync = store.sync;
  sync.running = false;
  sync.alreadyRunning = false;
  if (summary && typeof summary === 'object') {
    sync.summary = summary;
    if (store.settings && summary.completedAt) store.settings.lastJobSync = summary.completedAt;
  }
  changed('sync');
  loadDashboard();
  changed('jobsChanged');
}

let progressRefresh = 0;

export function listenForSyncEvents() {
  onEvent('jobSyncStarted', (data) => {
    const sync = store.sync;
    sync.running = true;
    sync.summary = null;
    sync.error = null;
    sync.message = data && typeof data.message === 'string' ? data.message : '';
    sync.current = 0;
    sync.total = 0;
    changed('sync');
  });
  onEvent('jobSyncProgress', (data) => {
    const sync = store.sync;
    sync.running = true;
    if (data && typeof data === 'object') {
      sync.message = typeof data.message === 'string' ? data.message : sync.message;
      sync.current = Number(data.current) || 0;
      sync.total = Number(data.total) || 0;
    }
    changed('sync');
    // New listings are stored while the sync runs; refresh the counts now and then.
    const now = Date.now();
    if (now - progressRefresh > 3000) {
      progressRefresh = now;
      loadDashboard();
    }
  });
  onEvent('jobSyncCompleted', (summary) => finishSync(summary));
}
