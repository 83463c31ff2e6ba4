/* kivwebview_qt: browser windows behind a plain C interface.
 *
 * A host opens top-level browser windows, named by small positive integer
 * handles, loads URLs or HTML into them, runs JavaScript with or without a
 * result, moves, resizes, shows, hides and closes them, and receives every
 * window and page event as compact JSON through one callback per window.
 *
 * Versions with the same major number are ABI compatible: the library's
 * SONAME carries the major version.
 *
 * ---------------------------------------------------------------------------
 * The event pump
 * ---------------------------------------------------------------------------
 * The library owns no thread. The first call of any function (except the two
 * free functions) creates the library's central object and the toolkit's
 * application object on the calling thread; from then on every call must be
 * made on that same thread. The toolkit's event loop runs only while the host
 * lends it that thread: inside the functions marked "Pumps" below and inside
 * kiv_webview_process_events, which the host calls periodically to keep its
 * windows alive. The loop runs in slices of at most 2 ms.
 *
 * A function marked "Pumps" posts a request and runs the event loop until the
 * request is done; the host's callbacks may run before it returns.
 *
 * A page's own modal dialogs (JavaScript alert, confirm, prompt, a file
 * chooser of <input type=file>, beforeunload, HTTP authentication, a
 * permission question, the save dialog of a download or of printing) and
 * the library's file dialogs stay open until the user answers them: the call
 * that is pumping the loop when such a dialog opens returns only after it
 * closed. The page's dialogs are modal to their window only, and titled by
 * the page's title, else its host name, else "Alert", "Confirm", "Prompt",
 * "Login" or "Permission" (never by the page's URL), cut like window titles.
 * While one is open the window's close button still works: the host gets
 * "can-close?", and kiv_webview_close (also from that callback) ends the
 * dialog as cancelled and closes the window. From a document's second
 * alert, confirm or prompt on, the dialog offers "Prevent this page from
 * creating more dialogs"; once the user ticks it, that document's further
 * alerts return at once, confirms false and prompts null.
 *
 * Where the library makes the toolkit's application object, nothing of the
 * library, the toolkit or the web engine is written to the host's standard
 * output or standard error: the toolkit's messages (and the pages' console
 * messages) are dropped and the engine's log is off. A page's console stays
 * visible in the developer tools. A host that made its own application
 * object keeps its own message handling.
 *
 * Before it creates the toolkit's application object (when the host has not
 * made one), the library sets QT_WIDGETS_RHI=1 in the process environment
 * unless the host set it: every window then composes through the GPU path
 * from the start. Otherwise Qt recreates a window's native window when its
 * web view first renders, and the new one forgets the window's modality and
 * maximised state.
 *
 * ---------------------------------------------------------------------------
 * Exit
 * ---------------------------------------------------------------------------
 * A host may end its process at any time with windows open: return from
 * main, call exit() (also from inside a callback), or end its interpreter
 * (a Python script that simply ends, or calls sys.exit). The process ends
 * with the host's own status. On the way, before any of the toolkit's
 * globals are destroyed, the library closes every window and shuts the web
 * engine down (its threads and its child processes). It calls no callback
 * while doing so: the host's runtime may already be gone. From then on every
 * function returns its failure value and does nothing.
 * This happens when the library's thread calls exit() or returns from main,
 * and also when the library's thread itself ends. A process ended by
 * another thread while the library's thread still runs gets no such
 * shutdown: end the library's thread's work first.
 *
 * ---------------------------------------------------------------------------
 * Callbacks
 * ---------------------------------------------------------------------------
 * Each window has one callback, given to kiv_webview_create. It receives every
 * event of that window, and of nothing else, as a kiv_event_t that the host
 * then owns and gives back with kiv_webview_destroy_event (at once or later).
 * It is called on the host's thread, nested inside whichever library call is
 * pumping the loop at the time. A NULL callback is allowed: the window's
 * events are then dropped.
 *
 * From inside a callback a host should call only kiv_webview_valid, the two
 * free functions and kiv_webview_process_events (which then only sleeps: no
 * further slice can start while one is running). The other functions are
 * still safe to call there, and behave as follows, because no new slice of
 * the loop can start from inside one:
 *  - kiv_webview_call_js returns at once with status eval_js_failed and the
 *    text {"exn":"...","oke":false,"result":false} saying why;
 *  - kiv_webview_close takes the handle out of use at once
 *    (kiv_webview_valid is false when it returns); the window closes, and
 *    its "closed" event arrives, as soon as the callback has returned;
 *  - every other function does its work in place and returns its usual
 *    result (the dialog functions run their dialog in place; every window
 *    and page event keeps arriving while it is open).
 *
 * ---------------------------------------------------------------------------
 * Threads
 * ---------------------------------------------------------------------------
 * A call made from a thread other than the one that made the first call does
 * not touch the toolkit: it returns the function's failure value at once
 * (kiv_webview_create returns 0, which is never a handle; kiv_webview_valid
 * false; kiv_webview_window_state -1; kiv_webview_init, kiv_webview_close,
 * kiv_webview_set_ou_token and kiv_webview_process_events do nothing).
 * kiv_webview_call_js returns eval_js_failed with the text
 *   {"exn":"called from a thread other than the library's thread","oke":false,"result":false}
 * and the dialog functions return dialog_failed with the text
 *   {"error":"called from a thread other than the library's thread"}
 * The two free functions may be called from any thread.
 *
 * ---------------------------------------------------------------------------
 * Texts and records
 * ---------------------------------------------------------------------------
 * Every text parameter is UTF-8, NUL-terminated, and stays owned by the
 * caller: the library copies it on entry. NULL counts as the empty string.
 * Bytes that are not valid UTF-8 are read as U+FFFD replacement characters.
 *
 * Records (kiv_event_t, kiv_js_result_t) and their texts are allocated by the
 * library with malloc; the host owns each one it receives and gives
 * it back exactly once. Both records have the same layout, so either free
 * function frees either kind.
 *
 * ---------------------------------------------------------------------------
 * Failures inside the library
 * ---------------------------------------------------------------------------
 * No C++ exception leaves a function of this interface. When memory runs out,
 * or anything else inside fails unexpectedly, the function returns its
 * failure value, as for a handle that names no open window. The functions
 * that return a record then return a shared static one, {failure code,
 * "false"}: their records are never NULL, and the free functions accept that
 * record and leave it alone. An event whose record cannot be allocated is
 * dropped. An exception thrown out of a callback (by a C++ host) is caught
 * there and ends that callback only.
 *
 * ---------------------------------------------------------------------------
 * Events
 * ---------------------------------------------------------------------------
 * Every event text is one compact JSON object (no whitespace, members in
 * ascending key order, non-ASCII as raw UTF-8) with the member "event":
 *   {"event":"page-loaded","oke":true|false}   a page finished loading
 *   {"event":"js-evt","js-evt":{...}}          one item the page sent with
 *                                              window.kiv_send_event(obj);
 *                                              {} when it was not an object
 *   {"event":"move","x":X,"y":Y}               500 ms after the last move
 *   {"event":"resize","h":H,"w":W}             500 ms after the last resize
 *   {"event":"show"}                           the window was shown
 *   {"event":"hide"}                           the window was hidden
 *   {"event":"can-close?"}                     the user asked to close the
 *                                              window; it stays open until
 *                                              the host calls kiv_webview_close
 *   {"event":"closed"}                         the window closed; the last
 *                                              event of its handle
 *
 * Events added to the original catalogue (a host that ignores event names it
 * does not know sees no other change):
 *   {"event":"renderer-gone","exit-code":N,"reason":R}
 *                                              the page's renderer process
 *                                              ended (R: "crashed", "killed",
 *                                              "abnormal" or "normal"; N its
 *                                              exit code). The page is blank
 *                                              and answers nothing until the
 *                                              window loads a page again
 *                                              (kiv_webview_set_url or
 *                                              kiv_webview_set_html): it is
 *                                              not polled meanwhile, and
 *                                              kiv_webview_call_js fails at
 *                                              once with eval_js_failed.
 *   {"event":"new-window","url":U}             after a click or key of the
 *                                              user's, the page asked for a new
 *                                              window (a link with a target,
 *                                              window.open); no window opens.
 *                                              An http, https or mailto U is
 *                                              handed to the desktop's browser
 *                                              or mail program (an http(s) U
 *                                              is shown in this window when
 *                                              the desktop has no browser);
 *                                              anything else (about:blank, a
 *                                              blob or data URL) is left to
 *                                              the host, which may open a
 *                                              window of its own with
 *                                              kiv_webview_create and
 *                                              kiv_webview_set_url.
 *   {"event":"download-started","path":P,"url":U}
 *                                              the page started a download;
 *                                              the user chose to save it as P
 *                                              in the library's save dialog,
 *                                              modal to the window (cancelled,
 *                                              nothing is saved or reported)
 *   {"event":"download-finished","oke":B,"path":P,"url":U}
 *                                              the download ended: saved
 *                                              whole (B true) or failed or
 *                                              was cancelled (B false)
 *   {"event":"url-changed","url":U}            the main frame shows a new
 *                                              address: a load (before its
 *                                              page-loaded; a load the host
 *                                              starts is reported at once,
 *                                              then again where a redirect
 *                                              takes it), a followed link,
 *                                              history.pushState or
 *                                              replaceState, a fragment.
 *                                              A document shown with
 *                                              kiv_webview_set_html is
 *                                              reported as
 *                                              "kiv-html:HANDLE/N" (N counts
 *                                              the process's set_html calls;
 *                                              a fragment follows as #F),
 *                                              never as the text itself
 *   {"event":"popup-blocked","url":U}          the page asked for a new
 *                                              window (window.open, a link
 *                                              with a target) without a
 *                                              click or key of the user's:
 *                                              nothing opened or launched,
 *                                              and no "new-window" follows
 *   {"event":"download-blocked","url":U}       the page started a download
 *                                              while its previous save
 *                                              dialog had no click or key of
 *                                              the user's since: refused, no
 *                                              dialog opened
 *   {"event":"fullscreen","on":B}              the page made its window cover
 *                                              the whole screen (B true,
 *                                              requestFullscreen after a user
 *                                              gesture) or left it (B false:
 *                                              Esc, document.exitFullscreen,
 *                                              a new page); the window then
 *                                              has its earlier geometry and
 *                                              state again
 *   {"event":"print-finished","oke":B,"path":P}
 *                                              window.print(): the user chose
 *                                              P in the "Print to PDF" save
 *                                              dialog, and the page was
 *                                              written there (B true) or
 *                                              could not be (B false).
 *                                              Cancelled, nothing is written
 *                                              or reported. After one dialog
 *                                              the next needs a click or key
 *                                              of the user's in between
 *   {"event":"notification","body":T,"origin":O,"title":T}
 *                                              a page of origin O that the
 *                                              user allowed to show
 *                                              notifications showed one; the
 *                                              host decides how to show it.
 *                                              It goes to the active window
 *                                              of that origin, else to the
 *                                              lowest handle showing it
 *
 * ---------------------------------------------------------------------------
 * What a page may ask of its window
 * ---------------------------------------------------------------------------
 * Permissions: a page's request for the location, notifications, the camera,
 * the microphone, the screen or the mouse pointer is always answered. The
 * user is asked in a dialog modal to the window, "HOST[:PORT] wants to know
 * your location" (or "... to show notifications", "... to use your camera",
 * and so on), with Allow and Block; Escape and closing the dialog block. The
 * answer is kept for that origin and feature until the process ends, in
 * every window. A block fails in the page at once; a granted feature that
 * this machine lacks (no positioning service, no camera) gets the engine's
 * error (for the location, POSITION_UNAVAILABLE within about 10 s when no
 * position comes).
 * Clipboard: a page may write it (navigator.clipboard.writeText,
 * document.execCommand('copy')) after a click or key of the user's; reading
 * it is refused at once.
 * Full screen: requestFullscreen after a user gesture covers the whole screen
 * (see "fullscreen"); kiv_webview_window_state reports such a window as
 * maximized or maximized_active.
 * window.close() asks the host, as the close button does: "can-close?".
 * HTTP and proxy authentication open the library's login dialog ("Login"),
 * which shows the host and the realm: OK retries the request with what the
 * user typed (sent nowhere else), Cancel ends the load with the engine's
 * outcome.
 * New windows and downloads: see "new-window", "popup-blocked" and
 * "download-blocked".
 * Title: until the host calls kiv_webview_set_title, a window shows its
 * page's title, follows its changes, and shows the page's host name, else
 * its local file's name, else "Untitled" when the page has none. Once the
 * host sets a title, the host's title stays.
 *
 * Every document has the global function window.kiv_send_event(obj) from
 * its first line on (the library defines it again each time a page finishes
 * loading, keeping what was queued); the library collects what pages send
 * every 5 ms while the loop runs, and delivers it in order, each item once.
 */
