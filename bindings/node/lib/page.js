'use strict';
// The scripts the package runs in pages for exposed functions and awaitable
// calls, and the rules for what pages send back.
//
// Everything the host puts into these scripts that is data (names, document
// ids, answers) goes in as a JSON literal that holds only ASCII: JSON's string
// escapes leave nothing that JavaScript reads differently (U+2028 and U+2029,
// lone surrogates and every other non-ASCII character become \u escapes), and
// <, > and & are escaped too, so that the text is inert even inside an HTML
// script element. Answers travel as a string that the page decodes with
// JSON.parse: never as code.

const fs = require('node:fs');
const path = require('node:path');

/** The key under which pages send the package's own messages with
 * kiv_send_event; such items are consumed, not emitted as "js-evt". */
const MESSAGE_KEY = 'kiv-api';

const NAME = /^[A-Za-z_$][A-Za-z0-9_$]*$/;
const RESERVED_NAMES = new Set(['__proto__']);
const MAX_NAME_LENGTH = 200;
const DOCUMENT_ID = /^[0-9a-f]{32}$/;
const MAX_ID = Number.MAX_SAFE_INTEGER;

const STATE = 'window[Symbol.for("kivwebview.api")]';

// The script is shared by every host package of the library: a packed
// package carries a copy next to this module; in the source tree it is the
// one file in bindings/shared.
const SCRIPT_PLACES = [
  path.join(__dirname, 'page_api.js'),
  path.join(__dirname, '..', '..', 'shared', 'page_api.js'),
];

function loadSource() {
  const file = SCRIPT_PLACES.find((place) => fs.existsSync(place));
  if (!file) throw new Error(`page_api.js is missing (looked in ${SCRIPT_PLACES.join(', ')})`);
  const lines = fs.readFileSync(file, 'utf8').split(/\r?\n/);
  // The leading comment explains the file; pages need only the code.
  const code = lines.filter((line) => !line.trimStart().startsWith('//'));
  while (code.length && code[code.length - 1] === '') code.pop();
  return code.join('\n') + '\n';
}

const SOURCE = loadSource();

/** `value` as a JSON literal of ASCII characters only, safe to place in a
 * script as data. */
function jsLiteral(value) {
  const text = JSON.stringify(value);
  if (text === undefined) throw new TypeError('the value cannot be written as JSON');
  return text.replace(/[\u007f-\uffff<>&]/g,
    (c) => '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'));
}

function validName(name) {
  if (typeof name !== 'string') {
    throw new TypeError(`an exposed function's name must be a string, not ${typeof name}`);
  }
  if (!NAME.test(name) || name.length > MAX_NAME_LENGTH || RESERVED_NAMES.has(name)) {
    throw new RangeError(
      `${JSON.stringify(name)} cannot be exposed: a name must be an ASCII JavaScript identifier ` +
      `(letters, digits, _ and $, not starting with a digit), at most ${MAX_NAME_LENGTH} ` +
      'characters, and not __proto__');
  }
  return name;
}

function validDocument(doc) {
  return typeof doc === 'string' && DOCUMENT_ID.test(doc) ? doc : null;
}

function validId(number) {
  return Number.isInteger(number) && number > 0 && number <= MAX_ID ? number : null;
}

/** The page script: with `names` (an array), window.kiv.api gets exactly
 * those functions, in a document whose origin `allowed` admits; with null it
 * is left alone. `hello` makes the page announce its document id. */
function installScript(names, hello, allowed) {
  const listed = names === null ? 'null' : jsLiteral([...names].sort());
  const admitted = jsLiteral(allowed || { all: false, html: false, origins: [] });
  return SOURCE.replace('__NAMES__', () => listed)
    .replace('__HELLO__', hello ? 'true' : 'false')
    .replace('__ALLOWED__', () => admitted);
}

/** The script that hands `answerJson` to the page's call `callId` when the
 * page's document is `doc`; in any other document it does nothing. */
function replyScript(doc, callId, answerJson) {
  return `(function () { var state = ${STATE}; if (state) state.reply(` +
    `${jsLiteral(doc)}, ${Number(callId)}, ${jsLiteral(answerJson)}); })();`;
}

/** The body for kiv_webview_call_js that tells who the window's current
 * document is: [origin, scheme, document id or null]. It answers through the
 * call's own result, which no page script can replace, and reads only
 * location, which no page script can change; the document id is the page's
 * own to set, and counts only together with an origin the host answers.
 * Strict, so that nothing the page defines can reach this code. */
const IDENTITY_SCRIPT = `"use strict"; var s = ${STATE}; var doc = null;` +
  ' try { doc = s && typeof s.doc === "string" ? s.doc : null; } catch (e) {}' +
  ' return [location.origin, location.protocol, doc];';

/** The body that starts `js` as an async function and returns the page's
 * document id at once. An outcome sent later carries `token`. */
function launchScript(callId, token, js) {
  return installScript(null, false) +
    `return ${STATE}.launch(${Number(callId)}, ${jsLiteral(token)}, ` +
    `async function () {\n${js}\n});`;
}

/** The body that returns [document id, outcome as JSON text or null] of the
 * awaitable call `callId`. */
function takeScript(callId) {
  return `const state = ${STATE}; ` +
    `return state ? [state.doc, state.take(${Number(callId)})] : null;`;
}

/** A successful answer as JSON text; throws when `value` cannot be written
 * as JSON. */
function answerValue(value) {
  return jsLiteral({ ok: true, value: value === undefined ? null : value });
}

/** A failed answer: the page's promise rejects with an Error named `kind`. */
function answerError(kind, message) {
  return jsLiteral({ ok: false, error: { type: String(kind), message: String(message) } });
}

module.exports = {
  MESSAGE_KEY, IDENTITY_SCRIPT, jsLiteral, validName, validDocument, validId, installScript,
  replyScript, launchScript, takeScript, answerValue, answerError,
};
