'use strict';
// Browser windows and their events.

const crypto = require('node:crypto');
const { EventEmitter } = require('node:events');
const page = require('./page');
const { OriginRule } = require('./origins');
const { takeRecord } = require('./native');
const { state, call, reportLater } = require('./runtime');
const { ResultError, JavaScriptError } = require('./errors');

/** Registering a listener under this name gives it every event of the
 * window, after the listeners of the event's own name. */
const ALL_EVENTS = '*';

// Each function's failure code, given when the window is known to be closed.
const FAILURE = {
  kiv_webview_set_url: 2, kiv_webview_set_html: 1, kiv_webview_run_js: 3,
  kiv_webview_call_js: 3, kiv_webview_open_devtools: 3, kiv_webview_move: 12,
  kiv_webview_resize: 13, kiv_webview_choose_dir: 14, kiv_webview_file_open: 14,
  kiv_webview_file_save: 14, kiv_webview_window_state: -1,
};
const WINDOW_ACTION_FAILED = 17;
const PACKAGE_ITEM = `{"event":"js-evt","js-evt":{"${page.MESSAGE_KEY}":`;

const STATE_NAMES = { 0: 'normal', 1: 'minimized', 2: 'maximized', 3: 'hidden' };

function text(value, what) {
  if (value === undefined || value === null) return '';
  if (typeof value !== 'string') {
    throw new TypeError(`${what} must be a string, not ${typeof value}`);
  }
  if (value.includes('\0')) {
    throw new TypeError(`${what} contains a NUL character, which the C interface cannot pass`);
  }
  return value;
}

function integer(value, what) {
  if (!Number.isInteger(value)) throw new TypeError(`${what} must be an integer`);
  return value;
}

function errorMessage(error) {
  try {
    return error instanceof Error ? error.message : String(error);
  } catch {
    return '(an error whose message cannot be read)';
  }
}

function errorName(error) {
  try {
    return error instanceof Error ? error.name : typeof error;
  } catch {
    return 'Error';
  }
}

let nextScriptCall = 1;

/**
 * A browser window of the library, named by its handle. Creating it opens
 * and shows the window; it is an EventEmitter of the window's events.
 */
class Window extends EventEmitter {
  constructor(options = {}) {
    super();
    const {
      parent = null, title, width, height, x, y, handlers = {}, allowOrigins = [],
    } = options || {};
    this._handle = 0;
    this._closed = false; // the "closed" event has arrived
    this._closing = false; // close() was called
    this._title = null;
    this._exposed = new Map();
    this._usesPageApi = false; // expose or an awaiting callJs: install on each load
    this._hadExposed = false; // expose used: the page gets window.kiv.api
    this._pageLoaded = false;
    this._pageDoc = null; // the id the current page announced
    this._scriptCalls = new Map();
    this._origins = new OriginRule(allowOrigins);
    for (const [name, handler] of Object.entries(handlers || {})) this.on(name, handler);
    let parentHandle = 0;
    if (parent instanceof Window) parentHandle = parent.handle;
    else if (parent !== null && parent !== undefined) parentHandle = integer(parent, 'parent');
    // The window is registered before the events of its creation are
    // emitted, so that the handlers given here see its "show".
    call((lib) => {
      const handle = lib.create(parentHandle, state.callback);
      this._handle = handle;
      if (handle > 0) state.windows.set(handle, this);
      return handle;
    });
    if (this._handle <= 0) {
      throw new ResultError('kiv_webview_create', 0, -1,
        'the library refused to open a window (called from another thread?)');
    }
    if (title !== undefined) this.setTitle(title);
    if (width !== undefined || height !== undefined) {
      this.resize(width === undefined ? 800 : width, height === undefined ? 600 : height);
    }
    if (x !== undefined || y !== undefined) this.move(x || 0, y || 0);
  }

  /** The window's handle: a positive integer, never reused. */
  get handle() {
    return this._handle;
  }

