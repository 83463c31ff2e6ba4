/**
 * Browser windows from Node.js, over the C interface of `kivwebview_qt`.
 *
 * A program opens windows ({@link Window}), loads pages into them (often
 * served by its own `http` server), runs JavaScript in them, receives their
 * events as an `EventEmitter`, and lets its pages call it back through
 * exposed functions. The package calls the library through `koffi`; it has
 * no other dependency.
 *
 * ```js
 * import { Window } from "kivwebview";
 *
 * const win = new Window({ title: "Hello", width: 480, height: 320 });
 * win.on("js-evt", (event) => console.log("the page sent", event["js-evt"]));
 * win.on("can-close?", () => win.close());
 * win.setHtml('<button onclick="kiv_send_event({clicked: true})">Click me</button>');
 * await new Promise((resolve) => win.once("page-loaded", resolve));
 * console.log(await win.callJs("return 6 * 7;"));   // 42
 * ```
 *
 * ## Finding the library
 *
 * The library is loaded on first use: from the path given to
 * {@link loadLibrary} when the program calls it first, else from the file
 * named by the environment variable `KIVWEBVIEW_LIBRARY`, else from the
 * system's library path (`libkivwebview_qt.so.1` through the dynamic loader:
 * `LD_LIBRARY_PATH`, then the `ldconfig` cache). From a build folder, point
 * `KIVWEBVIEW_LIBRARY` at `build/library/libkivwebview_qt.so`. As root,
 * Chromium starts only with `QTWEBENGINE_DISABLE_SANDBOX=1` in the
 * environment; the package never sets it.
 *
 * ## The event loop
 *
 * The library runs its toolkit's event loop only while it is called. While
 * any window is open, the package calls it in short turns on Node's own
 * event loop: one turn of about 2.5 ms (one 2 ms slice of the toolkit's loop
 * after a 0.5 ms rest) each time Node's loop comes round (`setImmediate`), so
 * that the program's timers, sockets and servers keep their pace, and a page
 * that this process serves loads. The pump keeps the process alive while a
 * window is open; once the last window has closed it schedules nothing, and
 * the process ends when nothing else of its own keeps it.
 *
 * A call that waits (the constructor, until the window is shown; `callJs`
 * of a body that does not await, until the page answers; a dialog, until the
 * user answers) holds Node's loop for as long as it waits. A body that
 * awaits does not: it answers through the page's events.
 *
 * `process.exit(n)` with windows open ends the process with status n: the
 * library closes its windows and shuts its web engine down on the way,
 * calling no handler.
 *
 * ## Event handlers
 *
 * No handler runs inside a library call. The events that arrive while the
 * library runs are queued, and emitted in order as soon as the call returns:
 * before the method that made the call returns, or in the pump's turn. A
 * handler may therefore call any method and await anything; the events its
 * own calls bring are emitted after it has returned (or reached its first
 * `await`). An exception a handler throws, or a promise it returns that
 * rejects, is reported as an uncaught exception once the queue has been
 * emitted, as with any asynchronous emitter; the other handlers still get
 * the event.
 *
 * The library's calls work on the thread that made the first one: the main
 * thread, normally. Worker threads cannot share its windows.
 */

import { EventEmitter } from 'node:events';

/** The name of the environment variable naming the library file: `"KIVWEBVIEW_LIBRARY"`. */
export const ENV_VARIABLE: 'KIVWEBVIEW_LIBRARY';

/** Listeners registered under this name (`"*"`) get every event of the window, after those of the event's own name. */
export const ALL_EVENTS: '*';

/** Given to `allowOrigins` (`"*"`), lets every origin call the exposed functions: dangerous, see {@link Window.expose}. */
export const ANY_ORIGIN: '*';

/** The C interface's `result_t` names by value (and `-1`, `"invalid"`, the failed window state). */
export const RESULT_CODES: Readonly<Record<number, string>>;

/**
 * Loads the library once per process and returns it: `path` when given,
 * else the file named by `KIVWEBVIEW_LIBRARY`, else the library found on
 * the system's library path. Optional: the first window loads it too.
 *
 * A later call returns the library already loaded; asking for another file
 * then throws {@link KivWebviewError}, since the library keeps one central
 * object per process.
 *
 * ```js
 * loadLibrary("build/library/libkivwebview_qt.so");
 * ```
 *
 * @throws {LibraryNotFoundError} no candidate file could be loaded.
 */
