// Velmora Assist Apply: fills the application form open in the application browser from the
// user's Application Profile. The core replaces the placeholder below with the profile as a
// JSON object and reads back this script's completion value:
//   { filled: [field keys that were filled], resumeTargetFound: true|false }
// It marks the one file input that should receive the resume with data-velmora-resume="1";
// the core then hands the resume over through the page's own upload prompt.
// It never submits a form, never clicks buttons and never touches password or payment fields.
(function (profile) {
  'use strict';
  profile = profile && typeof profile === 'object' ? profile : {};

  const RESUME_MARK = 'data-velmora-resume';
  const text = (value) => (typeof value === 'string' ? value.trim() : '');

  // ---- Values to type, by field key ---------------------------------------------------
  const fullName = text(profile.fullName);
  const nameParts = fullName.split(/\s+/).filter(Boolean);
  const values = {
    fullName,
    firstName: nameParts.length > 1 ? nameParts.slice(0, -1).join(' ') : fullName,
    lastName: nameParts.length > 1 ? nameParts[nameParts.length - 1] : '',
    email: text(profile.email),
    phone: text(profile.phone),
    country: text(profile.country),
    cityState: text(profile.cityState),
    city: text(profile.cityState).split(',')[0].trim(),
    address: text(profile.address),
    linkedIn: text(profile.linkedIn),
    gitHub: text(profile.gitHub),
    portfolio: text(profile.portfolio),
    currentEmployer: text(profile.currentEmployer),
    currentTitle: text(profile.currentTitle),
    employmentHistory: text(profile.employmentHistory),
    education: text(profile.education),
    certifications: text(profile.certifications),
    skills: text(profile.skills),
    yearsOfExperience: text(profile.yearsOfExperience),
    workAuthorization: text(profile.workAuthorization),
    desiredSalary: text(profile.desiredSalary),
    earliestStartDate: text(profile.earliestStartDate),
    remoteWorkPreference: text(profile.remoteWorkPreference),
    preferredJobTitles: text(profile.preferredJobTitles),
    coverLetterTemplate: text(profile.coverLetterTemplate),
  };
  const flags = {
    requireSponsorship: typeof profile.requireSponsorship === 'boolean' ? profile.requireSponsorship : null,
    willingToRelocate: typeof profile.willingToRelocate === 'boolean' ? profile.willingToRelocate : null,
  };

  // ---- What a field is asking for -------------------------------------------------------
  // Fields that must never be touched, whatever else they look like.
  const FORBIDDEN = /password|passwort|passcode|captcha|one[\s_-]*time|\botp\b|security[\s_-]*code|\bssn\b|social[\s_-]*security|credit|debit|card[\s_-]*(number|holder)|\bcard\b|\bcvv\b|\bcvc\b|\biban\b|\bswift\b|routing|account[\s_-]*number|bank|billing|payment|expir/;

  // The HTML autocomplete tokens say it best when a page sets them.
  const AUTOCOMPLETE = {
    'name': 'fullName', 'given-name': 'firstName', 'family-name': 'lastName', 'email': 'email',
    'tel': 'phone', 'tel-national': 'phone', 'country': 'country', 'country-name': 'country',
    'address-level2': 'city', 'street-address': 'address', 'address-line1': 'address',
    'organization': 'currentEmployer', 'organization-title': 'currentTitle', 'url': 'portfolio',
  };

  // Ordered: the first rule that matches the field's description wins.
  const RULES = [
    [/first[\s_-]*name|given[\s_-]*name|forename|\bfname\b|pr[ée]nom|vorname|\bnombre\b(?!.*apellido)/, 'firstName'],
    [/last[\s_-]*name|family[\s_-]*name|surname|\blname\b|apellido|nachname|\bnom de famille\b|sobrenome|cognome/, 'lastName'],
    [/middle[\s_-]*name|preferred[\s_-]*name|nick[\s_-]*name|user[\s_-]*name|referr|reference|emergency/, null],
    [/e-?mail|courriel|correo/, 'email'],
    [/phone|mobile|\btel\b|telephone|t[ée]l[ée]fono|telefon|cell/, 'phone'],
    [/linked[\s_-]*in/, 'linkedIn'],
    [/git[\s_-]*hub/, 'gitHub'],
    [/cover[\s_-]*letter|motivation|lettre|anschreiben|carta de presentaci/, 'coverLetterTemplate'],
    [/portfolio|personal[\s_-]*(web)?site|\bwebsite\b|\burl\b|\bblog\b/, 'portfolio'],
    [/sponsor/, 'requireSponsorship'],
    [/relocat|d[ée]m[ée]nag|umzug|reubica/, 'willingToRelocate'],
    [/salary|compensation|pay[\s_-]*expectation|expected[\s_-]*pay|salaire|gehalt|salario/, 'desiredSalary'],
    [/start[\s_-]*date|earliest|availab|notice[\s_-]*period|when can you start|disponibilit/, 'earliestStartDate'],
    [/years?[\s\S]{0,20}experience|experience[\s\S]{0,20}years?/, 'yearsOfExperience'],
    [/work[\s_-]*authori[sz]ation|authori[sz]ed to work|right to work|legally (able|eligible|authorized)|visa[\s_-]*status|work[\s_-]*permit/, 'workAuthorization'],
    [/remote|work[\s_-]*(arrangement|preference|location preference)|on[\s_-]*site|hybrid/, 'remoteWorkPreference'],
    [/(current|present|most recent|latest)[\s_-]*(company|employer|organi[sz]ation)|^company$|^employer$|\bemployer\b|company[\s_-]*name|organi[sz]ation/, 'currentEmployer'],
    [/(current|present|most recent)[\s_-]*(job[\s_-]*)?(title|role|position)|job[\s_-]*title|^title$|headline/, 'currentTitle'],
    [/employment[\s_-]*history|work[\s_-]*history|work[\s_-]*experience|previous[\s_-]*(jobs|employers)/, 'employmentHistory'],
    [/education|degree|school|university|college|dipl[oô]me/, 'education'],
    [/certification|certificate|licen[cs]e/, 'certifications'],
    [/skill|comp[ée]tences|kenntnisse|habilidades/, 'skills'],
    [/desired[\s_-]*(job|role|position)|preferred[\s_-]*(job|role|title)|position[\s_-]*of[\s_-]*interest/, 'preferredJobTitles'],
    [/full[\s_-]*name|your[\s_-]*name|legal[\s_-]*name|candidate[\s_-]*name|applicant[\s_-]*name|^name$|\bname\b/, 'fullName'],
    [/country|pays|\bland\b|pa[ií]s/, 'country'],
    [/city|town|location|ville|stadt|ciudad|cidade|citt[aà]/, 'city'],
    [/address|street|adresse|direcci[oó]n|endere[cç]o|indirizzo/, 'address'],
  ];

  // ---- Reaching every control, open shadow roots included --------------------------------
  function collectRoots(root, out) {
    out.push(root);
    for (const element of root.querySelectorAll('*')) {
      if (element.shadowRoot) collectRoots(element.shadowRoot, out);
    }
    return out;
  }
  const roots = collectRoots(document, []);
  const all = (selector) => roots.flatMap((root) => Array.from(root.querySelectorAll(selector)));

  const squash = (value) => (value || '').replace(/\s+/g, ' ').trim();

  function labelText(element) {
    const parts = [];
    const root = element.getRootNode();
    if (element.labels) for (const label of element.labels) parts.push(label.textContent);
    const labelledBy = element.getAttribute('aria-labelledby');
    if (labelledBy) {
      for (const id of labelledBy.split(/\s+/)) {
        const node = root.getElementById ? root.getElementById(id) : document.getElementById(id);
        if (node) parts.push(node.textContent);
      }
    }
    if (!parts.length) {
      // No label element: the question text around the field, when the container holds
      // only this one field (the layout of many applicant-tracking forms).
      let node = element.parentElement;
      for (let depth = 0; node && depth < 4; depth += 1, node = node.parentElement) {
        const controls = node.querySelectorAll('input:not([type=hidden]), select, textarea');
        if (controls.length > 1 && !(element.type === 'radio' || element.type === 'checkbox')) break;
        const words = squash(node.textContent);
        if (words) {
          parts.push(words.slice(0, 160));
          break;
        }
      }
    }
    return squash(parts.join(' '));
  }

  function describe(element) {
    const own = [element.name, element.id, element.getAttribute('placeholder'), element.getAttribute('aria-label'),
      element.getAttribute('data-automation-id'), element.getAttribute('data-qa')];
    // "firstName" and "first_name" read like "first name".
    return squash([...own, labelText(element)].filter(Boolean).join(' ').replace(/([a-z])([A-Z])/g, '$1 $2'))
      .toLowerCase();
  }

  function keyFor(element, description) {
    if (FORBIDDEN.test(description)) return null;
    const tokens = (element.getAttribute('autocomplete') || '').toLowerCase().split(/\s+/);
    if (tokens.some((token) => token.startsWith('cc-') || token === 'new-password' || token === 'current-password')) return null;
    for (const token of tokens) if (AUTOCOMPLETE[token]) return AUTOCOMPLETE[token];
    for (const [pattern, key] of RULES) if (pattern.test(description)) return key;
    return null;
  }

  function usable(element) {
    if (element.disabled || element.readOnly) return false;
    if (element.type === 'hidden' || element.type === 'password') return false;
    if (element.closest('[aria-hidden="true"]')) return false;
    const style = window.getComputedStyle(element);
    if (style.display === 'none' || style.visibility === 'hidden') return false;
    return true;
  }

  // ---- Typing like a user, so framework-controlled inputs notice -------------------------
  function nativeSetter(element, property) {
    for (let proto = Object.getPrototypeOf(element); proto; proto = Object.getPrototypeOf(proto)) {
      const descriptor = Object.getOwnPropertyDescriptor(proto, property);
      if (descriptor && descriptor.set) return descriptor.set;
    }
    return null;
  }

  function fire(element, ...types) {
    for (const type of types) element.dispatchEvent(new Event(type, { bubbles: true, composed: true }));
  }

  function setValue(element, value) {
    const setter = nativeSetter(element, 'value');
    element.focus({ preventScroll: true });
    if (setter) setter.call(element, value); else element.value = value;
    fire(element, 'input', 'change');
    element.blur();
  }

  // ---- Choosing among options ------------------------------------------------------------
  const fold = (value) => squash(value).toLowerCase().normalize('NFD').replace(/[\u0300-\u036f]/g, '');
  const YES = /^(yes|y|true|oui|si|ja|sim|1)\b/;
  const NO = /^(no|n|false|non|nein|nao|0)\b/;

  function answerMatches(optionText, wanted) {
    const option = fold(optionText);
    if (!option) return false;
    if (typeof wanted === 'boolean') return wanted ? YES.test(option) : NO.test(option);
    const target = fold(wanted);
    if (!target) return false;
    return option === target || option.startsWith(target) || target.startsWith(option) && option.length > 3;
  }

  function chooseOption(select, wanted) {
    const options = Array.from(select.options).filter((option) => !option.disabled && option.value !== '');
    const match = options.find((option) => fold(option.textContent) === fold(String(wanted)))
      || options.find((option) => answerMatches(option.textContent, wanted) || answerMatches(option.value, wanted));
    if (!match) return false;
    const setter = nativeSetter(select, 'value');
    if (setter) setter.call(select, match.value); else select.value = match.value;
    fire(select, 'input', 'change');
    return true;
  }

  // ---- Filling ---------------------------------------------------------------------------
  const filled = [];
  const note = (key) => { if (!filled.includes(key)) filled.push(key); };
  const wantedFor = (key) => (key in flags ? flags[key] : values[key]);
  const present = (wanted) => typeof wanted === 'boolean' || (typeof wanted === 'string' && wanted !== '');

  const TEXT_TYPES = new Set(['', 'text', 'email', 'tel', 'url', 'search', 'number', 'date']);
  for (const element of all('input, textarea, select')) {
    if (!usable(element)) continue;
    const type = (element.getAttribute('type') || '').toLowerCase();
    if (element.tagName === 'INPUT' && !TEXT_TYPES.has(type)) continue;
    const key = keyFor(element, describe(element));
    if (!key) continue;
    let wanted = wantedFor(key);
    if (!present(wanted)) continue;

    if (element.tagName === 'SELECT') {
      const current = element.options[element.selectedIndex];
      if (current && current.value !== '' && element.selectedIndex > 0) continue; // the user chose already
      if (chooseOption(element, wanted)) note(key);
      continue;
    }
    if (typeof wanted === 'boolean') wanted = wanted ? 'Yes' : 'No';
    if (element.value && element.value.trim() !== '') continue; // never overwrite what the user typed
    if (type === 'number') {
      const number = (wanted.match(/\d+(\.\d+)?/) || [])[0];
      if (!number) continue;
      wanted = number;
    }
    if (type === 'date' && !/^\d{4}-\d{2}-\d{2}$/.test(wanted)) continue;
    if (element.tagName === 'INPUT' && key === 'fullName' && element.maxLength > 0 && wanted.length > element.maxLength) continue;
    setValue(element, wanted);
    note(key);
  }

  // Yes/no radio groups: the question is the text around the group, the answer each radio's label.
  const groups = new Map();
  for (const radio of all('input[type=radio]')) {
    if (!usable(radio)) continue;
    const name = radio.name || radio.id;
    if (!groups.has(name)) groups.set(name, []);
    groups.get(name).push(radio);
  }
  function questionOf(radios) {
    let container = radios[0].parentElement;
    while (container && !radios.every((radio) => container.contains(radio))) container = container.parentElement;
    const answers = radios.map((radio) => labelText(radio)).join(' ');
    let question = container ? squash(container.textContent) : '';
    // Only the answers themselves: the question sits one level further out.
    if (container && question.length <= answers.length + 2 && container.parentElement) {
      question = squash(container.parentElement.textContent);
    }
    const legend = radios[0].closest('fieldset')?.querySelector('legend')?.textContent || '';
    const group = radios[0].closest('[role=radiogroup], [role=group]');
    return fold([legend, group?.getAttribute('aria-label'), radios[0].name, question.slice(0, 240)]
      .filter(Boolean).join(' '));
  }
  for (const radios of groups.values()) {
    const question = questionOf(radios);
    if (FORBIDDEN.test(question)) continue;
    const key = /sponsor/.test(question) ? 'requireSponsorship'
      : /relocat|demenag|umzug|reubica/.test(question) ? 'willingToRelocate' : null;
    if (!key || typeof flags[key] !== 'boolean') continue;
    if (radios.some((radio) => radio.checked)) continue;
    const answer = radios.find((radio) => answerMatches(radio.labels && radio.labels.length
      ? Array.from(radio.labels).map((label) => label.textContent).join(' ') : radio.value, flags[key])
      || answerMatches(radio.value, flags[key]));
    if (!answer) continue;
    answer.click(); // a click checks it and raises the events frameworks listen to
    if (!answer.checked) {
      const setter = nativeSetter(answer, 'checked');
      if (setter) setter.call(answer, true);
      fire(answer, 'input', 'change');
    }
    note(key);
  }

  // ---- The resume upload field -------------------------------------------------------------
  for (const old of all('input[type=file][' + RESUME_MARK + ']')) old.removeAttribute(RESUME_MARK);
  const files = all('input[type=file]').filter((input) => !input.disabled);
  const scored = files.map((input) => {
    const description = describe(input) + ' ' + fold(input.getAttribute('accept') || '');
    let score = 0;
    if (/resume|r[eé]sum[eé]|\bcv\b|curriculum|lebenslauf/.test(description)) score += 10;
    if (/cover|motivation|lettre|anschreiben|portfolio|transcript|photo|avatar|image/.test(description)) score -= 20;
    if (/pdf|doc/.test(description)) score += 1;
    return { input, score };
  }).filter(({ score }) => score > 0 || files.length === 1).sort((a, b) => b.score - a.score);
  const target = scored.length && scored[0].score >= 0 ? scored[0].input : null;
  if (target) target.setAttribute(RESUME_MARK, '1');

  return { filled, resumeTargetFound: !!target };
})(__VELMORA_PROFILE__);
