// Exposed functions: pages call the host through kiv.api and get promises;
// values and errors travel as data; only the window's own pages may call.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { Window, JavaScriptError } from '../../bindings/node/index.mjs';
import { BOUND, Recorder, serve, until } from './helpers.mjs';

const literal = (value) => JSON.stringify(value).replace(/</g, '\\u003c');

const VALUES_PAGE = `<p>values</p><script>
window.kiv = {mine: 'kept', api: {own: 1}};
addEventListener('kiv-api-ready', async () => {
  const api = kiv.api, out = {};
  out.add = await api.add(2, 3);
  out.later = await api.later(4);
  out.nested = await api.echo({a: [1, null, true, 2.5], 'é': '€', n: -0.5});
  out.undef = await api.echo(undefined);
  const failing = {fails: () => api.fails('x'), rejects: () => api.rejects(),
                   big: () => api.big(), cyclic: () => { const o = {}; o.o = o; return api.echo(o); }};
  for (const [name, call] of Object.entries(failing)) {
    try { await call(); out[name] = 'resolved'; }
    catch (e) { out[name] = [e.name, e.message, e instanceof Error]; }
  }
  out.uses = await api.usesTheWindow();
  out.kept = [kiv.mine, kiv.api.own, Object.keys(kiv.api).sort()];
  kiv_send_event({out});
}, {once: true});
</script>`;

// Strings that would run as code if an answer were pasted into a script.
const NASTY = ['"); window.pwned = 1; ("', "'); window.pwned = 1; ('", '`${window.pwned = 1}`',
  '</script><script>window.pwned = 1</script>', 'line\u2028separator\u2029paragraph',
  'lone \ud800 high', 'emoji \u{1F600} é €', '\\u0041 is not an escape', 'nul \u0000 char'];

test('pages call exposed functions and get their values and errors', { timeout: BOUND * 2 },
  async () => {
    const window = new Window();
    const recorder = new Recorder(window);
    try {
      window.expose('add', (a, b) => a + b);
      window.expose('later', async (n) => {
        await new Promise((resolve) => setTimeout(resolve, 50));
        return n * 10;
      });
      window.expose('echo', (value) => value);
      window.expose('fails', (text) => { throw new RangeError(`bad ${text}`); });
      window.expose('rejects', async () => { throw new TypeError('async failure'); });
      window.expose('big', () => 10n);
      window.expose('usesTheWindow', async () => {
        window.setTitle('set by an exposed function');
        return window.callJs("return document.querySelector('p').textContent;");
      });
      for (const bad of ['a.b', '1x', 'x y', '', '__proto__', 'é', 'a'.repeat(201)]) {
        assert.throws(() => window.expose(bad, () => 1), RangeError, bad);
      }
      assert.throws(() => window.expose('notAFunction', 5), TypeError);
      assert.deepEqual(window.exposed.sort(),
        ['add', 'big', 'echo', 'fails', 'later', 'rejects', 'usesTheWindow']);

      window.setHtml(VALUES_PAGE);
      const { out } = await recorder.sent('out');
      assert.equal(out.add, 5);
      assert.equal(out.later, 40);
      assert.deepEqual(out.nested, { a: [1, null, true, 2.5], 'é': '€', n: -0.5 });
      assert.equal(out.undef, null);
      assert.deepEqual(out.fails, ['RangeError', 'bad x', true]);
      assert.deepEqual(out.rejects, ['TypeError', 'async failure', true]);
      assert.equal(out.big[0], 'TypeError');
      assert.match(out.big[1], /JSON/);
      assert.equal(out.cyclic[0], 'TypeError'); // the page refused to send it
      assert.equal(out.uses, 'values');
      assert.equal(window.title, 'set by an exposed function');
      assert.deepEqual(out.kept, ['kept', 1, ['add', 'big', 'echo', 'fails', 'later', 'own',
        'rejects', 'usesTheWindow']]);
      // The package's own messages never reach the handlers.
      assert.deepEqual(recorder.payloads().map((p) => Object.keys(p)), [['out']]);

      // Exposing and unexposing on a loaded page take effect at once.
      window.expose('late', () => 7);
      window.unexpose('add');
      assert.deepEqual(await window.callJs(
        'return [typeof kiv.api.late, typeof kiv.api.add, kiv.api.own];'), ['function', 'undefined', 1]);
    } finally {
      window.close();
    }
  });