export function loadLibrary(path?: string): Library;

/** The windows of this process whose "closed" event has not been emitted yet. */
export function openWindows(): Window[];

/** The loaded library: its file and its C functions, without their `kiv_webview_` prefix. */
export interface Library {
  /** The file it was loaded from. */
  readonly path: string;
  /** The C functions, called directly: they bypass every rule of {@link Window}. */
  readonly [name: string]: unknown;
}

/** A listener of a window's event: gets the event's parsed JSON object. */
export type Handler<E = WindowEvent> = (this: Window, event: E) => unknown;

/** The options of a new window. */
export interface WindowOptions {
  /** A window (or its handle) to be the new window's parent: the new window is a window-modal dialog over it, closed before it. */
  parent?: Window | number | null;
  /** The window's title. */
  title?: string;
  /** The window's width, in pixels (800 when only the height is given). */
  width?: number;
  /** The window's height, in pixels (600 when only the width is given). */
  height?: number;
  /** The horizontal position of the window's frame. */
  x?: number;
  /** The vertical position of the window's frame. */
  y?: number;
  /** Listeners by event name, registered before the window opens, so that they also see its "show". */
  handlers?: { [name: string]: Handler<any> };
  /** Origins (`"https://example.org"`, or URLs standing for their origins) whose pages may call the exposed functions besides the window's own pages; `"*"` allows every origin (dangerous). */
  allowOrigins?: string[];
}

/**
 * The events of a window, by name, with the JSON object each listener gets.
 * Every object has the member `event`, the event's name.
 *
 * | Event | Members besides `event` | When |
 * |---|---|---|
 * | "show" | | the window was shown; the first event of every window, emitted before the constructor returns |
 * | "page-loaded" | `oke`: boolean | a page finished loading (false: it failed); exposed functions are in place when the listeners run |
 * | "js-evt" | `"js-evt"`: object | the page sent an object with `window.kiv_send_event(obj)` (`{}` for a non-object) |
 * | "move" | `x`, `y` | the window moved (500 ms after the last move) |
 * | "resize" | `w`, `h` | the window was resized (500 ms after the last resize) |
 * | "hide" | | the window was hidden |
 * | "can-close?" | | the user asked to close the window; it stays open until the program calls `close()` |
 * | "closed" | | the window closed: its last event |
 * | "renderer-gone" | `"exit-code"`, `reason` | the page's renderer process ended |
 * | "new-window" | `url` | the page asked for a new window; none opened |
 * | "download-started" | `path`, `url` | the page started a download, to be saved as `path` |
 * | "download-finished" | `oke`, `path`, `url` | the download ended |
 * | "download-blocked" | `url` | a download the page started without a user gesture since its last save dialog was refused |
 * | "popup-blocked" | `url` | the page asked for a new window without a user gesture; nothing opened |
 * | "url-changed" | `url` | the page shows a new address (before a load's "page-loaded"); a `setHtml` page is `kiv-html:HANDLE/N` |
 * | "fullscreen" | `on`: boolean | the page put its window on the whole screen, or left it |
 * | "print-finished" | `oke`, `path` | `window.print()` saved the page as the PDF the user chose |
 * | "notification" | `title`, `body`, `origin` | a page the user allowed to show notifications showed one |
 * | "refused" | `message` | the package refused a call of an exposed function from a page the window does not answer (without a listener, the message is a process warning) |
 *
 * The library may add events; "*" listeners see every event, known or not.
 * Items that the package's own page script sends (under the key `"kiv-api"`)
 * are consumed by the package and never emitted.
 */