#ifndef KIVWEBVIEW_QT_H
#define KIVWEBVIEW_QT_H

#include "kivwebview_qt_export.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/** An event for the host: the window's handle and the event's JSON text. */
typedef struct kiv_event_t
{
    int wv; /**< handle of the window the event concerns */
    char *event; /**< compact JSON text, UTF-8, NUL-terminated */
} kiv_event_t;

/** Status codes. The library produces only the values listed here. */
typedef enum result_t {
    oke = 0,
    set_html_failed = 1,
    set_url_failed = 2,
    eval_js_failed = 3,
    move_window_failed = 12,
    resize_window_failed = 13,
    dialog_failed = 14,
    window_action_failed = 17
} result_t;

/** The result of kiv_webview_call_js and of the three dialog functions. */
typedef struct kiv_js_result_t
{
    result_t result; /**< oke, or the function's failure code */
    char *value; /**< JSON text of the outcome, or "false" when the
                      handle names no open window; UTF-8, NUL-terminated */
} kiv_js_result_t;

/** A window's state: a base state plus 16 when the window is active. */
typedef enum window_state_t {
    invalid = -1, /**< no open window with that handle */
    normal = 0, /**< visible, not active */
    minimized = 1, /**< minimised (never marked active) */
    maximized = 2, /**< maximised, not active */
    hidden = 3, /**< hidden */
    normal_active = 16, /**< visible and active */
    maximized_active = 18 /**< maximised and active */
} window_state_t;

