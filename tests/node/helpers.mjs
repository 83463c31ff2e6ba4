// Helpers for the tests of the Node package: each test file runs in a
// process of its own (node --test), on a display of its own (run-test.sh).
import http from 'node:http';
import { once } from 'node:events';

/** Generous bound of one wait, to catch hangs only. */
export const BOUND = 30000;

/** Resolves when `predicate()` is true, checked every 10 ms; rejects after `ms`. */
export async function until(predicate, what, ms = BOUND) {
  const end = Date.now() + ms;
  while (!predicate()) {
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
}

/** Records every event of a window, in order. */
export class Recorder {
  constructor(window) {
    this.events = [];
    if (window) window.on('*', (event) => this.events.push(event));
  }

  push(event) {
    this.events.push(event);
  }

  named(name) {
    return this.events.filter((event) => event.event === name);
  }

  payloads(key) {
    return this.named('js-evt').map((e) => e['js-evt']).filter((p) => key === undefined || key in p);
  }

  async waitFor(name, count = 1) {
    await until(() => this.named(name).length >= count,
      `event ${name} #${count}; got ${this.events.map((e) => e.event).join(', ')}`);
    return this.named(name);
  }

  async sent(key, count = 1) {
    await until(() => this.payloads(key).length >= count, `a page item with ${key}`);
    return this.payloads(key)[count - 1];
  }
}

/** An HTTP server on loopback in this process, serving `pages` (path -> HTML). */
export async function serve(pages = {}) {
  const server = http.createServer((request, response) => {
    const body = server.pages[request.url.split('?')[0]];
    if (body === undefined) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
    response.end(body);
  });
  server.pages = { ...pages };
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  server.origin = `http://127.0.0.1:${server.address().port}`;
  server.url = (path) => server.origin + path;
  return server;
}
