// ISO 3166-1 alpha-2 codes. Names come from the browser's Intl data: shown in the interface
// language, stored in English because job listings name countries in English.
import { language } from './i18n.js';

const CODES = (
  'AD AE AF AG AI AL AM AO AQ AR AS AT AU AW AX AZ BA BB BD BE BF BG BH BI BJ BL BM BN BO BQ BR BS BT BV BW BY BZ ' +
  'CA CC CD CF CG CH CI CK CL CM CN CO CR CU CV CW CX CY CZ DE DJ DK DM DO DZ EC EE EG EH ER ES ET FI FJ FK FM FO FR ' +
  'GA GB GD GE GF GG GH GI GL GM GN GP GQ GR GS GT GU GW GY HK HM HN HR HT HU ID IE IL IM IN IO IQ IR IS IT JE JM JO JP ' +
  'KE KG KH KI KM KN KP KR KW KY KZ LA LB LC LI LK LR LS LT LU LV LY MA MC MD ME MF MG MH MK ML MM MN MO MP MQ MR MS MT ' +
  'MU MV MW MX MY MZ NA NC NE NF NG NI NL NO NP NR NU NZ OM PA PE PF PG PH PK PL PM PN PR PS PT PW PY QA RE RO RS RU RW ' +
  'SA SB SC SD SE SG SH SI SJ SK SL SM SN SO SR SS ST SV SX SY SZ TC TD TF TG TH TJ TK TL TM TN TO TR TT TV TW TZ UA UG ' +
  'UM US UY UZ VA VC VE VG VI VN VU WF WS YE YT ZA ZM ZW'
).split(' ');

const cache = new Map();

function displayNames(lang) {
  if (!cache.has(lang)) {
    let names = null;
    try {
      names = new Intl.DisplayNames([lang], { type: 'region' });
    } catch {
      names = null;
    }
    cache.set(lang, names);
  }
  return cache.get(lang);
}

export function countryName(code, lang = 'en') {
  const names = displayNames(lang);
  try {
    return (names && names.of(code)) || code;
  } catch {
    return code;
  }
}

function fold(text) {
  return String(text).normalize('NFD').replace(/[\u0300-\u036f]/g, '').toLowerCase();
}

export function countries() {
  const lang = language();
  const collator = new Intl.Collator(lang);
  return CODES.map((code) => ({ code, name: countryName(code, 'en'), local: countryName(code, lang) })).sort((a, b) =>
    collator.compare(a.local, b.local),
  );
}

export function searchCountries(query, limit = 8) {
  const q = fold(query.trim());
  const all = countries();
  if (!q) return all.slice(0, limit);
  const starts = [];
  const contains = [];
  for (const country of all) {
    const local = fold(country.local);
    const english = fold(country.name);
    if (country.code.toLowerCase() === q || local.startsWith(q) || english.startsWith(q)) starts.push(country);
    else if (local.includes(q) || english.includes(q)) contains.push(country);
  }
  return starts.concat(contains).slice(0, limit);
}