  /** True once the window has closed (its "closed" event) or close() was called. */
  get closed() {
    return this._closed || this._closing;
  }

  /** The title last set through this object, or null. */
  get title() {
    return this._title;
  }

  // -- events ------------------------------------------------------------

  _dispatch(raw) {
    let data;
    try {
      data = JSON.parse(raw);
    } catch {
      return;
    }
    if (data === null || typeof data !== 'object' || typeof data.event !== 'string') return;
    const name = data.event;
    if (name === 'js-evt') {
      // The library writes compact JSON with its keys in order: an item
      // whose first key is the package's begins with this text.
      if (raw.startsWith(PACKAGE_ITEM)) {
        const item = data['js-evt'];
        const keys = Object.keys(item);
        if (keys.length === 1 && keys[0] === page.MESSAGE_KEY) {
          this._pageMessage(item[page.MESSAGE_KEY]);
          return;
        }
      }
    } else if (name === 'page-loaded') {
      this._pageLoaded = true;
      if (this._usesPageApi) this._installPageApi();
    } else if (name === 'closed') {
      this._closed = true;
      if (state.windows.get(this._handle) === this) state.windows.delete(this._handle);
      this._endScriptCalls('the window closed before the page answered');
    }
    this._emitEach(name, data);
    this._emitEach(ALL_EVENTS, data);
  }

  _emitEach(name, data) {
    // Each listener on its own, so that one that throws does not keep the
    // event from the others.
    if (this.listenerCount(name) === 0) return;
    for (const listener of this.rawListeners(name)) {
      try {
        const result = listener.call(this, data);
        if (listener.listener) this.removeListener(name, listener.listener);
        if (result && typeof result.then === 'function') {
          result.then(undefined, reportLater);
        }
      } catch (error) {
        reportLater(error);
      }
    }
  }

  // -- the page script: exposed functions and awaitable calls ------------

  _pageMessage(message) {
    // A message of the package's page script; anything malformed is dropped,
    // as a page may send whatever it likes.
    if (message === null || typeof message !== 'object') return;
    const doc = page.validDocument(message.doc);
    if (doc === null) return;
    if ('hello' in message) {
      // The page's document announced itself: calls made in any other
      // document are over.
      this._pageDoc = doc;
      for (const call of [...this._scriptCalls.values()]) {
        if (call.doc !== null && call.doc !== doc) {
          this._failScriptCall(call, 'the page was replaced before it answered');
        }
      }
    } else if ('call' in message) {
      const callId = page.validId(message.call);
      const { name, args } = message;
      if (callId !== null && typeof name === 'string' && typeof args === 'string') {
        this._pageCall(doc, callId, name, args);
      }
    } else if ('js' in message) {
      const callId = page.validId(message.js);
      const scriptCall = callId === null ? undefined : this._scriptCalls.get(callId);
      const { reply } = message;
      if (scriptCall === undefined || typeof reply !== 'string') return;
      // Only the document the call ran in, and only with the call's token,
      // answers it.
      if (doc !== scriptCall.doc || message.token !== scriptCall.token) return;
      this._settleScriptCall(scriptCall, reply);
    }
  }

  _settleScriptCall(call, reply) {
    let outcome = null;
    try {
      outcome = JSON.parse(reply);
    } catch {
      outcome = null;
    }
    if (outcome === null || typeof outcome !== 'object') {
      this._failScriptCall(call, "the page's answer was not JSON");
    } else if (outcome.ok === true) {
      this._scriptCalls.delete(call.id);
      call.resolve(outcome.value === undefined ? null : outcome.value);
    } else {
      this._failScriptCall(call, String(outcome.error));
    }
  }

  _failScriptCall(call, reason) {
    this._scriptCalls.delete(call.id);
    const data = { exn: reason, oke: false, result: false };
    call.reject(new JavaScriptError(this._handle, 3, JSON.stringify(data), data));
  }

  _endScriptCalls(reason) {
    for (const call of [...this._scriptCalls.values()]) this._failScriptCall(call, reason);
  }

