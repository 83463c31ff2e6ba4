'use strict';
// The errors the package throws and rejects with.

/** The C interface's result_t, by value. */
const RESULT_CODES = Object.freeze({
  [-1]: 'invalid',
  0: 'oke',
  1: 'set_html_failed',
  2: 'set_url_failed',
  3: 'eval_js_failed',
  12: 'move_window_failed',
  13: 'resize_window_failed',
  14: 'dialog_failed',
  17: 'window_action_failed',
});

function codeName(code) {
  return RESULT_CODES[code] || `result_${code}`;
}

/** Base of every error of this package. */
class KivWebviewError extends Error {
  constructor(message) {
    super(message);
    this.name = this.constructor.name;
  }
}

/** The shared library could not be loaded. */
class LibraryNotFoundError extends KivWebviewError {}

/** A C function returned a failure code, or the window is closed. */
class ResultError extends KivWebviewError {
  constructor(fn, handle, code, detail) {
    let message = `${fn}(window ${handle}) failed with ${codeName(code)} (${code})`;
    if (detail) message += `: ${detail}`;
    super(message);
    this.code = code;
    this.codeName = codeName(code);
    this.function = fn;
    this.handle = handle;
  }
}

/** A JavaScript call failed: the script threw, did not compile, its page
 * went away before it answered, or the window is not open. */
class JavaScriptError extends ResultError {
  constructor(handle, code, rawJson, data) {
    let exn = null;
    let detail;
    if (data !== null && typeof data === 'object') {
      exn = data.exn || null;
      detail = data.oke === null ? 'the script did not compile' : `the script failed: ${exn}`;
    } else {
      detail = 'no open window has that handle';
    }
    super('kiv_webview_call_js', handle, code, detail);
    // The page's own message when it threw; the library's reason otherwise.
    this.message = exn !== null ? String(exn) : detail;
    this.exn = exn;
    this.rawJson = rawJson;
    this.data = data;
  }
}

module.exports = {
  RESULT_CODES, codeName, KivWebviewError, LibraryNotFoundError, ResultError, JavaScriptError,
};
