// Interface texts in the six languages. English is the reference; the end-to-end tests
// fail when another language lacks one of its keys.
import en from '../i18n/en.js';
import es from '../i18n/es.js';
import fr from '../i18n/fr.js';
import de from '../i18n/de.js';
import it from '../i18n/it.js';
import pt from '../i18n/pt.js';

export const dictionaries = { en, es, fr, de, it, pt };
export const LANGUAGES = ['en', 'es', 'fr', 'de', 'it', 'pt'];
// Each language is offered under its own name, so a user who cannot read the current
// language can still find theirs.
export const LANGUAGE_NAMES = {
  en: 'English',
  es: 'Español',
  fr: 'Français',
  de: 'Deutsch',
  it: 'Italiano',
  pt: 'Português',
};

let current = 'en';

export function normalizeLanguage(value) {
  const code = String(value || '').trim().toLowerCase();
  return LANGUAGES.includes(code) ? code : 'en';
}

export function setLanguage(code) {
  current = normalizeLanguage(code);
  document.documentElement.lang = current;
}

export function language() {
  return current;
}

export function t(key, vars) {
  let text = dictionaries[current][key];
  if (text === undefined) text = en[key];
  if (text === undefined) return key;
  if (vars) {
    text = text.replace(/\{(\w+)\}/g, (match, name) => (name in vars ? String(vars[name]) : match));
  }
  return text;
}