export interface WindowEvents {
  'show': { event: 'show' };
  'page-loaded': { event: 'page-loaded'; oke: boolean };
  'js-evt': { event: 'js-evt'; 'js-evt': { [key: string]: any } };
  'move': { event: 'move'; x: number; y: number };
  'resize': { event: 'resize'; w: number; h: number };
  'hide': { event: 'hide' };
  'can-close?': { event: 'can-close?' };
  'closed': { event: 'closed' };
  'renderer-gone': { event: 'renderer-gone'; 'exit-code': number; reason: string };
  'new-window': { event: 'new-window'; url: string };
  'download-started': { event: 'download-started'; path: string; url: string };
  'download-finished': { event: 'download-finished'; oke: boolean; path: string; url: string };
  'download-blocked': { event: 'download-blocked'; url: string };
  'popup-blocked': { event: 'popup-blocked'; url: string };
  'url-changed': { event: 'url-changed'; url: string };
  'fullscreen': { event: 'fullscreen'; on: boolean };
  'print-finished': { event: 'print-finished'; oke: boolean; path: string };
  'notification': { event: 'notification'; title: string; body: string; origin: string };
  'refused': { event: 'refused'; message: string };
}

/** Any event object: the member `event` names it. */
export type WindowEvent = { event: string; [member: string]: any };

/** A window's state, from {@link Window.state}. */
export interface WindowState {
  /** The base state. */
  name: 'normal' | 'minimized' | 'maximized' | 'hidden';
  /** True when the window is the active window (never for minimised or hidden ones). */
  active: boolean;
  /** The C interface's `window_state_t` value: the base state plus 16 when active. */
  value: number;
}

/** The options of {@link Window.chooseDirectory}. */
export interface DirectoryDialogOptions {
  /** The dialog's title ("" lets the toolkit choose). */
  title?: string;
  /** The directory it starts in ("" lets the toolkit choose). */
  directory?: string;
}

/** The options of {@link Window.openFile} and {@link Window.saveFile}. */
export interface FileDialogOptions extends DirectoryDialogOptions {
  /** Name filters, e.g. `"Images (*.png *.jpg);;Text (*.txt)"`; "" shows every file. */
  filter?: string;
}

/**
 * A browser window of the library. Creating it opens and shows the window;
 * it is an `EventEmitter` of the window's events ({@link WindowEvents}),
 * each emitted under its own name with its parsed JSON object.
 *
 * A method called on a closed window (after its "closed", or once `close()`
 * has been called) throws {@link ResultError}, or, for the methods that
 * return a promise, rejects with it; `close()` alone does nothing there.
 *
 * ```js
 * const win = new Window({ title: "Notes", width: 800, height: 600,
 *                          handlers: { show: () => console.log("shown") } });
 * win.on("can-close?", () => win.close());    // the close button only asks
 * win.setUrl(`http://127.0.0.1:${server.address().port}/`);
 * ```
 */
export class Window extends EventEmitter {
  /**
   * Opens a window and shows it; returns once the window manager has placed
   * it. The listeners given in `options.handlers` see its "show".
   *
   * @throws {ResultError} the library refused to open a window.
   */
  constructor(options?: WindowOptions);

  /** The window's handle: a positive integer, 1 for the first window, never reused. */
  readonly handle: number;

  /** True once the window has closed, or `close()` was called. */
  readonly closed: boolean;

  /** The title last set through this object, or null. */
  readonly title: string | null;

  /** The names of the exposed functions. */
  readonly exposed: string[];

  /** The origins whose pages may call the exposed functions, sorted: those of the URLs loaded with `setUrl` and those allowed (`["*"]` when every origin is). Pages shown with `setHtml` may call them too. */
  readonly allowedOrigins: string[];

  /** Registers `listener` for the event `name` (`"*"` for every event). */
  on<K extends keyof WindowEvents>(name: K, listener: Handler<WindowEvents[K]>): this;
  on(name: string | symbol, listener: Handler<any>): this;
  /** Registers `listener` for the next event `name` only. */
  once<K extends keyof WindowEvents>(name: K, listener: Handler<WindowEvents[K]>): this;
  once(name: string | symbol, listener: Handler<any>): this;
  /** Unregisters a listener. */
  off<K extends keyof WindowEvents>(name: K, listener: Handler<WindowEvents[K]>): this;
  off(name: string | symbol, listener: Handler<any>): this;

  /**
   * Loads `url`; the "page-loaded" event tells the outcome. From then on the
   * exposed functions answer pages of the URL's origin too (give the URL
   * with its scheme, e.g. `http://127.0.0.1:8000/`).
   *
   * @throws {ResultError} `set_url_failed`: the window is closed.
   */
  setUrl(url: string): void;

