// callJs, its errors, bodies that await, and handlers that run outside
// every library call.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { Window, JavaScriptError, ResultError } from '../../bindings/node/index.mjs';
import { BOUND, Recorder, serve, until } from './helpers.mjs';

let window;
let recorder;

before(async () => {
  window = new Window();
  recorder = new Recorder(window);
  window.setHtml('<p id=p>text</p>');
  await recorder.waitFor('page-loaded');
});

after(() => window.close());

test('callJs resolves to the returned value, decoded', async () => {
  assert.equal(await window.callJs('return 6 * 7;'), 42);
  assert.deepEqual(await window.callJs('return {a: [1, "two", null], b: "é"};'),
    { a: [1, 'two', null], b: 'é' });
  assert.equal(await window.callJs('return document.getElementById("p").textContent;'), 'text');
  assert.equal(await window.callJs('let x = 1;'), null); // returned nothing
});

test('a script that throws rejects with JavaScriptError: the page message and the raw JSON',
  async () => {
    const error = await window.callJs('throw new Error("it broke");').then(
      () => assert.fail('resolved'), (e) => e);
    assert.ok(error instanceof JavaScriptError && error instanceof ResultError);
    assert.equal(error.message, 'it broke');
    assert.equal(error.code, 3);
    assert.equal(error.codeName, 'eval_js_failed');
    assert.deepEqual(JSON.parse(error.rawJson), { exn: 'it broke', oke: false, result: false });

    const syntax = await window.callJs('return )(;').then(() => assert.fail('resolved'), (e) => e);
    assert.ok(syntax instanceof JavaScriptError);
    assert.match(syntax.message, /did not compile/);
  });

test('a body that awaits works, resolves and rejects, while Node goes on meanwhile',
  { timeout: BOUND }, async () => {
    assert.equal(await window.callJs('return await Promise.resolve(5);'), 5);
    let ticks = 0;
    const interval = setInterval(() => { ticks += 1; }, 10);
    const slow = await window.callJs(
      'await new Promise((r) => setTimeout(r, 500)); return location.protocol;');
    clearInterval(interval);
    assert.equal(slow, 'data:');
    assert.ok(ticks >= 20, `${ticks} ticks of Node's timer while the page awaited`);
    await assert.rejects(window.callJs('await null; throw new Error("later");'),
      (e) => e instanceof JavaScriptError && e.message === 'later');
    // Several at once settle each with its own value.
    const values = await Promise.all([3, 1, 2].map((n) =>
      window.callJs(`await new Promise((r) => setTimeout(r, ${n * 50})); return ${n};`)));
    assert.deepEqual(values, [3, 1, 2]);
  });

test('an awaiting call rejects when its page is replaced or its window closes',
  { timeout: BOUND }, async () => {
    const never = 'await new Promise(() => {}); return 1;';
    const replaced = window.callJs(never);
    window.setHtml('<p>another page</p>');
    await assert.rejects(replaced, (e) => e instanceof JavaScriptError && /replaced/.test(e.message));

    const other = new Window();
    other.setHtml('<p>short-lived</p>');
    await new Promise((resolve) => other.once('page-loaded', resolve));
    const pending = other.callJs(never);
    other.close();
    await assert.rejects(pending, (e) => e instanceof JavaScriptError && /closed/.test(e.message));
  });

test('events that arrive during a call are emitted after it returns, in order, and handlers may call anything',
  { timeout: BOUND }, async () => {
    const seen = [];
    const onItem = (event) => {
      if ('i' in event['js-evt']) seen.push(event['js-evt'].i);
    };
    window.on('js-evt', onItem);
    try {
      window.runJs('for (let i = 0; i < 500; ++i) kiv_send_event({i});');
      // A call that waits for the page while its items come in.
      await window.callJs('const end = Date.now() + 100; while (Date.now() < end) {} return 1;');
      await until(() => seen.length === 500, 'the 500 items');
      assert.deepEqual(seen, [...Array(500).keys()]);

      // A handler that awaits library calls of its own: nested in a library
      // call, a call that waits for the page could not work.
      const answers = [];
      window.once('js-evt', async () => {
        answers.push(await window.callJs('return "from a handler";'));
        window.setTitle('set in a handler');
        answers.push(await window.callJs('await null; return "awaited in a handler";'));
      });
      window.runJs('kiv_send_event({ask: 1});');
      await until(() => answers.length === 2, 'the handler\'s calls');
      assert.deepEqual(answers, ['from a handler', 'awaited in a handler']);
    } finally {
      window.off('js-evt', onItem);
    }
  });

test('a page of this process\'s server can fetch from it inside an awaiting call', { timeout: BOUND },
  async () => {
    const server = await serve({ '/page.html': '<p>page</p>', '/data': 'from the server' });
    try {
      window.setUrl(server.url('/page.html'));
      await recorder.waitFor('page-loaded', 3);
      assert.equal(await window.callJs('return await (await fetch("/data")).text();'),
        'from the server');
    } finally {
      server.close();
    }
  });