  _installPageApi() {
    // Puts window.kiv.api (with the exposed names) into the current page and
    // has the page announce its document.
    const names = this._hadExposed ? [...this._exposed.keys()] : null;
    if (this.closed) return;
    try {
      this.runJs(page.installScript(names, true, this._origins.pageLiteral()));
    } catch (error) {
      if (!(error instanceof ResultError)) throw error;
    }
  }

  _currentCall(doc) {
    return !this.closed && (this._pageDoc === null || this._pageDoc === doc);
  }

  _pageCall(doc, callId, name, args) {
    if (!this._currentCall(doc)) return; // dropped: nobody is left to answer
    if (!this._admitted(doc, name, callId)) return;
    const fn = this._exposed.get(name);
    const answer = (textJson) => {
      if (!this._currentCall(doc)) return; // the page that asked is gone
      try {
        this.runJs(page.replyScript(doc, callId, textJson));
      } catch (error) {
        if (!(error instanceof ResultError)) throw error;
      }
    };
    if (fn === undefined) {
      answer(page.answerError('TypeError', `kiv.api.${name} is no longer exposed by the host`));
      return;
    }
    let decoded;
    try {
      decoded = JSON.parse(args);
      if (!Array.isArray(decoded)) throw new TypeError('not an array');
    } catch {
      answer(page.answerError('TypeError', 'the arguments did not arrive as JSON'));
      return;
    }
    const answerValue = (value) => {
      let textJson;
      try {
        textJson = page.answerValue(value);
      } catch (error) {
        textJson = page.answerError(errorName(error),
          `the result of ${name} cannot be sent as JSON: ${errorMessage(error)}`);
      }
      answer(textJson);
    };
    let result;
    try {
      result = fn(...decoded);
    } catch (error) {
      answer(page.answerError(errorName(error), errorMessage(error)));
      return;
    }
    if (result !== null && typeof result === 'object' && typeof result.then === 'function') {
      Promise.resolve(result).then(answerValue,
        (error) => answer(page.answerError(errorName(error), errorMessage(error))));
    } else {
      answerValue(result);
    }
  }

  _admitted(doc, name, callId) {
    // Asks the window's current document who it is, through a call whose
    // answer no page script can give in its place: true when it is the
    // document that made this call, and its origin is one the window
    // answers. A call from any other document runs nothing: from a page
    // replaced meanwhile it is dropped, from a page of another origin it is
    // refused (its promise, if it has one, rejects).
    let identity = null;
    try {
      const [code, raw] = this._callJsRaw(page.IDENTITY_SCRIPT);
      identity = code === 0 ? JSON.parse(raw).result : null;
    } catch {
      identity = null;
    }
    if (!Array.isArray(identity) || identity.length !== 3 || identity[2] !== doc) return false;
    const [origin, scheme] = identity;
    if (this._origins.admits(origin, scheme)) return true;
    const shown = typeof origin === 'string' && origin !== 'null' ? origin : String(scheme);
    this._refused(`window ${this._handle}: refused a call of kiv.api.${name} from ${shown}, ` +
      'an origin this window did not load (setUrl, setHtml) or allow (allowOrigins)');
    try {
      this.runJs(page.replyScript(doc, callId, page.answerError('SecurityError',
        `the host does not answer pages of ${shown}: kiv.api.${name} is only for the pages ` +
        'it loaded itself or allowed')));
    } catch (error) {
      if (!(error instanceof ResultError)) throw error;
    }
    return false;
  }

  _refused(message) {
    // Refused calls are the host's to know of; "refused" listeners get the
    // text, and without one it goes to process warnings.
    if (this.listenerCount('refused') > 0) this._emitEach('refused', { event: 'refused', message });
    else process.emitWarning(message, 'KivWebviewWarning');
  }

