// The TypeScript declarations cover the package's whole API, and the
// reference docs/node.md is the one they give (scripts/gen-node-docs.mjs).
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import * as kivwebview from '../../bindings/node/index.mjs';
import { parse } from '../../scripts/gen-node-docs.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const script = path.join(root, 'scripts', 'gen-node-docs.mjs');
const declarations = fs.readFileSync(path.join(root, 'bindings', 'node', 'index.d.ts'), 'utf8');

test('the checked-in reference is the generated one, and the check compares for real', () => {
  const checked = spawnSync(process.execPath, [script, '--check'], { encoding: 'utf8' });
  assert.equal(checked.status, 0, checked.stdout + checked.stderr);

  const text = fs.readFileSync(path.join(root, 'docs', 'node.md'), 'utf8');
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kivdocs-'));
  try {
    const stale = path.join(work, 'node.md');
    fs.writeFileSync(stale, text.replace('## The event loop', '## The loop of events'));
    const again = spawnSync(process.execPath, [script, '--check', '--output', stale],
      { encoding: 'utf8' });
    assert.equal(again.status, 1);
    assert.match(again.stdout, /stale/);
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
  for (const section of ['## Finding the library', '## The event loop', '## Event handlers']) {
    assert.ok(text.includes(section), section);
  }
  for (const event of ['show', 'page-loaded', 'js-evt', 'move', 'resize', 'hide', 'can-close?',
    'closed']) {
    assert.ok(text.includes(`| "${event}" |`), event);
  }
});

test('the declarations name every export and every public member of Window, and nothing else', () => {
  const { items } = parse(declarations);
  const declared = new Map(items.map((item) => {
    const name = /(?:const|function|interface|type|class)\s+(\w+)/.exec(item.code)[1];
    return [name, item];
  }));
  for (const name of Object.keys(kivwebview).filter((n) => n !== 'default')) {
    assert.ok(declared.has(name), `${name} is exported but not declared`);
  }
  for (const [name, item] of declared) {
    if (/^export (const|function|class)/.test(item.code)) {
      assert.ok(name in kivwebview, `${name} is declared but not exported`);
    }
  }

  const members = (cls) => Object.getOwnPropertyNames(cls.prototype)
    .filter((n) => !n.startsWith('_') && n !== 'constructor');
  const windowMembers = declared.get('Window').members
    .map((m) => /^(?:readonly\s+)?(\w+)/.exec(m.code)[1]).filter((n) => n !== 'constructor');
  const inherited = ['on', 'once', 'off'];
  assert.deepEqual(members(kivwebview.Window).sort(),
    windowMembers.filter((n) => !inherited.includes(n)).sort());

  // The errors carry what they declare.
  const error = new kivwebview.JavaScriptError(1, 3, '{"exn":"x","oke":false,"result":false}',
    { exn: 'x', oke: false, result: false });
  for (const item of ['ResultError', 'JavaScriptError']) {
    for (const member of declared.get(item).members) {
      const name = /^(?:readonly\s+)?(\w+)/.exec(member.code)[1];
      assert.ok(name in error, `${item}.${name}`);
    }
  }
  assert.deepEqual([error.code, error.codeName, error.message, error.exn], [3, 'eval_js_failed', 'x', 'x']);
});
