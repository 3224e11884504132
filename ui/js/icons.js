// Small line icons drawn as SVG elements (no markup strings, no icon font to load).
const SVG = 'http://www.w3.org/2000/svg';

const PATHS = {
  dashboard: ['M4 13h6V4H4z', 'M14 20h6v-9h-6z', 'M14 4h6v4h-6z', 'M4 20h6v-3H4z'],
  jobs: ['M4 8h16v11H4z', 'M9 8V5h6v3', 'M4 13h16'],
  applications: ['M6 3h9l4 4v14H6z', 'M15 3v4h4', 'M9 12h7', 'M9 16h7'],
  resume: ['M7 3h10v18H7z', 'M10 8h4', 'M10 12h4', 'M10 16h2', 'M17 16l3 3'],
  studio: ['M4 20l4-1 11-11-3-3L5 16z', 'M14 6l3 3', 'M4 20h16'],
  interview: ['M4 5h16v10H9l-5 4z', 'M9 9h6', 'M9 12h3'],
  profile: ['M12 12a4 4 0 1 0 0-8 4 4 0 0 0 0 8z', 'M4 21c1-4 4-6 8-6s7 2 8 6'],
  settings: ['M12 15a3 3 0 1 0 0-6 3 3 0 0 0 0 6z', 'M12 2v3', 'M12 19v3', 'M2 12h3', 'M19 12h3', 'M5 5l2 2', 'M17 17l2 2', 'M5 19l2-2', 'M17 7l2-2'],
  sync: ['M20 11a8 8 0 0 0-14-4l-2 2', 'M4 4v5h5', 'M4 13a8 8 0 0 0 14 4l2-2', 'M20 20v-5h-5'],
};

export function icon(name) {
  const svg = document.createElementNS(SVG, 'svg');
  svg.setAttribute('viewBox', '0 0 24 24');
  svg.setAttribute('class', 'icon');
  svg.setAttribute('aria-hidden', 'true');
  for (const d of PATHS[name] || []) {
    const path = document.createElementNS(SVG, 'path');
    path.setAttribute('d', d);
    svg.appendChild(path);
  }
  return svg;
}