  /**
   * Lets this window's pages call `fn` as `await kiv.api.<name>(...args)`.
   */
  expose(name, fn) {
    page.validName(name);
    if (typeof fn !== 'function') {
      throw new TypeError(`only a function can be exposed, not ${typeof fn}`);
    }
    this._exposed.set(name, fn);
    this._hadExposed = true;
    this._usesPageApi = true;
    if (this._pageLoaded && !this.closed) this._installPageApi();
    return this;
  }

  /** Takes the function exposed as `name` away from the page. */
  unexpose(name) {
    this._exposed.delete(name);
    if (this._pageLoaded && !this.closed) this._installPageApi();
    return this;
  }

  /** The names of the exposed functions. */
  get exposed() {
    return [...this._exposed.keys()];
  }

  /** Lets pages of `origin` call the exposed functions too. */
  allowOrigin(origin) {
    this._origins.allow(origin);
    if (this._pageLoaded && !this.closed && this._hadExposed) this._installPageApi();
    return this;
  }

  /** The origins whose pages may call the exposed functions, sorted. */
  get allowedOrigins() {
    return this._origins.origins;
  }

  // -- actions -------------------------------------------------------------

  _open(fn) {
    if (this.closed) {
      throw new ResultError(fn, this._handle, fn in FAILURE ? FAILURE[fn] : WINDOW_ACTION_FAILED,
        'the window is closed');
    }
  }

  _check(fn, action) {
    this._open(fn);
    const code = call(action);
    if (code !== 0) throw new ResultError(fn, this._handle, code);
  }

  setUrl(url) {
    const value = text(url, 'url');
    this._check('kiv_webview_set_url', (lib) => lib.set_url(this._handle, value));
    this._origins.loaded(value);
  }

  setHtml(html) {
    const value = text(html, 'html');
    this._check('kiv_webview_set_html', (lib) => lib.set_html(this._handle, value));
    this._origins.showedHtml();
  }

  runJs(js) {
    const value = text(js, 'js');
    this._check('kiv_webview_run_js', (lib) => lib.run_js(this._handle, value));
  }

  _callJsRaw(js) {
    if (this.closed) throw new JavaScriptError(this._handle, 3, 'false', false);
    return call((lib) => takeRecord(lib, lib.call_js(this._handle, js)));
  }

  /** Runs `body` as a function body in the page; resolves to what it returned. */
  callJs(body) {
    try {
      const js = text(body, 'body');
      const [code, raw] = this._callJsRaw(js);
      const data = JSON.parse(raw);
      if (code === 0) return Promise.resolve(data.result === undefined ? null : data.result);
      if (data !== null && typeof data === 'object' && data.oke === null) {
        // It did not compile as a plain function body, so nothing of it ran:
        // a body that awaits compiles as the body of an async function.
        return this._callJsAsync(js);
      }
      return Promise.reject(new JavaScriptError(this._handle, code, raw, data));
    } catch (error) {
      return Promise.reject(error);
    }
  }

  _callJsAsync(js) {
    return new Promise((resolve, reject) => {
      const id = nextScriptCall++;
      const scriptCall = { id, doc: null, token: crypto.randomBytes(16).toString('hex'), resolve, reject };
      this._scriptCalls.set(id, scriptCall);
      this._usesPageApi = true;
      const [code, raw] = this._callJsRaw(page.launchScript(id, scriptCall.token, js));
      const data = JSON.parse(raw);
      if (code !== 0) {
        this._scriptCalls.delete(id);
        reject(new JavaScriptError(this._handle, code, raw, data));
        return;
      }
      scriptCall.doc = page.validDocument(data.result);
      if (scriptCall.doc === null) {
        this._failScriptCall(scriptCall, 'the page did not start the script');
        return;
      }
      // A script that awaited nothing slow has settled by now: take its
      // outcome at once, from the same document. Otherwise the page sends it
      // when it settles.
      if (!this._scriptCalls.has(id)) return;
      const [takenCode, taken] = this._callJsRaw(page.takeScript(id));
      if (takenCode === 0 && this._scriptCalls.has(id)) {
        const result = JSON.parse(taken).result;
        if (Array.isArray(result) && result.length === 2 && result[0] === scriptCall.doc &&
            typeof result[1] === 'string') {
          this._settleScriptCall(scriptCall, result[1]);
        }
      }
    });
  }