/** The callback a window delivers its events to. It owns each record. */
typedef void (*kiv_event_callback_t)(kiv_event_t *event);

/* On Windows builds, and on builds configured with
 * KIVWEBVIEW_WINDOWS_FAILURE_CODES, kiv_webview_set_html fails with 2
 * (set_url_failed) instead of 1 and the window actions fail with 13
 * (resize_window_failed) instead of 17. */

/**
 * Creates the library's central object and the toolkit's application object
 * on the calling thread, and runs one slice of the event loop. Optional: every
 * other function does the same on its first call. A second call does nothing
 * and runs no slice.
 */
KIVWEBVIEW_EXPORT void kiv_webview_init(void);

/**
 * Opens a new browser window and shows it.
 * @param parent  handle of an open window to be the new window's parent: the
 *                new window is then a window-modal dialog over it and is
 *                closed (with its own "closed" event) before its parent
 *                closes. 0, or any handle that names no open window, gives an
 *                ordinary top-level window.
 * @param callback receives every event of the new window; may be NULL.
 * @return the new handle: 1 for the first window, one more for each further
 *         one, never reused. Never fails on the library's thread (0 from
 *         another thread). The callback has received the window's
 *         {"event":"show"} before this returns.
 * Returns once the window system has placed and mapped the window (waiting
 * at most 5 seconds), so that a kiv_webview_move or kiv_webview_resize made
 * right after it is not undone by the window manager's own placement. From
 * inside a callback it returns at once; the window is placed once the
 * callback has returned.
 * Pumps.
 */
