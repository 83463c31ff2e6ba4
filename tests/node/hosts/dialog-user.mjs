// A user at the display, in a process of its own (the test's process waits
// in the dialog's call): waits for the window titled TITLE, keeps it open
// HOLD seconds, activates it and does each step (an xdotool command line),
// then waits for it to go; a dialog still open then is cancelled with
// Escape. Prints "found", "gone" and "cancelled" as they happen.
//   node dialog-user.mjs TITLE HOLD '[["type", "/tmp/x"], ["key", "Return"]]'
import { execFileSync, spawnSync } from 'node:child_process';

const [title, hold, stepsJson] = process.argv.slice(2);
const exact = '^' + title.replace(/[.[\]()*+?{}^$|\\]/g, '\\$&') + '$';
const sleep = (s) => spawnSync('sleep', [String(s)]);
// A search that ends in an X error (a window went away during its walk, as
// windows do while a dialog closes) says nothing: it is made again, for up
// to 10 s. xdotool's own --sync wait ends at such an error too.
const visible = () => {
  const until = Date.now() + 10000;
  for (;;) {
    const done = spawnSync('xdotool', ['search', '--onlyvisible', '--name', exact],
      { encoding: 'utf8' });
    if (!done.stderr.includes('X Error') || Date.now() > until)
      return done.stdout.split(/\s+/).filter(Boolean);
  }
};

let found = visible();
for (const until = Date.now() + 30000; found.length === 0 && Date.now() < until;) {
  sleep(0.1);
  found = visible();
}
if (found.length === 0) process.exit(1);
console.log('found');
sleep(hold);
spawnSync('xdotool', ['windowactivate', '--sync', found[0]]);
for (const step of JSON.parse(stepsJson)) {
  execFileSync('xdotool', step);
  sleep(0.3);
}
for (let i = 0; i < 100; ++i) {
  if (!visible().includes(found[0])) {
    console.log('gone');
    process.exit(0);
  }
  sleep(0.1);
}
for (let i = 0; i < 10 && visible().length > 0; ++i) {
  console.log('cancelled');
  spawnSync('timeout', ['10', 'xdotool', 'windowactivate', '--sync', visible()[0], 'key', 'Escape']);
  sleep(0.5);
}
