// The process's life: it ends by itself once the last window has closed, and
// process.exit(n) with windows open ends it with status n. The library is
// found as documented, and the package loads with require and import.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import * as esm from '../../bindings/node/index.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(import.meta.url);

function run(args, env = process.env, ms = 60000) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, args, { cwd: here, env, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    child.stdout.on('data', (d) => { out += d; });
    child.stderr.on('data', (d) => { out += d; });
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`${args.join(' ')} did not end within ${ms} ms:\n${out}`));
    }, ms);
    child.on('exit', (code, signal) => {
      clearTimeout(timer);
      resolve({ code, signal, out });
    });
  });
}

test('the process ends by itself once its last window has closed', { timeout: 70000 }, async () => {
  const { code, signal, out } = await run(['hosts/ends-by-itself.cjs']);
  assert.equal(signal, null, out);
  assert.equal(code, 0, out);
  assert.match(out, /closed; open windows: 0/);
});

test('process.exit(n) with windows open ends the process with status n', { timeout: 200000 },
  async () => {
    for (const status of [0, 3, 7]) {
      const { code, signal, out } = await run(['hosts/exit-with-windows.mjs', String(status)]);
      assert.equal(signal, null, `killed by ${signal}: ${out}`);
      assert.equal(code, status, out);
      assert.equal(out, '', 'the exit wrote nothing');
    }
  });

test('the library is found through loadLibrary, KIVWEBVIEW_LIBRARY or the system path',
  { timeout: 70000 }, async () => {
    // import and require give the same objects.
    const cjs = require('../../bindings/node');
    assert.equal(cjs.Window, esm.Window);
    assert.equal(esm.ENV_VARIABLE, 'KIVWEBVIEW_LIBRARY');

    const probe = (file) => `
      const k = require('../../bindings/node');
      try { k.loadLibrary(${JSON.stringify(file)}); console.log('loaded'); }
      catch (e) { console.log(e.name + ': ' + e.message); }`;
    const env = { ...process.env };
    const library = env.KIVWEBVIEW_LIBRARY;
    delete env.KIVWEBVIEW_LIBRARY;
    let result = await run(['-e', probe('/nonexistent/libkivwebview_qt.so')], env);
    assert.match(result.out, /LibraryNotFoundError: could not load kivwebview_qt from the explicit path/);
    result = await run(['-e', probe(library)], env);
    assert.equal(result.out.trim(), 'loaded');
    result = await run(['-e', probe(undefined)], { ...env, KIVWEBVIEW_LIBRARY: '/nonexistent/lib.so' });
    assert.match(result.out, /from \$KIVWEBVIEW_LIBRARY/);
    result = await run(['-e', probe(undefined)], { ...env,
      LD_LIBRARY_PATH: [path.dirname(library), env.LD_LIBRARY_PATH].filter(Boolean).join(':') });
    assert.equal(result.out.trim(), 'loaded');

    // Once loaded, asking for another file throws; the same file is fine.
    esm.loadLibrary(library);
    assert.throws(() => esm.loadLibrary('/nonexistent/other.so'), esm.KivWebviewError);
  });
