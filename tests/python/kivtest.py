"""Helpers for the tests of the Python package: run inside each test's own
process, on its own display."""

import logging
import os
import subprocess
import threading
import time
from typing import Any, Callable, List, Optional

import kivwebview

TIMEOUT = 60  # seconds: generous, to catch hangs only


class Recorder:
    """Records the events of a window, in order."""

    def __init__(self) -> None:
        self.events: List[kivwebview.Event] = []

    def __call__(self, event: kivwebview.Event) -> None:
        self.events.append(event)

    def names(self) -> List[str]:
        return [e.name for e in self.events]

    def named(self, name: str) -> List[kivwebview.Event]:
        return [e for e in self.events if e.name == name]

    def wait_for(self, name: str, count: int = 1, timeout: float = TIMEOUT) -> List[Any]:
        assert kivwebview.run_until(lambda: len(self.named(name)) >= count, timeout), \
            f"no {name!r} event (#{count}) within {timeout} s; got {self.names()}"
        return self.named(name)


class Captured(logging.Handler):
    """Keeps the records logged on the package's logger."""

    def __init__(self) -> None:
        super().__init__(logging.DEBUG)
        self.records: List[logging.LogRecord] = []

    def emit(self, record: logging.LogRecord) -> None:
        self.records.append(record)

    def warnings(self) -> List[str]:
        return [r.getMessage() for r in self.records if r.levelno >= logging.WARNING]


def capture_log() -> Captured:
    """Starts keeping every record of the ``kivwebview`` logger."""
    captured = Captured()
    logger = logging.getLogger("kivwebview")
    logger.addHandler(captured)
    logger.setLevel(logging.DEBUG)
    return captured


def window_with_html(html: str, **kwargs: Any):
    """A window showing ``html``, its page loaded; returns (window, recorder)."""
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder, **kwargs)
    window.set_html(html)
    loaded = recorder.wait_for("page-loaded")
    assert loaded[-1].data["oke"] is True
    return window, recorder


def exact_name(title: str) -> str:
    """An extended regular expression (as xdotool takes) matching ``title`` only."""
    return "^" + "".join("\\" + c if c in ".[]()*+?{}^$|\\" else c for c in title) + "$"


def visible_windows(title: str) -> List[str]:
    """The ids of the visible windows titled ``title``.

    xdotool walks the whole window tree to find them, and gives up with an
    X error (BadWindow, no output) when a window goes away during the walk,
    as windows do while a dialog closes. Such a walk says nothing about the
    windows asked for, so the tree is walked again (for up to TIMEOUT
    seconds of windows coming and going)."""
    deadline = time.monotonic() + TIMEOUT
    while True:
        done = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", exact_name(title)],
                              capture_output=True, text=True)
        if "X Error" not in done.stderr or time.monotonic() >= deadline:
            return done.stdout.split()


def find_window(title: str, timeout: float = TIMEOUT) -> Optional[str]:
    """The first visible window titled ``title``, once there is one; None
    when none has come within ``timeout`` seconds. (xdotool's own --sync
    wait ends at the first X error of a walk, long before its time.)"""
    deadline = time.monotonic() + timeout
    while True:
        ids = visible_windows(title)
        if ids or time.monotonic() >= deadline:
            return ids[0] if ids else None
        time.sleep(0.1)


class User(threading.Thread):
    """A user at the display: waits for the window titled ``title``, keeps it
    open ``hold`` seconds, activates it and does each step (an xdotool
    command line as a list, e.g. ["key", "Escape"]), then waits for it to go;
    a dialog still open then is cancelled with Escape (``cancelled``). Runs
    while the test's thread is blocked in a library call."""

    def __init__(self, title: str, steps: List[List[str]], hold: float = 1.0) -> None:
        super().__init__(daemon=True)
        self.title = title
        self.steps = steps
        self.hold = hold
        self.found = False
        self.gone = False
        self.cancelled = False  # the answer left the dialog open: Escape closed it
        self.start()

    def run(self) -> None:
        window = find_window(self.title)
        if window is None:
            return
        self.found = True
        time.sleep(self.hold)
        subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True)
        for step in self.steps:
            subprocess.run(["xdotool"] + step, capture_output=True)
            time.sleep(0.3)  # let the dialog take each key before the next
        for _ in range(100):
            if window not in visible_windows(self.title):
                self.gone = True
                return
            time.sleep(0.1)
        # A dialog the answer did not close (a key that went astray) is
        # cancelled, so that the test fails on its checks instead of
        # waiting for ever in the call that shows the dialog.
        for _ in range(10):
            left = visible_windows(self.title)
            if not left:
                return
            self.cancelled = True
            subprocess.run(["timeout", "10", "xdotool", "windowactivate", "--sync", left[0],
                            "key", "Escape"], capture_output=True)
            time.sleep(0.5)

    def finish(self) -> None:
        self.join(TIMEOUT)


def in_thread(function: Callable[[], Any]) -> threading.Thread:
    """Runs ``function`` on another thread, started at once."""
    thread = threading.Thread(target=function, daemon=True)
    thread.start()
    return thread


def managed_windows() -> List[int]:
    """The windows the window manager manages (its client list)."""
    out = subprocess.run(["wmctrl", "-l"], capture_output=True, text=True).stdout
    return [int(line.split()[0], 16) for line in out.splitlines() if line.strip()]


def request_close(title: str, timeout: float = TIMEOUT) -> bool:
    """Asks the window manager to close the window titled ``title``, as its
    close button would. The request goes out once the window manager has
    taken the window in: before that it would ignore it."""
    window = find_window(title)
    if window is None:
        return False
    deadline = time.monotonic() + timeout
    while int(window) not in managed_windows():
        if time.monotonic() >= deadline:
            return False
        time.sleep(0.05)
    return subprocess.run(["wmctrl", "-i", "-c", window]).returncode == 0


def library_path() -> str:
    path = os.environ.get(kivwebview.ENV_VARIABLE)
    assert path, f"set {kivwebview.ENV_VARIABLE} to the built library"
    return path


class PageServer:
    """An HTTP server on loopback, on a thread of its own, serving the pages
    of :attr:`pages` (path -> HTML text, added to at any time) as UTF-8;
    anything else is 404. Stops with :meth:`close`."""

    def __init__(self, pages: Optional[dict] = None) -> None:
        import http.server

        owner = self
        self.pages = dict(pages or {})

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self) -> None:  # noqa: N802 - the base class's name
                body = owner.pages.get(self.path.split("?", 1)[0])
                if body is None:
                    self.send_error(404)
                    return
                data = body.encode("utf-8")
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args: Any) -> None:
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.origin = f"http://127.0.0.1:{self.server.server_address[1]}"
        self.thread = in_thread(self.server.serve_forever)

    def url(self, path: str = "/") -> str:
        return self.origin + path

    def close(self) -> None:
        self.server.shutdown()
        self.server.server_close()
