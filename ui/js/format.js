import { language, t } from './i18n.js';
import { h } from './dom.js';

export function formatDateTime(value) {
  if (!value) return '';
  const date = new Date(value);
  if (Number.isNaN(date.getTime())) return String(value);
  try {
    return new Intl.DateTimeFormat(language(), { dateStyle: 'medium', timeStyle: 'short' }).format(date);
  } catch {
    return date.toISOString();
  }
}

export function formatDate(value) {
  if (!value) return '';
  const date = new Date(value);
  if (Number.isNaN(date.getTime())) return String(value);
  try {
    return new Intl.DateTimeFormat(language(), { dateStyle: 'medium' }).format(date);
  } catch {
    return date.toISOString().slice(0, 10);
  }
}

export function formatNumber(value) {
  const number = Number(value);
  if (!Number.isFinite(number)) return '0';
  try {
    return new Intl.NumberFormat(language()).format(number);
  } catch {
    return String(number);
  }
}

const LABEL_CLASSES = {
  'Quorvane Checked': 'trust-top',
  Checked: 'trust-good',
  Review: 'trust-review',
  'High Risk': 'trust-risk',
  Blocked: 'trust-blocked',
};

const LABEL_KEYS = {
  'Quorvane Checked': 'trust.quorvaneChecked',
  Checked: 'trust.checked',
  Review: 'trust.review',
  'High Risk': 'trust.highRisk',
  Blocked: 'trust.blocked',
  Unchecked: 'trust.unchecked',
};

export function trustLabel(label) {
  const key = LABEL_KEYS[label];
  return key ? t(key) : String(label || t('trust.unchecked'));
}

export function trustBadge(label, score) {
  const cls = LABEL_CLASSES[label] || 'trust-none';
  const text = label === 'Unchecked' || !label ? trustLabel('Unchecked') : `${trustLabel(label)} · ${Number(score) || 0}`;
  return h('span', { class: `trust ${cls}`, title: t('trust.tooltip'), dataset: { label: label || 'Unchecked' } }, text);
}

// Check lines that only state good news or plain facts; every other line is a warning.
const NEUTRAL_CHECKS = [
  'HTTPS encryption detected.',
  'Known job-source domain.',
  'Destination is an external employer or ATS domain.',
];

export function warningChecks(checks) {
  return (Array.isArray(checks) ? checks : []).filter(
    (line) => typeof line === 'string' && !NEUTRAL_CHECKS.includes(line) && !line.startsWith('Listing source: '),
  );
}

export function hostOf(url) {
  try {
    return new URL(url).host;
  } catch {
    return String(url || '');
  }
}
