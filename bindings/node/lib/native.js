'use strict';
// The shared library: finding and loading it, and its C prototypes.

const path = require('node:path');
const koffi = require('koffi');
const { KivWebviewError, LibraryNotFoundError } = require('./errors');

/** The environment variable naming the library file to load. */
const ENV_VARIABLE = 'KIVWEBVIEW_LIBRARY';

// kiv_event_t and kiv_js_result_t share one layout: an int (the window's
// handle, or the result code) and a NUL-terminated UTF-8 text.
const Record = koffi.struct('kiv_record', { number: 'int', text: 'str' });
const EventCallback = koffi.proto('void kiv_event_callback_t(void *record)');

const PROTOTYPES = [
  'void kiv_webview_init()',
  'int kiv_webview_create(int parent, kiv_event_callback_t *callback)',
  'void kiv_webview_close(int wv)',
  'int kiv_webview_set_url(int wv, str url)',
  'int kiv_webview_set_html(int wv, str html)',
  'int kiv_webview_run_js(int wv, str js)',
  'void *kiv_webview_call_js(int wv, str js)',
  'int kiv_webview_open_devtools(int wv)',
  'void kiv_webview_process_events(int ms)',
  'int kiv_webview_destroy_event(void *event)',
  'int kiv_webview_destroy_js_result(void *result)',
  'int kiv_webview_move(int wv, int x, int y)',
  'int kiv_webview_resize(int wv, int width, int height)',
  'bool kiv_webview_valid(int wv)',
  'int kiv_webview_hide(int wv)',
  'int kiv_webview_show(int wv)',
  'int kiv_webview_present(int wv)',
  'int kiv_webview_maximize(int wv)',
  'int kiv_webview_minimize(int wv)',
  'int kiv_webview_show_normal(int wv)',
  'int kiv_webview_window_state(int wv)',
  'int kiv_webview_set_title(int wv, str title)',
  'void *kiv_webview_choose_dir(int wv, str title, str dir)',
  'void *kiv_webview_file_open(int wv, str title, str dir, str filter)',
  'void *kiv_webview_file_save(int wv, str title, str dir, str filter)',
  'void kiv_webview_set_ou_token(int wv, str token)',
];

function systemNames() {
  if (process.platform === 'win32') return ['kivwebview_qt.dll'];
  if (process.platform === 'darwin') return ['libkivwebview_qt.1.dylib', 'libkivwebview_qt.dylib'];
  return ['libkivwebview_qt.so.1', 'libkivwebview_qt.so'];
}

/** Where the library is looked for: [how it was chosen, file names]. */
function candidates(file) {
  if (file) return ['the explicit path', [String(file)]];
  const env = process.env[ENV_VARIABLE];
  if (env) return [`$${ENV_VARIABLE}`, [env]];
  return ["the system's library path", systemNames()];
}

let loaded = null;

function bind(file, handle) {
  const lib = { path: file };
  for (const definition of PROTOTYPES) {
    const fn = handle.func(definition);
    const name = /kiv_webview_(\w+)\(/.exec(definition)[1];
    lib[name] = fn;
  }
  return lib;
}

function sameFile(a, b) {
  const fs = require('node:fs');
  try {
    return fs.realpathSync(a) === fs.realpathSync(b);
  } catch {
    return path.resolve(a) === path.resolve(b);
  }
}

/**
 * Loads the library once per process and returns it: `file` when given,
 * else the file named by KIVWEBVIEW_LIBRARY, else the library found on the
 * system's library path. A later call returns the library already loaded;
 * asking for another file then throws, since the library keeps one central
 * object per process.
 */
function loadLibrary(file) {
  const [how, names] = candidates(file);
  if (loaded) {
    if (file && !sameFile(names[0], loaded.path)) {
      throw new KivWebviewError(
        `kivwebview_qt is already loaded from ${loaded.path}; cannot load ${names[0]} as well`);
    }
    return loaded;
  }
  const failures = [];
  for (const name of names) {
    let handle;
    try {
      handle = koffi.load(name);
    } catch (error) {
      failures.push(`${name}: ${error.message}`);
      continue;
    }
    loaded = bind(name, handle);
    return loaded;
  }
  throw new LibraryNotFoundError(
    `could not load kivwebview_qt from ${how} (${failures.join('; ') || 'no candidates'})`);
}

function loadedLibrary() {
  return loaded;
}

/** Copies a result record ([code, text]) and gives it back to the library. */
function takeRecord(lib, pointer) {
  if (!pointer) return [-1, 'false'];
  try {
    const record = koffi.decode(pointer, Record);
    return [record.number, record.text === null ? 'false' : record.text];
  } finally {
    lib.destroy_js_result(pointer);
  }
}

module.exports = {
  ENV_VARIABLE, Record, EventCallback, koffi, loadLibrary, loadedLibrary, takeRecord, candidates,
};
