// The dialogs as promises, answered by a user at the display (xdotool, in
// a process of its own) while the call waits.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { Window } from '../../bindings/node/index.mjs';
import { BOUND, Recorder } from './helpers.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const FILTERS = 'Text (*.txt);;Images (*.png)';
let window;
let recorder;
let directory;

/** Starts the user; `done` resolves to what it printed once it has ended. */
function user(title, steps, hold = 1) {
  const child = spawn(process.execPath, [path.join(here, 'hosts', 'dialog-user.mjs'), title,
    String(hold), JSON.stringify(steps)], { stdio: ['ignore', 'pipe', 'inherit'] });
  let out = '';
  child.stdout.on('data', (d) => { out += d; });
  const timer = setTimeout(() => child.kill('SIGKILL'), BOUND * 2);
  return { done: new Promise((resolve) => child.on('exit', () => { clearTimeout(timer); resolve(out); })) };
}

before(async () => {
  directory = fs.mkdtempSync(path.join(os.tmpdir(), 'kivnode-'));
  for (const name of ['a.txt', 'b.png']) fs.writeFileSync(path.join(directory, name), 'x\n');
  window = new Window({ title: 'dialog owner' });
  recorder = new Recorder(window);
  // The page keeps sending items while a dialog is open.
  window.setHtml('<p>owner</p><script>let n = 0; setInterval(() => kiv_send_event({tick: ++n}), 100);</script>');
  await recorder.waitFor('page-loaded');
});

after(() => {
  window.close();
  fs.rmSync(directory, { recursive: true, force: true });
});

test('openFile resolves to the chosen file; items sent meanwhile are emitted after, in order',
  { timeout: BOUND * 3 }, async () => {
    const before = recorder.payloads('tick').length;
    const answering = user('Open a text', [['type', '--delay', '30', path.join(directory, 'a.txt')],
      ['key', 'Return']], 2);
    const chosen = await window.openFile({ title: 'Open a text', directory, filter: FILTERS });
    assert.match(await answering.done, /found\ngone/);
    assert.equal(chosen, path.join(directory, 'a.txt'));
    // Held open two seconds while the page ticked every 100 ms.
    const ticks = recorder.payloads('tick').map((p) => p.tick);
    assert.ok(ticks.length - before >= 5);
    assert.deepEqual(ticks, ticks.map((_, i) => i + 1));
  });

test('saveFile resolves to a new name, and writes nothing', { timeout: BOUND * 3 }, async () => {
  const target = path.join(directory, 'new.txt');
  const answering = user('Save it', [['type', '--delay', '30', target], ['key', 'Return']]);
  assert.equal(await window.saveFile({ title: 'Save it', directory, filter: FILTERS }), target);
  assert.match(await answering.done, /found/);
  assert.ok(!fs.existsSync(target));
});

test('chooseDirectory resolves to the directory, and a cancelled dialog to null',
  { timeout: BOUND * 3 }, async () => {
    let answering = user('Pick a folder', [['type', '--delay', '30', directory], ['key', 'Return']]);
    assert.equal(await window.chooseDirectory({ title: 'Pick a folder', directory: os.tmpdir() }),
      directory);
    assert.match(await answering.done, /found/);

    answering = user('Cancel this', [['key', 'Escape']]);
    assert.equal(await window.openFile({ title: 'Cancel this', directory, filter: FILTERS }), null);
    assert.match(await answering.done, /found\ngone/);
  });
