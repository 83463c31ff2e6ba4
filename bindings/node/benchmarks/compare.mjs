#!/usr/bin/env node
// The Node package against a C host of the library, in the same run: a
// callJs round trip, 100k page items reaching a handler in order, and the
// idle CPU of the process tree with one window. The two hosts run
// alternately, each round in fresh processes, so that both see the same
// machine load; the figures are medians over the rounds.
//
//   KIVWEBVIEW_LIBRARY=build/library/libkivwebview_qt.so \
//     scripts/with-display.sh node bindings/node/benchmarks/compare.mjs [--rounds N] [--idle S] [--json FILE]
//
// As root, Chromium needs QTWEBENGINE_DISABLE_SANDBOX=1 (with-display.sh sets it).
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..', '..', '..');
const option = (name, fallback) => {
  const at = process.argv.indexOf(name);
  return at >= 0 ? process.argv[at + 1] : fallback;
};
const rounds = Number(option('--rounds', 3));
const idleS = Number(option('--idle', 10));
const calls = Number(option('--calls', 500));
const jsonOut = option('--json', null);
const library = process.env.KIVWEBVIEW_LIBRARY;
if (!library) {
  console.error('set KIVWEBVIEW_LIBRARY to the built library');
  process.exit(2);
}

// The C host, built against the same library.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kivbench-'));
const cHost = path.join(work, 'c_host');
execFileSync('cc', ['-O2', '-I', path.join(root, 'library', 'include'), path.join(here, 'c_host.c'),
  path.resolve(library), `-Wl,-rpath,${path.dirname(path.resolve(library))}`, '-o', cHost]);

const TICKS = Number(execFileSync('getconf', ['CLK_TCK'], { encoding: 'utf8' }));

/** CPU seconds used so far by `pid` and every process below it. */
function treeCpu(pid) {
  const stats = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const text = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const fields = text.slice(text.lastIndexOf(')') + 2).split(' ');
      stats.set(Number(entry), { ppid: Number(fields[1]), cpu: Number(fields[11]) + Number(fields[12]) });
    } catch {
      // gone meanwhile
    }
  }
  let total = 0;
  const todo = [pid];
  while (todo.length) {
    const next = todo.pop();
    total += stats.get(next)?.cpu || 0;
    for (const [child, stat] of stats) if (stat.ppid === next) todo.push(child);
  }
  return [total / TICKS, (stats.get(pid)?.cpu || 0) / TICKS];
}

/** Runs one host; resolves to its measurements with its idle CPU. */
function runHost(command, args) {
  return new Promise((resolve, reject) => {
    const child = spawn(command, args, { cwd: here, stdio: ['ignore', 'pipe', 'inherit'] });
    const result = {};
    let buffer = '';
    child.stdout.on('data', (data) => {
      buffer += data;
      let newline;
      while ((newline = buffer.indexOf('\n')) >= 0) {
        const line = buffer.slice(0, newline);
        buffer = buffer.slice(newline + 1);
        if (line === 'ready') {
          const [tree0, host0] = treeCpu(child.pid);
          const t0 = performance.now();
          setTimeout(() => {
            const [tree1, host1] = treeCpu(child.pid);
            const seconds = (performance.now() - t0) / 1000;
            result.idle = (100 * (tree1 - tree0)) / seconds;
            result.idleHost = (100 * (host1 - host0)) / seconds;
          }, idleS * 1000);
        } else if (line.startsWith('{')) {
          const figure = JSON.parse(line);
          result[figure.measure] = figure;
        }
      }
    });
    child.on('exit', (code) => {
      if (code !== 0 || result.idle === undefined) reject(new Error(`${command} ended with ${code}`));
      else resolve(result);
    });
  });
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[sorted.length >> 1];
};

const runs = { c: [], node: [] };
for (let round = 0; round < rounds; ++round) {
  const order = round % 2 === 0 ? ['c', 'node'] : ['node', 'c'];
  for (const host of order) {
    process.stderr.write(`round ${round + 1}/${rounds}: ${host} host ...\n`);
    runs[host].push(host === 'c'
      ? await runHost(cHost, [String(calls), String(idleS + 1)])
      : await runHost(process.execPath, [path.join(here, 'node_host.mjs'), String(calls), String(idleS + 1)]));
  }
}
fs.rmSync(work, { recursive: true, force: true });

const figure = (host, pick) => median(runs[host].map(pick));
const call = { c: figure('c', (r) => r.call.median), node: figure('node', (r) => r.call.median) };
const callP10 = { c: figure('c', (r) => r.call.p10), node: figure('node', (r) => r.call.p10) };
const callP90 = { c: figure('c', (r) => r.call.p90), node: figure('node', (r) => r.call.p90) };
const items = { c: figure('c', (r) => r.items.per_s), node: figure('node', (r) => r.items.per_s) };
const ordered = runs.node.every((r) => r.items.in_order) && runs.c.every((r) => r.items.in_order);
const idle = { c: figure('c', (r) => r.idle), node: figure('node', (r) => r.idle) };
const idleAll = { c: runs.c.map((r) => r.idle.toFixed(1)), node: runs.node.map((r) => r.idle.toFixed(1)) };
const idleHost = { c: figure('c', (r) => r.idleHost), node: figure('node', (r) => r.idleHost) };

const load = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
const rows = [
  ['Measure', 'C host', 'Node package', 'Node / C', 'Target'],
  ['callJs round trip ("return 1 + 1;"), median (p10 to p90)',
    `${call.c.toFixed(3)} ms (${callP10.c.toFixed(3)} to ${callP90.c.toFixed(3)})`,
    `${call.node.toFixed(3)} ms (${callP10.node.toFixed(3)} to ${callP90.node.toFixed(3)})`,
    `${(call.node / call.c).toFixed(2)}x`, 'at most 1.5x'],
  [`100k page items to the handler${ordered ? ', in order' : ', OUT OF ORDER'}`,
    `${Math.round(items.c).toLocaleString('en')} /s`, `${Math.round(items.node).toLocaleString('en')} /s`,
    `${(items.node / items.c).toFixed(2)}x`, 'at least 250,000 /s'],
  ['Idle CPU of the process tree, 1 window (per round)',
    `${idle.c.toFixed(1)} % of a core (${idleAll.c.join(', ')})`,
    `${idle.node.toFixed(1)} % (${idleAll.node.join(', ')})`,
    `${(idle.node / idle.c).toFixed(2)}x`, 'at most 1.1x'],
  ['of which the host process', `${idleHost.c.toFixed(1)} %`, `${idleHost.node.toFixed(1)} %`,
    `${(idleHost.node / idleHost.c).toFixed(2)}x`, ''],
];
console.log(`| ${rows[0].join(' | ')} |\n|${rows[0].map(() => '---').join('|')}|`);
for (const row of rows.slice(1)) console.log(`| ${row.join(' | ')} |`);
console.log(`\n${rounds} rounds, ${calls} calls and ${idleS} s idle per round; Node ${process.version}; ` +
  `load average at the end ${load}; ${os.cpus().length} CPUs.`);
if (jsonOut) {
  fs.writeFileSync(jsonOut, JSON.stringify({ runs, call, items, idle, ordered, load,
    node: process.version }, null, 2));
}