KIVWEBVIEW_EXPORT int kiv_webview_create(int parent, kiv_event_callback_t callback);

/**
 * Closes window @p wv: its child windows close first (grandchildren before
 * children, and also children opened meanwhile by a callback), each with its
 * own "closed"; then the window sends {"event":"closed"} (and no "hide") and
 * goes, with its developer-tools windows. kiv_webview_valid(wv) is false when this returns
 * and no later call reaches the window. A handle that names no open window
 * (closed, never issued) is ignored. A JavaScript call still waiting for this
 * window's page ends with eval_js_failed.
 * Pumps.
 */
KIVWEBVIEW_EXPORT void kiv_webview_close(int wv);

/**
 * Loads @p url (parsed leniently) in window @p wv. The host learns the outcome
 * from the window's "page-loaded" event.
 * @return oke, or set_url_failed when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_set_url(int wv, const char *url);

/**
 * Shows the HTML text @p html in window @p wv, with no base URL.
 * Any size that fits in memory shows. A text of at most 64 KiB (UTF-8) is
 * shown as a data: document, as the web engine's own setHtml does. A larger
 * text is served to the window from memory instead, under a URL of the
 * library's own scheme (kiv-html:HANDLE/N); the window keeps the text until
 * it shows another page or closes, so that a reload finds it. Such a page is
 * not drawn while it loads: from the moment its text is requested (by this
 * call, a reload or the history) until its load ends, the page counts as
 * hidden to the engine (document.visibilityState is "hidden" meanwhile, and
 * none of it is drawn), and it is drawn whole once it has loaded. Loading
 * it piece by piece on screen would take a multiple of the time.
 * Neither kind of page may load local files (file: URLs), and neither is a
 * secure context.
 * @return oke, or set_html_failed when @p wv names no open window, or when
 *         the text is larger than 64 KiB, the library could not register its
 *         scheme (the host started the web engine itself before its first
 *         call of this library), and the text's percent-encoded data URL is
 *         longer than the engine's 2 MiB limit (every byte but the letters,
 *         digits and - . _ ~ takes three characters there).
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_set_html(int wv, const char *html);

/**
 * Runs the JavaScript @p js in the page of window @p wv, in the page's own
 * world, and asks for no result.
 * @return oke once the script has been handed to the page, or eval_js_failed
 *         when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_run_js(int wv, const char *js);

/**
 * Runs @p js in the page of window @p wv as the body of a function and waits
 * for the page's answer. A value reaches the result only through `return`.
 *
 * The web engine converts the returned value, and some values do not come
 * back as they are (status oke all the same):
 *   - a Promise, a DOM node, a Map or a Set:  "result":{}
 *   - an object with a BigInt, a function or undefined as a member value:
 *     that member is left out ({a: 1n} gives {})
 *   - undefined, a function, a BigInt, a Symbol, NaN or Infinity: the
 *     member "result" is missing: {"exn":false,"oke":true}
 *   - a cyclic object: the member that closes the cycle is null
 *   - an array's undefined or function items: null
 *   - a Date: its time in seconds since 1970
 *   - a lone UTF-16 surrogate in a string: U+FFFD replacement characters.
 * To get such a value, await it in the page and send it with
 * window.kiv_send_event (the events' path keeps strings exact), or return
 * JSON.stringify(...) of what is needed and parse the string.
 *
 * @return a record that is never NULL:
 *   - returned:  oke, {"exn":false,"oke":true,"result":VALUE};
 *   - threw:     eval_js_failed, {"exn":MESSAGE,"oke":false,"result":false};
 *   - did not compile: eval_js_failed, {"oke":null};
 *   - the window closed, its page's renderer process ended, or the page
 *     was replaced by another one (a new URL or HTML text) before it
 *     answered: eval_js_failed, {"exn":REASON,"oke":false,"result":false};
 *   - @p wv names no open window: eval_js_failed, "false".
 * Give it back with kiv_webview_destroy_js_result.
 * Pumps until the page answers.
 */