  move(x, y) {
    integer(x, 'x');
    integer(y, 'y');
    this._check('kiv_webview_move', (lib) => lib.move(this._handle, x, y));
  }

  resize(width, height) {
    integer(width, 'width');
    integer(height, 'height');
    this._check('kiv_webview_resize', (lib) => lib.resize(this._handle, width, height));
  }

  show() {
    this._check('kiv_webview_show', (lib) => lib.show(this._handle));
  }

  hide() {
    this._check('kiv_webview_hide', (lib) => lib.hide(this._handle));
  }

  present() {
    this._check('kiv_webview_present', (lib) => lib.present(this._handle));
  }

  maximize() {
    this._check('kiv_webview_maximize', (lib) => lib.maximize(this._handle));
  }

  minimize() {
    this._check('kiv_webview_minimize', (lib) => lib.minimize(this._handle));
  }

  showNormal() {
    this._check('kiv_webview_show_normal', (lib) => lib.show_normal(this._handle));
  }

  /** The window's state: { name, active, value }. */
  state() {
    this._open('kiv_webview_window_state');
    const value = call((lib) => lib.window_state(this._handle));
    if (value < 0) throw new ResultError('kiv_webview_window_state', this._handle, value);
    return { name: STATE_NAMES[value & ~16] || 'normal', active: (value & 16) !== 0, value };
  }

  setTitle(title) {
    const value = text(title, 'title');
    this._check('kiv_webview_set_title', (lib) => lib.set_title(this._handle, value));
    this._title = value;
  }

  openDevtools() {
    this._check('kiv_webview_open_devtools', (lib) => lib.open_devtools(this._handle));
  }

  setCertificateToken(token) {
    const value = text(token, 'token');
    this._open('kiv_webview_set_ou_token');
    call((lib) => lib.set_ou_token(this._handle, value));
  }

  /** Closes the window (its child windows first); a closed window is left as it is. */
  close() {
    if (this.closed) return;
    this._closing = true;
    call((lib) => lib.close(this._handle));
  }

  // -- dialogs -------------------------------------------------------------

  _dialog(fn, action, key) {
    try {
      this._open(fn);
      const [code, raw] = call(action);
      if (code !== 0) throw new ResultError(fn, this._handle, code, raw);
      const data = JSON.parse(raw);
      return Promise.resolve(data.state === 'choosen' && typeof data[key] === 'string'
        ? data[key] : null);
    } catch (error) {
      return Promise.reject(error);
    }
  }

  chooseDirectory(options = {}) {
    let title, directory;
    try {
      title = text(options.title, 'title');
      directory = text(options.directory, 'directory');
    } catch (error) {
      return Promise.reject(error);
    }
    return this._dialog('kiv_webview_choose_dir',
      (lib) => takeRecord(lib, lib.choose_dir(this._handle, title, directory)), 'dir');
  }

  openFile(options = {}) {
    return this._fileDialog('kiv_webview_file_open', 'file_open', options);
  }

  saveFile(options = {}) {
    return this._fileDialog('kiv_webview_file_save', 'file_save', options);
  }

  _fileDialog(fn, name, options) {
    let args;
    try {
      args = [text(options.title, 'title'), text(options.directory, 'directory'),
        text(options.filter, 'filter')];
    } catch (error) {
      return Promise.reject(error);
    }
    return this._dialog(fn, (lib) => takeRecord(lib, lib[name](this._handle, ...args)), 'file');
  }
}

/** The windows of this process whose "closed" event has not arrived yet. */
function openWindows() {
  return [...state.windows.values()];
}

module.exports = { Window, openWindows, ALL_EVENTS };
