"""Browser windows from Python, over the C interface of ``kivwebview_qt``.

A program opens windows (:class:`Window`), loads pages into them, runs
JavaScript in them and receives their events (:class:`Event`) through
handlers. Pages call the program back through exposed functions
(:meth:`Window.expose`), and an asyncio program pumps the library with
:func:`run_async`. The package is pure Python (``ctypes``, standard library
only).

Example::

    import kivwebview

    clicked = []
    win = kivwebview.Window()
    win.on("js-evt", lambda event: clicked.append(event.payload))
    win.set_html('<button onclick="kiv_send_event({clicked: 1})">Click</button>')
    kivwebview.run_until(lambda: clicked)
    print(win.call_js("return 6 * 7"))  # 42
    win.close()

Finding the library
-------------------

The library is loaded on first use: from ``load_library(path)``'s path when
the program calls it first, else from the file named by the environment
variable ``KIVWEBVIEW_LIBRARY``, else from the system's library path
(``libkivwebview_qt.so.1``, found as the dynamic loader finds libraries:
``LD_LIBRARY_PATH``, the ``ld.so`` cache). From a build folder, point
``KIVWEBVIEW_LIBRARY`` at ``build/library/libkivwebview_qt.so``; from an
installed prefix that the loader does not search, at
``PREFIX/lib/.../libkivwebview_qt.so.1`` (or add its folder to
``LD_LIBRARY_PATH``).

The thread and the event loop
-----------------------------

- The library works on one thread: the one that made the first call. A call
  from any other thread raises :class:`WrongThreadError`. Other threads hand
  work to the library's thread with :func:`call_soon`, which is safe from any
  thread.
- The library's event loop runs only while the package lends it the thread:
  inside :func:`process_events`, :func:`run_until`, :func:`run_async` and
  inside each call (a call pumps until its request is done). Keep one of
  them running for windows to stay alive.
- :func:`run_until` is the plain loop. In an asyncio program await
  :func:`run_async` instead: it pumps in short steps and lets the other
  coroutines run between them.

Event handlers
--------------

Handlers run nested inside whichever call is pumping the loop. There:

- every method of :class:`Window` works, except those that wait for the
  page; :meth:`Window.close` takes the window out of use at once and closes
  it right after the handler, the dialogs run in place, and
  :func:`process_events` only sleeps;
- :meth:`Window.call_js`, ``call_js_raw``, ``call_js_async``,
  :func:`run_until` and :func:`run_async` raise :class:`ReentrancyError`:
  no slice of the loop can start there, so they could never finish. Defer
  them with :func:`call_soon`, which runs them right after the handler;
- an exception a handler raises is logged on the ``kivwebview`` logger and
  the loop goes on; ``KeyboardInterrupt`` and ``SystemExit`` reach the
  program from the pumping call once the library has returned.

Exposed functions, the functions given to :func:`call_soon` and the
program's own code after a pumping call returns run outside every handler,
where every call works.
"""

from ._asyncio import run_async
from ._native import ENV_VARIABLE, Library, ResultCode, WindowState, load_library
from ._runtime import call_soon, in_handler, init, process_events, run_until
from .errors import (JavaScriptError, KivWebviewError, LibraryNotFoundError, ReentrancyError,
                     ResultError, WrongThreadError)
from .window import (ALL_EVENTS, DirectoryChoice, Event, FileChoice, Handler, RawResult, Window,
                     open_windows)

__version__ = "1.1.0"

__all__ = [
    "ALL_EVENTS", "DirectoryChoice", "ENV_VARIABLE", "Event", "FileChoice", "Handler",
    "JavaScriptError", "KivWebviewError", "Library", "LibraryNotFoundError", "RawResult",
    "ReentrancyError", "ResultCode", "ResultError", "Window", "WindowState", "WrongThreadError",
    "call_soon", "in_handler", "init", "load_library", "open_windows", "process_events",
    "run_async", "run_until",
]