  /**
   * Shows the HTML text `html` (no base URL); "page-loaded" follows. The
   * exposed functions answer such pages of this window.
   *
   * @throws {ResultError} `set_html_failed`: the window is closed.
   */
  setHtml(html: string): void;

  /**
   * Runs the script `js` in the page without waiting for a result.
   *
   * @throws {ResultError} `eval_js_failed`: the window is closed.
   */
  runJs(js: string): void;

  /**
   * Runs `body` as the body of a function in the page and resolves to what
   * it returned with `return`, decoded from JSON (null when it returned
   * nothing).
   *
   * A body that does not await is one short call that waits for the page's
   * answer. A body that uses `await` runs as the body of an async function:
   * it starts at once and answers when it has settled, while Node's loop
   * and the pump go on. A body that returns a promise without awaiting it
   * gets `{}`: write `return await promise`.
   *
   * ```js
   * const count = await win.callJs("return document.querySelectorAll('li').length;");
   * const status = await win.callJs("return await (await fetch('/status')).text();");
   * ```
   *
   * Rejects with {@link JavaScriptError} when the script threw (its
   * `message` is the page's message), did not compile, its page was
   * replaced or its window closed before it answered, or the window is
   * closed.
   */
  callJs(body: string): Promise<any>;

  /**
   * Lets this window's pages call `fn` as `await kiv.api.name(...args)`.
   * Exposing a name again replaces its function.
   *
   * After every "page-loaded" (before its listeners run), and at once when a
   * page is loaded already, the page gets `window.kiv.api` with every
   * exposed name, and a `kiv-api-ready` event on `window`: a page script
   * waits for that event. An existing `window.kiv` object keeps its other
   * members.
   *
   * A page's call travels as JSON: `fn` gets the page's arguments decoded
   * (`undefined` becomes null) and runs outside every library call, where it
   * may call any method, `callJs` and the dialogs included. Calls start in
   * the order they arrived. What `fn` returns (or its promise resolves to)
   * resolves the page's promise; an error it throws (or rejects with)
   * rejects it with an `Error` of the same `name` and `message`. The answer
   * reaches the page as data, never as code. When the page is replaced, or
   * the window closes, before the answer is sent, the call is dropped
   * without error.
   *
   * Only the window's own pages may call: those it showed with `setHtml`,
   * those of the origins of the URLs it loaded with `setUrl` (a link to
   * another page of such an origin keeps the functions), and the origins
   * given to `allowOrigins` or {@link Window.allowOrigin}. A page of any
   * other origin, reached by a link or a redirect, gets no `window.kiv.api`,
   * and every call message it sends is refused without running `fn` (a
   * promise it has rejects with a `SecurityError`; the window emits
   * "refused"). Before each call runs, the package asks the window's current
   * document, in a call whose answer no page script can give in its place,
   * for its origin and its id: a message made up by a page, or left over
   * from a page replaced since, runs nothing.
   *
   * ```js
   * win.expose("add", (a, b) => a + b);
   * win.expose("readNote", async (name) => fs.promises.readFile(path.join(dir, name), "utf8"));
   * win.setHtml(`<script>addEventListener("kiv-api-ready", async () => {
   *   document.title = await kiv.api.add(2, 3);                  // "5"
   * });</script>`);
   * ```
   *
   * @param name an ASCII JavaScript identifier, at most 200 characters, not `__proto__`.
   * @throws {RangeError} the name is not such an identifier.
   * @throws {TypeError} `fn` is not a function.
   */
  expose(name: string, fn: (...args: any[]) => unknown): this;

  /** Takes the function exposed as `name` away from the page (at once when a page is loaded); later calls of it reject. */
  unexpose(name: string): this;

  /**
   * Lets pages of `origin` (`"https://example.org"`, or a URL standing for
   * its origin) call the exposed functions too, from the next page they load
   * (at once when a page is loaded). `"*"` allows every origin: any page the
   * window ever shows, reached by any link, may then call them. That is
   * dangerous; allow the origins you serve.
   *
   * @throws {RangeError} not an origin (no `scheme://host`).
   */
  allowOrigin(origin: string): this;

  /**
   * Moves the window's frame to (x, y); a "move" event follows.
   *
   * @throws {ResultError} `move_window_failed`: the window is closed.
   */
  move(x: number, y: number): void;

