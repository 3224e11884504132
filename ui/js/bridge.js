// The page's only door to the core: requests go out through chrome.webview.postMessage,
// replies come back through the "message" listener and are matched by id, so they may
// arrive in any order. Events (job sync progress) are dispatched to subscribers.

const UNKNOWN_ACTION = 'Unknown Velmora action: ';

export class BridgeError extends Error {
  constructor(message, kind = 'core') {
    super(message);
    this.kind = kind; // 'core' | 'unknown_action' | 'not_connected'
  }
}

const pending = new Map();
const eventHandlers = new Map();
let sequence = 0;
let webview = null;

export function connect() {
  const candidate = window.chrome && window.chrome.webview;
  if (!candidate || typeof candidate.postMessage !== 'function' || typeof candidate.addEventListener !== 'function') {
    return false;
  }
  webview = candidate;
  webview.addEventListener('message', (event) => receive(event && event.data));
  return true;
}

export function isConnected() {
  return webview !== null;
}

function receive(message) {
  if (typeof message === 'string') {
    try {
      message = JSON.parse(message);
    } catch {
      return;
    }
  }
  if (!message || typeof message !== 'object') return;
  if (message.type === 'response') {
    const id = String(message.id);
    const entry = pending.get(id);
    if (!entry) return;
    pending.delete(id);
    if (message.ok) {
      entry.resolve(message.data);
    } else {
      const text = typeof message.error === 'string' && message.error ? message.error : 'Velmora could not complete the request.';
      entry.reject(new BridgeError(text, text.startsWith(UNKNOWN_ACTION) ? 'unknown_action' : 'core'));
    }
  } else if (message.type === 'event' && typeof message.name === 'string') {
    const handlers = eventHandlers.get(message.name);
    if (!handlers) return;
    for (const handler of handlers) {
      try {
        handler(message.data);
      } catch (error) {
        console.warn('Velmora event handler failed', error);
      }
    }
  }
}

export function request(action, payload = {}) {
  if (!webview) return Promise.reject(new BridgeError('not connected', 'not_connected'));
  sequence += 1;
  const id = `p${sequence}`;
  return new Promise((resolve, reject) => {
    pending.set(id, { resolve, reject, action });
    try {
      webview.postMessage({ action, id, payload });
    } catch (error) {
      pending.delete(id);
      reject(new BridgeError(String(error && error.message ? error.message : error), 'core'));
    }
  });
}

// Fire-and-forget: an empty id asks the core for no reply.
export function notify(action, payload = {}) {
  if (!webview) return;
  try {
    webview.postMessage({ action, id: '', payload });
  } catch {
    /* nothing to tell the user: the request wanted no answer */
  }
}

export function onEvent(name, handler) {
  if (!eventHandlers.has(name)) eventHandlers.set(name, new Set());
  eventHandlers.get(name).add(handler);
}