KIVWEBVIEW_EXPORT kiv_js_result_t *kiv_webview_call_js(int wv, const char *js);

/**
 * Opens a new 800x600 developer-tools window that inspects the page of
 * window @p wv. Each call opens another one; the newest inspects the page.
 * @return oke, or eval_js_failed when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_open_devtools(int wv);

/**
 * Runs the event loop for @p ms milliseconds of wall-clock time, in 2 ms
 * slices with a 0.5 ms sleep between them; window and page events reach
 * their callbacks meanwhile. 0 or less returns at once. Called from inside a
 * callback it runs no slice and only sleeps for @p ms.
 */
KIVWEBVIEW_EXPORT void kiv_webview_process_events(int ms);

/**
 * Frees an event record and its text. NULL is a harmless no-op. Any thread.
 * Also frees a kiv_js_result_t (same layout).
 * @return 0, always.
 */
KIVWEBVIEW_EXPORT int kiv_webview_destroy_event(kiv_event_t *event);

/**
 * Frees a result record and its text. NULL is a harmless no-op. Any thread.
 * Also frees a kiv_event_t (same layout).
 * @return 0, always.
 */
KIVWEBVIEW_EXPORT int kiv_webview_destroy_js_result(kiv_js_result_t *result);

/**
 * Moves window @p wv so that its frame's top-left corner is at (@p x, @p y).
 * The window's "move" event reports where it ended, about 500 ms later (none
 * when the position did not change).
 * @return oke, or move_window_failed when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_move(int wv, int x, int y);

/**
 * Resizes window @p wv to @p width by @p height. The window's "resize" event
 * reports the new size about 500 ms later (none when the size did not change).
 * @return oke, or resize_window_failed when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_resize(int wv, int width, int height);

/**
 * @return true when @p wv names an open window. Never pumps; safe from
 *         inside a callback.
 */
KIVWEBVIEW_EXPORT bool kiv_webview_valid(int wv);

