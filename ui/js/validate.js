// The profile's field checks, the same rules the core applies before it stores a profile,
// so the user learns at the field rather than from a refused save. Empty is always fine.

function plausibleHost(host) {
  if (!host || host.length > 253 || !host.includes('.')) return false;
  return host.split('.').every((label) => label && !label.startsWith('-') && !label.endsWith('-') && /^[A-Za-z0-9\-\u0080-\uffff]+$/.test(label));
}

export function isEmail(value) {
  const at = value.indexOf('@');
  if (at <= 0 || value.indexOf('@', at + 1) !== -1 || /\s/.test(value) || value.length > 254) return false;
  const local = value.slice(0, at);
  if (local.startsWith('.') || local.endsWith('.') || local.includes('..')) return false;
  return plausibleHost(value.slice(at + 1));
}

export function isPhone(value) {
  let number = value.toLowerCase();
  for (const marker of ['ext.', 'ext', 'x']) {
    const pos = number.lastIndexOf(marker);
    if (pos === -1) continue;
    const extension = number.slice(pos + marker.length);
    if (!/^\s*\d{1,6}\s*$/.test(extension)) return false;
    number = number.slice(0, pos);
    break;
  }
  if (!/^\s*\+?[\d\s\-.()/]*$/.test(number)) return false;
  const digits = number.replace(/\D/g, '').length;
  return digits >= 4 && digits <= 15;
}

export function isYears(value) {
  const match = /^(\d{1,2})(?:[.,]\d)?\+?$/.exec(value);
  return Boolean(match) && Number(match[1]) <= 70;
}

export function isLink(value) {
  if (/\s/.test(value)) return false;
  const lower = value.toLowerCase();
  let rest = value;
  const scheme = lower.indexOf('://');
  if (scheme !== -1) {
    const name = lower.slice(0, scheme);
    if (name !== 'http' && name !== 'https') return false;
    rest = value.slice(scheme + 3);
  } else {
    const colon = lower.indexOf(':');
    if (colon !== -1 && (lower.indexOf('.') === -1 || colon < lower.indexOf('.'))) return false;
  }
  let host = rest.split(/[/?#]/)[0];
  if (host.includes('@')) return false;
  const colon = host.lastIndexOf(':');
  if (colon !== -1) {
    if (!/^\d{1,5}$/.test(host.slice(colon + 1))) return false;
    host = host.slice(0, colon);
  }
  return plausibleHost(host);
}

// Field key -> [check, message key].
export const PROFILE_CHECKS = {
  email: [isEmail, 'profile.errEmail'],
  phone: [isPhone, 'profile.errPhone'],
  yearsOfExperience: [isYears, 'profile.errYears'],
  linkedIn: [isLink, 'profile.errLink'],
  gitHub: [isLink, 'profile.errLink'],
  portfolio: [isLink, 'profile.errLink'],
};

// The message key for a field's value, or null when it is fine.
export function profileProblem(key, value) {
  const check = PROFILE_CHECKS[key];
  const text = String(value || '').trim();
  if (!check || !text) return null;
  return check[0](text) ? null : check[1];
}
