// The automation API as the renderer uses it: one session per page, events sent one at a time in
// the order the user made them, and the wait indicator shown when a call lasts more than a moment.

const WAIT_DELAY_MS = 300;
const WAIT_POLL_MS = 200;

export class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

async function request(method, path, body) {
  const init = { method, headers: {} };
  if (body !== undefined) {
    init.body = JSON.stringify(body);
    init.headers['Content-Type'] = 'application/json';
  }
  const response = await fetch(path, init);
  const text = await response.text();
  const data = text ? JSON.parse(text) : null;
  if (!response.ok) throw new ApiError(response.status, (data && data.error) || `Erro ${response.status}`);
  return data;
}

export class Session {
  constructor({ onWait }) {
    this.id = null;
    this.queue = Promise.resolve();
    this.onWait = onWait; // (text | null) => void
    this.pending = 0;
  }

  async start() {
    const created = await request('POST', '/api/sessions');
    this.id = created.id;
    return this.id;
  }

  snapshot() {
    return request('GET', `/api/sessions/${this.id}?rows=1`);
  }

  // Queues an event; resolves with the snapshot after it, rejects with ApiError (404/409/400).
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
    const poll = async () => {
      if (stopped) return;
      try {
        const snap = await request('GET', `/api/sessions/${this.id}`);
        if (!stopped) this.onWait(snap.wait ? snap.wait.text || 'Aguarde...' : 'Aguarde...');
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
      return await request('POST', `/api/sessions/${this.id}/events?rows=1`, event);
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
    fetch(`/api/sessions/${this.id}`, { method: 'DELETE', keepalive: true }).catch(() => {});
    this.id = null;
  }
}
