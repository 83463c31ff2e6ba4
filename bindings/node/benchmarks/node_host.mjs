// The Node host of the comparison: the same page, calls and items as
// c_host.c, through the package. Prints "ready" once its window has settled
// and idles for IDLE_S seconds (the package's pump on Node's loop, nothing
// else) while the driver measures its CPU; then prints one JSON line per
// measurement.   node node_host.mjs CALLS IDLE_S
import { Window } from '../index.mjs';

const calls = Number(process.argv[2] || 500);
const idleS = Number(process.argv[3] || 12);
const ITEMS = 100000;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const window = new Window();
window.setHtml('<p>benchmark</p>');
await new Promise((resolve) => window.once('page-loaded', resolve));

// Idle first, while the driver measures: 10 s after the page loaded, when the
// start-up work of both hosts' runtimes (Node's compiler and collector) is over.
await sleep(10000);
console.log('ready');
await sleep(idleS * 1000);

for (let i = 0; i < 20; ++i) await window.callJs('return 1 + 1;');
const times = [];
for (let i = 0; i < calls; ++i) {
  const t0 = performance.now();
  const value = await window.callJs('return 1 + 1;');
  times.push(performance.now() - t0);
  if (value !== 2) process.exit(2);
}
times.sort((a, b) => a - b);
console.log(JSON.stringify({ measure: 'call', median: times[calls >> 1],
  p10: times[Math.floor(calls / 10)], p90: times[Math.floor(calls * 9 / 10)] }));

let items = 0;
let inOrder = true;
let lastAt = 0;
window.on('js-evt', (event) => {
  if (event['js-evt'].i !== items) inOrder = false;
  items += 1;
  lastAt = performance.now();
});
// Two batches: the first warms both hosts up, the second is measured.
let t0 = 0;
for (let batch = 0; batch < 2; ++batch) {
  items = 0;
  await window.callJs("window.kiv_bench_items = []; for (let i = 0; i < 100000; ++i) " +
    "window.kiv_bench_items.push({i: i, s: 'x'}); return 1;");
  t0 = performance.now();
  window.runJs('window.kiv_event_queue.push(...window.kiv_bench_items);');
  while (items < ITEMS) await sleep(5);
}
console.log(JSON.stringify({ measure: 'items', per_s: ITEMS / ((lastAt - t0) / 1000), in_order: inOrder }));

window.close();
