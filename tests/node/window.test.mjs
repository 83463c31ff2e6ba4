// Windows, their events and actions, on the same process's own http server.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { Window, ResultError, openWindows } from '../../bindings/node/index.mjs';
import { BOUND, Recorder, serve, until } from './helpers.mjs';

test('a window opens with its options, loads a page of this process, and emits each event under its own name',
  { timeout: BOUND * 2 }, async () => {
    const server = await serve({
      '/index.html': '<title>home</title><script>kiv_send_event({n: 1, s: "é"});</script>',
    });
    const shown = [];
    let window;
    try {
      window = new Window({ title: 'node window', width: 420, height: 320,
        handlers: { show: (event) => shown.push(event) } });
      const recorder = new Recorder(window);
      // The handlers given to the constructor see the "show" of its creation.
      assert.deepEqual(shown, [{ event: 'show' }]);
      assert.ok(window.handle > 0 && !window.closed);
      assert.equal(window.title, 'node window');
      assert.ok(openWindows().includes(window));

      window.setUrl(server.url('/index.html'));
      const [loaded] = await recorder.waitFor('page-loaded');
      assert.deepEqual(loaded, { event: 'page-loaded', oke: true });
      assert.deepEqual(await recorder.sent('n'), { n: 1, s: 'é' });
      const [resized] = await recorder.waitFor('resize');
      assert.deepEqual(resized, { event: 'resize', h: 320, w: 420 });

      const moves = [];
      window.on('move', (event) => moves.push(event));
      window.move(40, 50);
      await until(() => moves.length > 0, 'a move event');
      assert.equal(typeof moves[0].x, 'number');

      window.hide();
      await recorder.waitFor('hide');
      assert.equal(window.state().name, 'hidden');
      window.show();
      await recorder.waitFor('show'); // its first came before the recorder
      window.maximize();
      await until(() => window.state().name === 'maximized', 'a maximised window');
      window.showNormal();
      await until(() => window.state().name === 'normal', 'a normal window');
      window.present();
      window.setTitle('renamed');
      assert.equal(window.title, 'renamed');
      window.setCertificateToken('some unit');
      window.openDevtools();
      // "closed" is emitted before close() returns, and is the last event.
      window.close();
      assert.equal(recorder.events.at(-1).event, 'closed');
      assert.ok(window.closed);
      assert.ok(!openWindows().includes(window));
    } finally {
      window?.close();
      server.close();
    }
  });

test('calls on a closed window throw ResultError with the code and its name', async () => {
  const window = new Window();
  window.close();
  window.close(); // closing again changes nothing
  for (const [action, name] of [
    [() => window.setUrl('about:blank'), 'set_url_failed'],
    [() => window.setHtml('<p>'), 'set_html_failed'],
    [() => window.runJs('1'), 'eval_js_failed'],
    [() => window.move(1, 1), 'move_window_failed'],
    [() => window.resize(10, 10), 'resize_window_failed'],
    [() => window.setTitle('x'), 'window_action_failed'],
    [() => window.show(), 'window_action_failed'],
    [() => window.state(), 'invalid'],
  ]) {
    assert.throws(action, (error) => error instanceof ResultError && error.codeName === name &&
      typeof error.code === 'number' && error.handle === window.handle, name);
  }
  await assert.rejects(window.callJs('return 1;'), { codeName: 'eval_js_failed' });
  await assert.rejects(window.chooseDirectory(), { codeName: 'dialog_failed' });
  assert.throws(() => window.runJs('a\0b'), TypeError);
});

test('a child window closes before its parent, each with its own "closed"', async () => {
  const parent = new Window();
  const child = new Window({ parent });
  const order = [];
  parent.on('closed', () => order.push('parent'));
  child.on('closed', () => order.push('child'));
  parent.close();
  assert.deepEqual(order, ['child', 'parent']);
  assert.ok(child.closed && parent.closed);
});

test("Node's timers and sockets keep their pace while a window is open", { timeout: BOUND * 2 },
  async () => {
    const server = await serve({ '/ping': 'pong' });
    let window;
    try {
      window = new Window();
      const recorder = new Recorder(window);
      window.setHtml('<p>idle</p>');
      await recorder.waitFor('page-loaded');
      let ticks = 0;
      const started = Date.now();
      const interval = setInterval(() => { ticks += 1; }, 10);
      // Meanwhile this process's server answers requests of this process.
      let answered = 0;
      while (Date.now() - started < 2000) {
        const response = await fetch(server.url('/ping'));
        assert.equal(await response.text(), 'pong');
        answered += 1;
      }
      clearInterval(interval);
      const expected = (Date.now() - started) / 10;
      assert.ok(ticks >= 0.6 * expected, `${ticks} ticks of ${expected.toFixed(0)}`);
      assert.ok(answered > 10, `${answered} requests answered`);
    } finally {
      window?.close();
      server.close();
    }
  });
