// The packed package installs into a fresh project, with the shared page
// script inside it, and runs the example there.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const packageDir = path.join(root, 'bindings', 'node');
const npm = (args, cwd) => execFileSync('npm', [...args, '--no-audit', '--no-fund', '--loglevel=error'],
  { cwd, encoding: 'utf8', timeout: 120000 });

function run(file, args, cwd, ms = 60000) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [file, ...args], { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    child.stdout.on('data', (d) => { out += d; });
    child.stderr.on('data', (d) => { out += d; });
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`${file} did not end within ${ms} ms:\n${out}`));
    }, ms);
    child.on('exit', (code) => {
      clearTimeout(timer);
      resolve({ code, out });
    });
  });
}

test('npm pack gives a package that installs into a fresh project and runs the example',
  { timeout: 240000 }, async () => {
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kivpack-'));
    try {
      const tarball = path.join(work, npm(['pack', '--pack-destination', work], packageDir)
        .trim().split('\n').at(-1));
      // The source tree keeps no copy of the shared script.
      assert.ok(!fs.existsSync(path.join(packageDir, 'lib', 'page_api.js')));

      const project = path.join(work, 'project');
      fs.mkdirSync(project);
      fs.writeFileSync(path.join(project, 'package.json'),
        JSON.stringify({ name: 'fresh', private: true, type: 'module' }));
      npm(['install', '--prefer-offline', tarball], project);
      const installed = path.join(project, 'node_modules', 'kivwebview');
      assert.equal(fs.readFileSync(path.join(installed, 'lib', 'page_api.js'), 'utf8'),
        fs.readFileSync(path.join(root, 'bindings', 'shared', 'page_api.js'), 'utf8'));
      for (const file of ['index.cjs', 'index.mjs', 'index.d.ts', 'README.md', 'package.json']) {
        assert.ok(fs.existsSync(path.join(installed, file)), file);
      }
      assert.ok(!fs.existsSync(path.join(installed, 'node_modules', '.kiv-lockfile-sum')));

      fs.copyFileSync(path.join(root, 'examples', 'node', 'hello.mjs'), path.join(project, 'hello.mjs'));
      const { code, out } = await run('hello.mjs', ['--once'], project);
      assert.equal(code, 0, out);
      assert.match(out, /^Hello, world! This is Node v\d+/);
    } finally {
      fs.rmSync(work, { recursive: true, force: true });
    }
  });