test('answers reach the page as data and never run as code', { timeout: BOUND }, async () => {
  const window = new Window();
  const recorder = new Recorder(window);
  const received = [];
  try {
    window.expose('echo', (value) => { received.push(value); return value; });
    window.expose('fail', (text) => { throw new RangeError(text); });
    window.setHtml(`<p>injection</p><script>
addEventListener('kiv-api-ready', async () => {
  const same = [], messages = [];
  for (const text of ${literal(NASTY)}) {
    same.push((await kiv.api.echo(text)) === text);
    try { await kiv.api.fail(text); messages.push('resolved'); }
    catch (e) { messages.push(e.message === text && e.name === 'RangeError'); }
  }
  kiv_send_event({same, messages, touched: typeof window.pwned});
}, {once: true});
</script>`);
    const item = await recorder.sent('same');
    assert.deepEqual(item, { same: NASTY.map(() => true), messages: NASTY.map(() => true),
      touched: 'undefined' });
    assert.deepEqual(received, NASTY);
  } finally {
    window.close();
  }
});

// A page of the host's: calls the exposed function once its api is ready,
// and reports what it got and its document's id.
const own = (name, next = '#') => `<p>${name}</p><a id=next href="${next}">next</a><script>
addEventListener('kiv-api-ready', async () => {
  const got = await kiv.api.secret('${name}');
  kiv_send_event({page: '${name}', got, doc: window[Symbol.for('kivwebview.api')].doc});
}, {once: true});
</script>`;

// A page of another origin, reached by a link: it looks for the api, then
// sends calls it made up: with the id of the host's page it came from, with
// an id of its own invention, and through a call state of its own.
const FOREIGN = `<p>foreign</p><script>
const copied = new URLSearchParams(location.search).get('doc');
let ready = false;
addEventListener('kiv-api-ready', () => { ready = true; });
const forge = (id, doc, who) => kiv_send_event({'kiv-api': {
  call: id, name: 'secret', args: JSON.stringify([who]), doc}});
const go = async () => {
  const state = window[Symbol.for('kivwebview.api')];
  forge(1, copied, 'copied id');
  forge(2, 'f'.repeat(32), 'made-up id');
  forge(3, state.doc, 'own id');
  let rejected = null;
  try { await state.call('secret', ['through its own state']); rejected = 'resolved'; }
  catch (e) { rejected = [e.name, e.message]; }
  kiv_send_event({foreign: [typeof window.kiv, ready], rejected});
};
const wait = () => window[Symbol.for('kivwebview.api')] ? setTimeout(go, 200) : setTimeout(wait, 20);
wait();
</script>`;

function exposing(options) {
  const window = new Window(options);
  const recorder = new Recorder(window);
  const calls = [];
  window.expose('secret', (who) => { calls.push(who); return 's3cret'; });
  return { window, recorder, calls };
}

const follow = (window, url) => {
  if (url !== undefined) window.runJs(`document.getElementById('next').href = ${literal(url)};`);
  window.runJs("document.getElementById('next').click();");
};

test("own pages and their origin call; a foreign origin's and forged calls run nothing",
  { timeout: BOUND * 2 }, async () => {
    const home = await serve();
    const foreign = await serve({ '/help.html': FOREIGN });
    const { window, recorder, calls } = exposing();
    const refusals = [];
    window.on('refused', (event) => refusals.push(event.message));
    try {
      home.pages['/index.html'] = own('index', '/second.html');
      home.pages['/second.html'] = own('second');
      window.setUrl(home.url('/index.html'));
      assert.equal((await recorder.sent('page')).got, 's3cret');
      follow(window);
      const second = await recorder.sent('page', 2);
      assert.deepEqual([second.page, second.got], ['second', 's3cret']);
      assert.deepEqual(window.allowedOrigins, [home.origin]);

      follow(window, foreign.url(`/help.html?doc=${second.doc}`));
      const result = await recorder.sent('foreign');
      assert.deepEqual(result.foreign, ['undefined', false]);
      assert.equal(result.rejected[0], 'SecurityError');
      assert.ok(result.rejected[1].includes(foreign.origin));
      await new Promise((resolve) => setTimeout(resolve, 1000)); // every forged call looked at
      assert.deepEqual(calls, ['index', 'second']);
      assert.ok(refusals.some((m) => m.includes(`refused a call of kiv.api.secret from ${foreign.origin}`)));

      window.setHtml(own('html'));
      assert.equal((await recorder.sent('page', 3)).got, 's3cret');
      assert.deepEqual(calls, ['index', 'second', 'html']);
    } finally {
      window.close();
      home.close();
      foreign.close();
    }
  });

