"""Browser windows from Python, over the C interface of ``kivwebview_qt``.

The library is loaded on first use from ``load_library(path)``'s path, else
from the file named by ``$KIVWEBVIEW_LIBRARY``, else from the system's library
path. Its functions work only on the thread that made the first call, and
the event loop runs only while a call pumps it: call :func:`process_events`
or :func:`run_until` regularly to keep windows alive. Event handlers run
nested in those calls; from inside a handler, calls that wait for the event
loop raise :class:`ReentrancyError` (defer them with :func:`call_soon`).

Example::

    import kivwebview

    clicked = []
    win = kivwebview.Window()
    win.on("js-evt", lambda event: clicked.append(event.payload))
    win.set_html('<button onclick="kiv_send_event({clicked: 1})">Click</button>')
    kivwebview.run_until(lambda: clicked)
    print(win.call_js("return 6 * 7"))  # 42
    win.close()
"""

from ._native import ENV_VARIABLE, Library, ResultCode, WindowState, load_library
from ._runtime import call_soon, in_handler, init, process_events, run_until
from .errors import (JavaScriptError, KivWebviewError, LibraryNotFoundError, ReentrancyError,
                     ResultError, WrongThreadError)
from .window import (ALL_EVENTS, DirectoryChoice, Event, FileChoice, Handler, RawResult, Window,
                     open_windows)

__version__ = "1.0.0"

__all__ = [
    "ALL_EVENTS", "DirectoryChoice", "ENV_VARIABLE", "Event", "FileChoice", "Handler",
    "JavaScriptError", "KivWebviewError", "Library", "LibraryNotFoundError", "RawResult",
    "ReentrancyError", "ResultCode", "ResultError", "Window", "WindowState", "WrongThreadError",
    "call_soon", "in_handler", "init", "load_library", "open_windows", "process_events",
    "run_until",
]