  /**
   * Resizes the window; a "resize" event follows.
   *
   * @throws {ResultError} `resize_window_failed`: the window is closed.
   */
  resize(width: number, height: number): void;

  /** Shows the window. @throws {ResultError} `window_action_failed`: the window is closed. */
  show(): void;

  /** Hides the window. @throws {ResultError} `window_action_failed`: the window is closed. */
  hide(): void;

  /** Shows and raises the window and asks for it to become active. @throws {ResultError} `window_action_failed`: the window is closed. */
  present(): void;

  /** Maximises the window. @throws {ResultError} `window_action_failed`: the window is closed. */
  maximize(): void;

  /** Minimises the window. @throws {ResultError} `window_action_failed`: the window is closed. */
  minimize(): void;

  /** Shows the window neither minimised nor maximised. @throws {ResultError} `window_action_failed`: the window is closed. */
  showNormal(): void;

  /** The window's state. @throws {ResultError} `invalid` (-1): the window is closed. */
  state(): WindowState;

  /** Sets the window's title (cut to 65536 UTF-16 code units). @throws {ResultError} `window_action_failed`: the window is closed. */
  setTitle(title: string): void;

  /** Opens a developer-tools window for the page. @throws {ResultError} `eval_js_failed`: the window is closed. */
  openDevtools(): void;

  /**
   * Sets the window's certificate token: a TLS certificate error is
   * overridden when a self-signed certificate of the server's chain names
   * the token as the first organisational unit of its issuer. "" (the
   * default) admits nothing. The engine remembers an admitted certificate
   * for its host, in every window, for the rest of the process.
   *
   * @throws {ResultError} `window_action_failed`: the window is closed.
   */
  setCertificateToken(token: string): void;

  /**
   * Closes the window (its child windows first, each with its own
   * "closed"). Outside handlers the "closed" event is emitted before this
   * returns; inside a handler, right after the handler. Closing a closed
   * window does nothing.
   */
  close(): void;

  /**
   * Asks the user for an existing directory in a dialog modal to this
   * window. Resolves to its path, or to null when the user cancels.
   * Node's loop waits while the dialog is open; the window's events that
   * arrive meanwhile are emitted, in order, once it has closed.
   *
   * ```js
   * const dir = await win.chooseDirectory({ title: "Export to", directory: os.homedir() });
   * ```
   *
   * Rejects with {@link ResultError} `dialog_failed` when the window is closed.
   */
  chooseDirectory(options?: DirectoryDialogOptions): Promise<string | null>;

  /**
   * Asks the user for an existing file to open, like `chooseDirectory`.
   *
   * ```js
   * const file = await win.openFile({ title: "Open", filter: "Text (*.txt);;All files (*)" });
   * if (file !== null) text = await fs.promises.readFile(file, "utf8");
   * ```
   */
  openFile(options?: FileDialogOptions): Promise<string | null>;

  /** Asks the user for a file name to save under (it need not exist; nothing is written), like `openFile`. */
  saveFile(options?: FileDialogOptions): Promise<string | null>;
}

/** Base of every error of this package. */
export class KivWebviewError extends Error {}

/** The library could not be loaded. */
export class LibraryNotFoundError extends KivWebviewError {}

/** A C function failed, or the window is closed. */
export class ResultError extends KivWebviewError {
  /** The `result_t` value, e.g. 2 (or -1 for a window state). */
  readonly code: number;
  /** Its C name, e.g. `"set_url_failed"`. */
  readonly codeName: string;
  /** The C function, e.g. `"kiv_webview_set_url"`. */
  readonly function: string;
  /** The window's handle. */
  readonly handle: number;
}

/** A JavaScript call failed (code 3, `eval_js_failed`). */
export class JavaScriptError extends ResultError {
  /** The page's message when the script threw; otherwise why the call could not finish. */
  readonly message: string;
  /** The "exn" member of the answer, or null when it had none (the script did not compile, or the window is closed). */
  readonly exn: string | null;
  /** The library's JSON text, unchanged, e.g. `{"exn":"boom","oke":false,"result":false}`. */
  readonly rawJson: string;
  /** That text decoded. */
  readonly data: any;
}
