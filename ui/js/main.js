// Start-up and navigation of the single-page interface.
import { connect, isConnected, notify, onEvent } from './bridge.js';
import { h, clear, append } from './dom.js';
import { setLanguage, t } from './i18n.js';
import { icon } from './icons.js';
import { store, subscribe, loadInitialState, listenForSyncEvents, isSyncDue, startSync } from './store.js';
import { errorText, wireTabs, tabKeys } from './ui.js';
import { showWelcome, needsWelcome } from './welcome.js';
import dashboard from './screens/dashboard.js';
import jobs from './screens/jobs.js';
import applications from './screens/applications.js';
import resume from './screens/resume.js';
import studio from './screens/studio.js';
import interview from './screens/interview.js';
import profile from './screens/profile.js';
import settings from './screens/settings.js';

const screens = [dashboard, jobs, applications, resume, studio, interview, profile, settings];
const CORE_PATIENCE_MS = 10000;

let currentId = 'dashboard';
let sidebar;
let mainArea;
let banner;
let startupError = null;
let coreSlow = false;
let skipLink = null;

export const app = {
  navigate,
  renderAll,
  isActive: (id) => currentId === id,
};

function current() {
  return screens.find((screen) => screen.id === currentId) || screens[0];
}

// "system" follows the desktop: the root is marked while the desktop is dark, so the dark
// colours are written once in the style sheet for both ways of choosing them.
const darkDesktop = window.matchMedia('(prefers-color-scheme: dark)');
function markDesktopScheme() {
  document.documentElement.toggleAttribute('data-system-dark', darkDesktop.matches);
}
markDesktopScheme();
darkDesktop.addEventListener('change', markDesktopScheme);

function applyTheme() {
  const theme = store.settings && ['light', 'dark'].includes(store.settings.theme) ? store.settings.theme : 'system';
  document.documentElement.dataset.theme = theme;
}

function navigate(id, { focus = true } = {}) {
  if (!screens.some((screen) => screen.id === id)) return;
  // The screen being left finishes what it holds unsaved (typed notes, for one).
  current().hide?.(app);
  currentId = id;
  // Leaving for another screen closes the application browser if it is open.
  notify('appPageChanged');
  renderSidebar();
  renderMain();
  current().show?.(app);
  mainArea.scrollTop = 0;
  // A screen change is announced by moving to its heading, as a page load would.
  if (focus) mainArea.querySelector('h1')?.focus();
}

function renderSidebar() {
  clear(sidebar);
  const sync = store.sync;
  append(sidebar, [
    h(
      'div',
      { class: 'brand' },
      h('div', { class: 'brand-mark', 'aria-hidden': 'true' }, 'V'),
      h('div', null, h('div', { class: 'brand-name' }, 'Velmora'), h('div', { class: 'brand-sub' }, t('app.tagline'))),
    ),
    h(
      'nav',
      { class: 'nav', 'aria-label': t('nav.label') },
      screens.map((screen) =>
        h(
          'button',
          {
            type: 'button',
            class: screen.id === currentId ? 'nav-item active' : 'nav-item',
            dataset: { screen: screen.id },
            'aria-current': screen.id === currentId ? 'page' : null,
            on: { click: () => navigate(screen.id) },
          },
          icon(screen.icon),
          h('span', null, t(screen.labelKey)),
        ),
      ),
    ),
    h(
      'div',
      { class: 'sidebar-foot' },
      sync.running
        ? h('div', { class: 'sidebar-sync', role: 'status' }, h('span', { class: 'spinner small', 'aria-hidden': 'true' }), t('sync.running'))
        : null,
      h('div', { class: 'docked-hint' }, t('app.dockedHint')),
      h('div', { class: 'sidebar-version' }, store.version ? t('app.version', { version: store.version }) : t('app.local')),
    ),
  ]);
}

function renderBanner() {
  clear(banner);
  banner.hidden = true;
  let title = '';
  let text = '';
  if (!isConnected()) {
    title = t('standalone.title');
    text = t('standalone.text');
  } else if (startupError) {
    title = t('startup.errorTitle');
    text = errorText(startupError);
  } else if (coreSlow && !store.coreAnswered) {
    title = t('startup.slowTitle');
    text = t('startup.slowText');
  }
  if (!title) return;
  banner.hidden = false;
  append(banner, [h('strong', null, title), h('span', null, text)]);
}

function renderMain() {
  clear(mainArea);
  const root = h('div', { class: `screen screen-${currentId}`, dataset: { screen: currentId } });
  mainArea.appendChild(root);
  current().render(root, app);
  const heading = root.querySelector('h1');
  if (heading) heading.tabIndex = -1;
  wireTabs(root);
}

function renderAll() {
  renderSidebar();
  renderBanner();
  renderMain();
}

async function start() {
  const connected = connect();
  store.connected = connected;
  applyTheme();
  document.body.appendChild(
    h('a', { class: 'skip-link', href: '#main', ref: (el) => (skipLink = el), on: { click: (e) => { e.preventDefault(); mainArea.focus(); } } }, t('app.skipToContent')),
  );
  document.addEventListener('keydown', tabKeys);
  document.body.appendChild(
    h(
      'div',
      { class: 'shell' },
      h('aside', { class: 'sidebar', ref: (el) => (sidebar = el) }),
      h(
        'div',
        { class: 'content' },
        h('div', { class: 'banner', role: 'alert', hidden: true, ref: (el) => (banner = el) }),
        h('main', { class: 'main', id: 'main', tabindex: '-1', ref: (el) => (mainArea = el) }),
      ),
    ),
  );
  renderAll();
  // Screens rebuild their tab strips and switch tabs on their own; keep the semantics in step.
  new MutationObserver(() => wireTabs(mainArea)).observe(mainArea, { subtree: true, childList: true, attributeFilter: ['aria-selected'] });
  subscribe((what) => {
    if (what === 'sync') renderSidebar();
    if (what === 'settings') {
      setLanguage(store.settings && store.settings.language);
      applyTheme();
      if (skipLink) skipLink.textContent = t('app.skipToContent');
    }
  });
  if (!connected) {
    document.body.classList.add('standalone');
    return;
  }
  listenForSyncEvents();
  // The core asks for a screen, e.g. the profile when Assist Apply finds it empty.
  onEvent('openScreen', (data) => {
    if (data && typeof data.screen === 'string') navigate(data.screen);
  });
  const slowTimer = setTimeout(() => {
    coreSlow = true;
    renderBanner();
  }, CORE_PATIENCE_MS);
  try {
    await loadInitialState();
  } catch (error) {
    startupError = error;
  }
  clearTimeout(slowTimer);
  setLanguage(store.settings && store.settings.language);
  applyTheme();
  renderAll();
  current().show?.(app);
  document.body.dataset.ready = '1';
  // The first sync waits for the welcome, so it searches for what the user asked for.
  if (!startupError && needsWelcome(store.settings)) {
    const outcome = await showWelcome();
    renderAll();
    if (outcome.prefill) navigate('profile');
  }
  if (store.settings && isSyncDue(store.settings)) startSync();
}

start();
