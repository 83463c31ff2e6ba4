// A Node program that serves its page from its own http server on loopback,
// shows it in a window and lets the page call one function of the program.
//
//   npm install               # here: installs kivwebview from ../../bindings/node
//   KIVWEBVIEW_LIBRARY=../../build/library/libkivwebview_qt.so node hello.mjs
//
// Close the window to end the program (with --once it ends after the first
// greeting). As root, Chromium also needs QTWEBENGINE_DISABLE_SANDBOX=1.
import http from 'node:http';
import os from 'node:os';
import { Window } from 'kivwebview';

const once = process.argv.includes('--once');

const PAGE = `<!doctype html>
<meta charset="utf-8">
<title>Hello from Node</title>
<p><input id="name" value="world"> <button id="greet" disabled>Greet</button></p>
<p id="answer"></p>
<script>
  async function greet() {
    const text = await kiv.api.greet(document.getElementById('name').value);
    document.getElementById('answer').textContent = text;
    kiv_send_event({ greeted: text });
  }
  addEventListener('kiv-api-ready', () => {
    const button = document.getElementById('greet');
    button.disabled = false;
    button.onclick = greet;
    greet();
  }, { once: true });
</script>`;

// The page, from this process's own server.
const server = http.createServer((request, response) => {
  if (request.url !== '/') {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
  response.end(PAGE);
});
server.listen(0, '127.0.0.1', () => {
  const url = `http://127.0.0.1:${server.address().port}/`;
  const window = new Window({ title: 'Hello from Node', width: 480, height: 240 });

  // The one function the page may call; it answers only this window's pages.
  window.expose('greet', (name) => `Hello, ${name}! This is Node ${process.version} on ${os.hostname()}.`);

  window.on('js-evt', (event) => {
    console.log(event['js-evt'].greeted);
    if (once) window.close();
  });
  window.on('can-close?', () => window.close()); // the close button only asks
  window.on('closed', () => server.close()); // then nothing keeps the process
  window.setUrl(url);
});
