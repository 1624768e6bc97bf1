// The automation API as the renderer uses it: one session per page, events sent one at a time in
// the order the user made them, answers asked as deltas against the snapshot held, and the wait
// indicator reported when a call lasts more than a moment.

import { mergeSnapshot, StaleDelta } from './merge.js';

const WAIT_DELAY_MS = 300;
const WAIT_POLL_MS = 200;

// A refusal or failure of the host: `status` (HTTP), `code` (the host's stable code, when it gives
// one) and the host's text, meant for programs and logs rather than for the user.
export class ApiError extends Error {
  constructor(status, message, code = null) {
    super(message);
    this.status = status;
    this.code = code;
  }
}

// The login's anti-forgery token: every request that changes something carries it, since the login
// cookie alone is not proof that this page sent the request. Learnt from /api/me.
let csrf = null;

const LOGIN_PAGE = '/login.html';

// The host no longer knows the user (never logged in, logged out, ticket expired): to the login page.
function toLogin() {
  location.assign(LOGIN_PAGE);
}

function headersFor(method) {
  const headers = {};
  if (method !== 'GET' && csrf) headers['X-CSRF-Token'] = csrf;
  return headers;
}

async function request(method, path, body) {
  const init = { method, headers: headersFor(method) };
  if (body !== undefined) {
    init.body = JSON.stringify(body);
    init.headers['Content-Type'] = 'application/json';
  }
  const response = await fetch(path, init);
  if (response.status === 401) toLogin();
  const text = await response.text();
  let data = null;
  try {
    data = text ? JSON.parse(text) : null;
  } catch {
    throw new ApiError(response.status, `Resposta ilegível do servidor (${response.status}).`);
  }
  if (!response.ok) throw new ApiError(response.status, (data && data.error) || `Erro ${response.status}`, (data && data.code) || null);
  return data;
}

// The logged-in user ({user, role}); keeps the login's anti-forgery token for the requests after it.
export async function whoAmI() {
  const me = await request('GET', '/api/me');
  csrf = me.csrf || null;
  return { user: me.user, role: me.role };
}

// Ends the login (and with it every screen it opened), then shows the login page.
export async function logout() {
  try {
    await request('POST', '/api/logout');
  } finally {
    toLogin();
  }
}

export class Session {
  constructor({ onWait }) {
    this.id = null;
    this.queue = Promise.resolve();
    this.onWait = onWait; // (text | null) => void
    this.pending = 0;
    this.held = null; // the whole snapshot the last answer left
  }

  async start() {
    const created = await request('POST', '/api/sessions', {});
    this.id = created.id;
    return this.id;
  }

  #since() {
    return this.held && Number.isInteger(this.held.version) ? `&since=${this.held.version}` : '';
  }

  // Takes an answer: a delta merges into the snapshot held; one that does not fit asks for the whole.
  async #take(answer) {
    try {
      this.held = mergeSnapshot(this.held, answer);
    } catch (err) {
      if (!(err instanceof StaleDelta)) throw err;
      this.held = await request('GET', `/api/sessions/${this.id}?rows=1`);
      // The event's own outcome travels in the answer, not in the state read afterwards.
      for (const key of ['result', 'error', 'shown', 'dialog']) if (key in answer) this.held[key] = answer[key];
    }
    return this.held;
  }

  // Queues an event; resolves with the whole snapshot after it, rejects with ApiError (404/409/400).
  send(event) {
    const run = () => this.#post(event);
    const result = this.queue.then(run, run);
    this.queue = result.catch(() => {});
    return result;
  }

  async #post(event) {
    this.pending++;
    let timer = null;
    let polling = null;
    let stopped = false;
    const since = this.#since();
    const poll = async () => {
      if (stopped) return;
      try {
        // Read for the wait indicator only: a delta that leaves `wait` out means it did not change.
        const answer = await request('GET', `/api/sessions/${this.id}?rows=1${since}`);
        const wait = 'wait' in answer ? answer.wait : this.held && this.held.wait;
        if (!stopped) this.onWait(wait ? wait.text || 'Aguarde...' : 'Aguarde...');
      } catch {
        /* the event's own answer reports failures */
      }
      if (!stopped) polling = setTimeout(poll, WAIT_POLL_MS);
    };
    timer = setTimeout(() => {
      this.onWait('Aguarde...');
      poll();
    }, WAIT_DELAY_MS);
    try {
      return await this.#take(await request('POST', `/api/sessions/${this.id}/events?rows=1${since}`, event));
    } finally {
      stopped = true;
      clearTimeout(timer);
      clearTimeout(polling);
      this.pending--;
      if (this.pending === 0) this.onWait(null);
    }
  }

  close() {
    if (!this.id) return;
    fetch(`/api/sessions/${this.id}`, { method: 'DELETE', keepalive: true, headers: headersFor('DELETE') }).catch(() => {});
    this.id = null;
  }
}