/**
 * Hides window @p wv ("hide" event).
 * @return oke, or window_action_failed when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_hide(int wv);

/** Shows window @p wv ("show" event). Results as kiv_webview_hide. Pumps. */
KIVWEBVIEW_EXPORT result_t kiv_webview_show(int wv);

/**
 * Shows window @p wv, raises it and asks for it to become the active window.
 * Results as kiv_webview_hide. Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_present(int wv);

/** Maximises window @p wv. Results as kiv_webview_hide. Pumps. */
KIVWEBVIEW_EXPORT result_t kiv_webview_maximize(int wv);

/**
 * Minimises window @p wv. The window manager carries it out after the call
 * has returned; a kiv_webview_show_normal or kiv_webview_maximize asked
 * before it did still wins, as the host's last request.
 * Results as kiv_webview_hide. Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_minimize(int wv);

/**
 * Shows window @p wv neither minimised nor maximised.
 * Results as kiv_webview_hide. Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_show_normal(int wv);

/**
 * @return the state of window @p wv: hidden (3) when hidden; minimized (1);
 *         maximized (2) or maximized_active (18), also for a window
 *         that a page put on the whole screen; normal (0) or
 *         normal_active (16); invalid (-1) when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT window_state_t kiv_webview_window_state(int wv);

/**
 * Sets the title of window @p wv. A title longer than 65536 UTF-16 code units
 * is cut to that length (the window system cannot carry much longer ones).
 * From then on the window keeps the host's title instead of its page's.
 * @return oke, or window_action_failed when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT result_t kiv_webview_set_title(int wv, const char *title);

/**
 * Asks the user for an existing directory in a dialog that is modal to
 * window @p wv, and waits until the user accepts or cancels it.
 * @param title dialog title ("" lets the toolkit choose); one longer than
 *              65536 UTF-16 code units is cut to that length, as window
 *              titles are
 * @param dir   start directory ("" lets the toolkit choose)
 * @return a record that is never NULL:
 *   - chosen:    oke, {"dir":PATH,"state":"choosen"};
 *   - cancelled: oke, {"dir":DIR,"state":"canceled"} with DIR as passed;
 *   - @p wv names no open window: dialog_failed, "false" (nothing shown).
 * Give it back with kiv_webview_destroy_js_result.
 * Pumps: window and page events keep reaching their callbacks while the
 * dialog is open. When a callback closes window @p wv meanwhile, the dialog
 * goes with the window and the result is the cancelled one.
 */
KIVWEBVIEW_EXPORT kiv_js_result_t *kiv_webview_choose_dir(
    int wv, const char *title, const char *dir);

/**
 * Asks the user for an existing file to open, like kiv_webview_choose_dir.
 * @param filter name filters, e.g. "Images (*.png *.jpg);;Text (*.txt)";
 *               "" shows every file
 * @return a record that is never NULL:
 *   - chosen:    oke, {"file":PATH,"state":"choosen","used-filter":ENTRY},
 *                ENTRY the filter entry that was selected;
 *   - cancelled: oke, {"file":"","state":"canceled","used-filter":""};
 *   - @p wv names no open window: dialog_failed, "false" (nothing shown).
 * Pumps.
 */
KIVWEBVIEW_EXPORT kiv_js_result_t *kiv_webview_file_open(
    int wv, const char *title, const char *dir, const char *filter);

/**
 * Asks the user for a file name to save under; the name need not exist yet
 * (an existing one is confirmed by the dialog). Results as
 * kiv_webview_file_open. Pumps.
 */
KIVWEBVIEW_EXPORT kiv_js_result_t *kiv_webview_file_save(
    int wv, const char *title, const char *dir, const char *filter);

/**
 * Sets the certificate token of window @p wv: a TLS certificate error in
 * this window is overridden when a self-signed certificate of the server's
 * chain names @p token, exactly and case-sensitively, as the first
 * organisational-unit (OU) name of its issuer, in the order the certificate
 * lists them. Every other certificate error still fails; the empty token
 * (the default) admits nothing. The kind of error and the host name are not
 * examined. The web engine remembers an accepted certificate for its host for
 * the rest of the process, in every window: once admitted, a server loads in
 * any window, whatever that window's token.
 * Does nothing when @p wv names no open window.
 * Pumps.
 */
KIVWEBVIEW_EXPORT void kiv_webview_set_ou_token(int wv, const char *token);

#ifdef __cplusplus
}
#endif

#endif /* KIVWEBVIEW_QT_H */
