// Shared pieces of the interface: toasts, the confirmation dialog, error texts, busy buttons.
import { h, clear, append } from './dom.js';
import { t } from './i18n.js';

export function errorText(error) {
  if (!error) return t('error.generic');
  if (error.kind === 'not_connected') return t('error.notConnected');
  if (error.kind === 'unknown_action') return `${t('error.unavailable')} (${error.message})`;
  return String(error.message || error);
}

let toastRoot = null;

export function toast(message, kind = 'info') {
  if (!toastRoot) {
    toastRoot = h('div', { class: 'toasts', role: 'status', 'aria-live': 'polite' });
    document.body.appendChild(toastRoot);
  }
  const item = h('div', { class: `toast toast-${kind}` }, message);
  toastRoot.appendChild(item);
  setTimeout(() => item.classList.add('toast-leaving'), kind === 'error' ? 7000 : 4000);
  setTimeout(() => item.remove(), kind === 'error' ? 7600 : 4600);
}

// Resolves true when the user confirms. Built on <dialog> so it is modal and keyboard-friendly.
export function confirmDialog({ title, message, details = [], confirmLabel, danger = false }) {
  return new Promise((resolve) => {
    const dialog = h('dialog', { class: 'confirm', 'aria-labelledby': 'confirm-title' });
    const finish = (answer) => {
      dialog.close();
      dialog.remove();
      resolve(answer);
    };
    append(dialog, [
      h('h2', { id: 'confirm-title' }, title),
      message ? h('p', null, message) : null,
      details.length ? h('ul', { class: 'confirm-details' }, details.map((line) => h('li', null, line))) : null,
      h(
        'div',
        { class: 'dialog-actions' },
        h('button', { type: 'button', class: 'btn', on: { click: () => finish(false) } }, t('common.cancel')),
        h(
          'button',
          { type: 'button', class: danger ? 'btn btn-danger' : 'btn btn-primary', dataset: { confirm: '1' }, on: { click: () => finish(true) } },
          confirmLabel || t('common.confirm'),
        ),
      ),
    ]);
    dialog.addEventListener('cancel', (event) => {
      event.preventDefault();
      finish(false);
    });
    document.body.appendChild(dialog);
    dialog.showModal();
  });
}

// Runs an async task while the button shows a busy state; a second click is ignored.
export async function withBusy(button, busyLabel, task) {
  if (button.disabled) return undefined;
  const label = button.textContent;
  button.disabled = true;
  button.classList.add('busy');
  if (busyLabel) button.textContent = busyLabel;
  try {
    return await task();
  } finally {
    button.disabled = false;
    button.classList.remove('busy');
    button.textContent = label;
  }
}

export function field(label, control, hint) {
  return h('label', { class: 'field' }, h('span', { class: 'field-label' }, label), control, hint ? h('span', { class: 'field-hint' }, hint) : null);
}

export function emptyState(title, message) {
  return h('div', { class: 'empty' }, h('div', { class: 'empty-title' }, title), message ? h('p', null, message) : null);
}

export function errorState(error, retry) {
  return h(
    'div',
    { class: 'empty empty-error', role: 'alert' },
    h('div', { class: 'empty-title' }, t('error.title')),
    h('p', null, errorText(error)),
    retry ? h('button', { type: 'button', class: 'btn', on: { click: retry } }, t('common.retry')) : null,
  );
}

export function loadingState() {
  return h('div', { class: 'loading' }, h('span', { class: 'spinner', 'aria-hidden': 'true' }), t('common.loading'));
}

export function chips(list, cls = '') {
  return h('div', { class: `chips ${cls}` }, (list || []).map((item) => h('span', { class: 'chip' }, item)));
}

export function setContent(el, ...children) {
  clear(el);
  append(el, children);
}

export async function copyText(text) {
  try {
    if (navigator.clipboard && navigator.clipboard.writeText) {
      await navigator.clipboard.writeText(text);
      return true;
    }
  } catch {
    /* fall back below */
  }
  const area = h('textarea', { class: 'offscreen', readonly: true }, text);
  document.body.appendChild(area);
  area.select();
  let ok = false;
  try {
    ok = document.execCommand('copy');
  } catch {
    ok = false;
  }
  area.remove();
  return ok;
}

// Tab semantics for every tab strip on the page, whichever screen built it: the panel after a
// [role=tablist] becomes its tabpanel, only the selected tab is in the Tab order, and the
// arrow keys, Home and End move between tabs (activating them, as the strips switch at once).
let tabSeq = 0;

export function wireTabs(root) {
  for (const list of root.querySelectorAll('[role="tablist"]')) {
    const tabs = [...list.querySelectorAll('[role="tab"]')];
    if (!tabs.length) continue;
    const panel = list.nextElementSibling;
    const selected = tabs.find((tab) => tab.getAttribute('aria-selected') === 'true') || tabs[0];
    for (const tab of tabs) {
      if (!tab.id) tab.id = `tab-${++tabSeq}`;
      tab.tabIndex = tab === selected ? 0 : -1;
      if (panel) {
        if (!panel.id) panel.id = `tabpanel-${++tabSeq}`;
        tab.setAttribute('aria-controls', panel.id);
      }
    }
    if (panel) {
      panel.setAttribute('role', 'tabpanel');
      panel.setAttribute('aria-labelledby', selected.id);
    }
  }
}

export function tabKeys(event) {
  const tab = event.target.closest && event.target.closest('[role="tab"]');
  const list = tab && tab.closest('[role="tablist"]');
  if (!list) return;
  const tabs = [...list.querySelectorAll('[role="tab"]')];
  const index = tabs.indexOf(tab);
  let next = -1;
  if (event.key === 'ArrowRight' || event.key === 'ArrowDown') next = (index + 1) % tabs.length;
  else if (event.key === 'ArrowLeft' || event.key === 'ArrowUp') next = (index - 1 + tabs.length) % tabs.length;
  else if (event.key === 'Home') next = 0;
  else if (event.key === 'End') next = tabs.length - 1;
  if (next < 0) return;
  event.preventDefault();
  const id = tabs[next].id;
  tabs[next].click();
  // The strip may have been rebuilt by the click; focus whatever now carries that tab.
  const target = document.getElementById(id) || tabs[next];
  target.focus();
}

// A labelled control with its error line; the error is announced and tied to the control.
export function checkedField(label, control, { id, hint, error, wide = false } = {}) {
  control.id = id;
  const errorId = `${id}-error`;
  const hintId = hint ? `${id}-hint` : null;
  control.setAttribute('aria-invalid', error ? 'true' : 'false');
  const described = [hintId, error ? errorId : null].filter(Boolean).join(' ');
  if (described) control.setAttribute('aria-describedby', described);
  return h(
    'div',
    { class: wide ? 'field span-2' : 'field' },
    h('label', { class: 'field-label', for: id }, label),
    control,
    hint ? h('span', { class: 'field-hint', id: hintId }, hint) : null,
    error ? h('span', { class: 'field-error', id: errorId, dataset: { role: 'field-error' } }, error) : null,
  );
}
