// Tiny DOM builder. Every string child becomes a text node, so text that came from a job
// board, a resume or the AI can never turn into markup here.

export function h(tag, props, ...children) {
  const el = document.createElement(tag);
  if (props) {
    for (const [key, value] of Object.entries(props)) {
      if (value === undefined || value === null || value === false) continue;
      if (key === 'class') el.className = value;
      else if (key === 'text') el.textContent = String(value);
      else if (key === 'on') {
        for (const [name, fn] of Object.entries(value)) el.addEventListener(name, fn);
      } else if (key === 'dataset') {
        for (const [name, v] of Object.entries(value)) el.dataset[name] = String(v);
      } else if (key === 'value') el.value = String(value);
      else if (key === 'checked' || key === 'disabled' || key === 'selected' || key === 'hidden') el[key] = Boolean(value);
      else if (key === 'ref') value(el);
      else el.setAttribute(key, value === true ? '' : String(value));
    }
  }
  append(el, ...children);
  return el;
}

export function append(el, ...children) {
  for (const child of children) {
    if (child === null || child === undefined || child === false) continue;
    if (Array.isArray(child)) append(el, ...child);
    else if (child instanceof Node) el.appendChild(child);
    else el.appendChild(document.createTextNode(String(child)));
  }
  return el;
}

export function clear(el) {
  while (el.firstChild) el.removeChild(el.firstChild);
  return el;
}

export function replace(el, ...children) {
  clear(el);
  return append(el, ...children);
}

// Options for a <select>: [[value, label], ...]
export function options(list, selected) {
  return list.map(([value, label]) => h('option', { value, selected: String(value) === String(selected) }, label));
}

export function debounce(fn, ms) {
  let timer = 0;
  return (...args) => {
    clearTimeout(timer);
    timer = setTimeout(() => fn(...args), ms);
  };
}