// Stores its document's id for the next page of its origin, then goes there;
// that page sends a call under the replaced page's id before the host has
// heard from it, then calls in its own name.
const FIRST = `<p>first</p><script>
addEventListener('kiv-api-ready', async () => {
  await kiv.api.secret('first');
  sessionStorage.setItem('doc', window[Symbol.for('kivwebview.api')].doc);
  location.href = '/later.html';
}, {once: true});
</script>`;
const LATER = `<p>later</p><script>
kiv_send_event({'kiv-api': {call: 1, name: 'secret', args: '["stale"]',
                            doc: sessionStorage.getItem('doc')}});
addEventListener('kiv-api-ready', async () => {
  kiv_send_event({page: 'later', got: await kiv.api.secret('later')});
}, {once: true});
</script>`;

test("an allowed origin calls, '*' allows every origin, and a replaced page's id runs nothing",
  { timeout: BOUND * 2 }, async () => {
    const home = await serve({ '/first.html': FIRST, '/later.html': LATER });
    const foreign = await serve({ '/allowed.html': own('allowed') });
    const windows = [];
    try {
      const { window, recorder, calls } = exposing({ allowOrigins: [foreign.url('/any/path')] });
      windows.push(window);
      assert.deepEqual(window.allowedOrigins, [foreign.origin]);
      for (const bad of ['127.0.0.1:8000', 'not an origin', 'mailto:x@example.org']) {
        assert.throws(() => window.allowOrigin(bad), RangeError, bad);
      }
      window.setHtml(own('html', foreign.url('/allowed.html')));
      assert.equal((await recorder.sent('page')).page, 'html');
      follow(window);
      const allowed = await recorder.sent('page', 2);
      assert.deepEqual([allowed.page, allowed.got], ['allowed', 's3cret']);

      window.setUrl(home.url('/first.html'));
      await until(() => calls.includes('later'), 'the later page\'s call');
      await new Promise((resolve) => setTimeout(resolve, 500));
      assert.deepEqual(calls, ['html', 'allowed', 'first', 'later']);

      const everywhere = exposing({ allowOrigins: ['*'] });
      windows.push(everywhere.window);
      everywhere.window.setUrl(foreign.url('/allowed.html'));
      assert.equal((await everywhere.recorder.sent('page')).got, 's3cret');
      assert.deepEqual(everywhere.window.allowedOrigins, ['*']);
    } finally {
      for (const window of windows) window.close();
      home.close();
      foreign.close();
    }
  });

// Makes up an answer for every awaiting call it sees waiting, in its own
// name (without the call's token); told to, moves on to a page of its
// origin that answers in the name of the page before it.
const RIVAL = `<p>rival</p><script>
setInterval(() => {
  const state = window[Symbol.for('kivwebview.api')];
  if (!state) return;
  for (const id of state.sendLater) {
    if (window.forged && window.forged.has(id)) continue;
    (window.forged = window.forged || new Set()).add(id);
    kiv_send_event({'kiv-api': {js: id, doc: state.doc,
                                reply: JSON.stringify({ok: true, value: 'forged'})}});
    if (window.leave) location.href = '/rival2.html?id=' + id + '&doc=' + state.doc;
  }
}, 20);
</script>`;
const RIVAL2 = `<p>rival two</p><script>
const q = new URLSearchParams(location.search);
kiv_send_event({'kiv-api': {js: Number(q.get('id')), doc: q.get('doc'), token: 'guessed',
                            reply: JSON.stringify({ok: true, value: 'forged'})}});
</script>`;

test('an awaiting callJs takes its answer only from its own document', { timeout: BOUND * 2 },
  async () => {
    const home = await serve({ '/rival.html': RIVAL, '/rival2.html': RIVAL2 });
    const window = new Window();
    const recorder = new Recorder(window);
    try {
      window.setUrl(home.url('/rival.html'));
      await recorder.waitFor('page-loaded');
      assert.equal(await window.callJs(
        "await new Promise(r => setTimeout(r, 600)); return 'real';"), 'real');
      window.runJs('window.leave = true;');
      await assert.rejects(window.callJs("await new Promise(() => {}); return 'never';"),
        (e) => e instanceof JavaScriptError && /replaced/.test(e.message));
    } finally {
      window.close();
      home.close();
    }
  });
