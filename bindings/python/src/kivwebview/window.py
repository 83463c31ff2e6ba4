"""Browser windows and their events."""

from __future__ import annotations

import json
import logging
from dataclasses import dataclass, field
from typing import Any, Callable, Dict, List, Mapping, Optional, Union

from ._native import EventCallback, Library, ResultCode, WindowState
from ._runtime import calling, state
from .errors import JavaScriptError, ResultError

log = logging.getLogger("kivwebview")

#: An event handler: called with each :class:`Event` it is registered for.
Handler = Callable[["Event"], Any]

#: Registering a handler under this name gives it every event of the window.
ALL_EVENTS = "*"

# Open windows by handle: keeps each window, and so its C callback, alive
# until its "closed" event, whether the host keeps a reference or not.
_open_windows: Dict[int, "Window"] = {}


@dataclass(frozen=True)
class Event:
    """One event of a window, decoded from the library's JSON text.

    Attributes:
        window: the window the event concerns.
        name: the event's name: "page-loaded", "js-evt", "move", "resize",
            "show", "hide", "can-close?" or "closed".
        data: the whole JSON object, e.g. ``{"event": "move", "x": 10, "y": 20}``.
        raw: the JSON text as the library delivered it.
    """

    window: "Window"
    name: str
    data: Dict[str, Any]
    raw: str

    @property
    def handle(self) -> int:
        """The window's handle."""
        return self.window.handle

    @property
    def payload(self) -> Any:
        """For "js-evt": the object the page sent with ``kiv_send_event``;
        otherwise None."""
        return self.data.get("js-evt") if self.name == "js-evt" else None


@dataclass(frozen=True)
class RawResult:
    """A result record of the library as it came: its code and JSON text."""

    code: int
    text: str

    def decoded(self) -> Any:
        """The JSON text decoded."""
        return json.loads(self.text)


@dataclass(frozen=True)
class DirectoryChoice:
    """The directory the user chose in :meth:`Window.choose_dir`."""

    path: str
    raw: str = field(repr=False)


@dataclass(frozen=True)
class FileChoice:
    """The file the user chose in :meth:`Window.file_open` or
    :meth:`Window.file_save`, with the filter entry selected at the time
    (e.g. ``"Text (*.txt)"``; empty when no filter was given)."""

    path: str
    used_filter: str
    raw: str = field(repr=False)


def _utf8(text: Optional[str], what: str) -> bytes:
    if text is None:
        return b""
    if not isinstance(text, str):
        raise TypeError(f"{what} must be a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{what} contains a NUL character, which the C interface cannot pass")
    return text.encode("utf-8", "surrogatepass")


def _take(lib: Library, record: Any) -> RawResult:
    """Copies a result record and frees it."""
    try:
        code = int(record.contents.number)
        text = (record.contents.text or b"false").decode("utf-8", "replace")
    finally:
        lib.destroy_js_result(record)
    return RawResult(code, text)


class Window:
    """A browser window of the library, named by its handle.

    Creating the object opens and shows the window. Its events go to the
    handlers registered with :meth:`on` (``handlers`` and ``on_event`` give
    them at once, so that they also see the "show" event that arrives before
    the constructor returns). Every method must be called on the library's
    thread and, except :attr:`is_open`, outside event handlers.

    Args:
        parent: a window (or handle) to be the new window's parent: the new
            window is then a window-modal dialog over it.
        handlers: event name -> handler, registered before the window opens.
        on_event: a handler for every event, registered before the window opens.
    """

    def __init__(self, parent: "Union[Window, int, None]" = None, *,
                 handlers: Optional[Mapping[str, Handler]] = None,
                 on_event: Optional[Handler] = None) -> None:
        self._handle = 0
        self._closed = False
        self._title: Optional[str] = None
        self._ou_token = ""
        self._handlers: Dict[str, List[Handler]] = {}
        for name, handler in (handlers or {}).items():
            self.on(name, handler)
        if on_event is not None:
            self.on(ALL_EVENTS, on_event)
        parent_handle = parent.handle if isinstance(parent, Window) else int(parent or 0)
        # One C callback per window, bound to this object; it lives as long
        # as the window does (see _open_windows).
        self._callback = EventCallback(self._receive)
        with calling("kiv_webview_create") as lib:
            self._lib = lib
            handle = lib.create(parent_handle, self._callback)
            self._handle = handle
            if not self._closed:
                _open_windows[handle] = self

    def __repr__(self) -> str:
        return f"<kivwebview.Window {self._handle}{' closed' if self._closed else ''}>"

    def __enter__(self) -> "Window":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    # -- events -----------------------------------------------------------

    def on(self, name: str, handler: Optional[Handler] = None) -> Any:
        """Registers ``handler`` for the events named ``name`` ("*" for all).
        Without ``handler``, returns a decorator that registers the function
        it decorates. Handlers of a name run in registration order, before
        the "*" handlers."""
        def register(function: Handler) -> Handler:
            self._handlers.setdefault(name, []).append(function)
            return function
        return register if handler is None else register(handler)

    def off(self, name: str, handler: Handler) -> None:
        """Unregisters a handler registered with :meth:`on`."""
        self._handlers.get(name, []).remove(handler)

    def _receive(self, record: Any) -> None:
        # Called by the library, nested in whatever call pumps the loop. The
        # record is ours: copy it and give it back before anything else.
        if not record:
            return
        try:
            handle = int(record.contents.number)
            raw = (record.contents.text or b"").decode("utf-8", "replace")
        finally:
            self._lib.destroy_event(record)
        if not self._handle:
            self._handle = handle  # events before create() has returned
        try:
            data = json.loads(raw)
            name = str(data["event"])
        except (ValueError, KeyError, TypeError):
            log.error("window %d: undecodable event %r", handle, raw)
            return
        event = Event(self, name, data, raw)
        if name == "closed":
            self._closed = True
            if _open_windows.get(handle) is self:
                del _open_windows[handle]
            state.retired.append(self._callback)
        state.handler_depth += 1
        try:
            for handler in self._handlers.get(name, []) + self._handlers.get(ALL_EVENTS, []):
                try:
                    handler(event)
                except Exception:
                    log.exception("window %d: handler %r raised on event %s",
                                  handle, handler, raw)
                except BaseException as error:  # KeyboardInterrupt, SystemExit
                    if state.pending is None:
                        state.pending = error
        finally:
            state.handler_depth -= 1

    # -- state ------------------------------------------------------------

    @property
    def handle(self) -> int:
        """The window's handle (a positive int, never reused)."""
        return self._handle

    @property
    def is_open(self) -> bool:
        """True while the handle names an open window (calls
        ``kiv_webview_valid``; allowed inside event handlers)."""
        with calling("kiv_webview_valid", waiting=False) as lib:
            return bool(lib.valid(self._handle))

    @property
    def closed(self) -> bool:
        """True once the window's "closed" event has arrived (no library call)."""
        return self._closed

    @property
    def state(self) -> WindowState:
        """The window's state; :attr:`WindowState.invalid` once it is closed."""
        with calling("kiv_webview_window_state") as lib:
            value = lib.window_state(self._handle)
        try:
            return WindowState(value)
        except ValueError:
            return WindowState.invalid

    @property
    def title(self) -> Optional[str]:
        """The title last set through this object (None until then; the
        library has no way to read it back). Setting it sets the window's."""
        return self._title

    @title.setter
    def title(self, title: str) -> None:
        self._check("kiv_webview_set_title", lambda lib: lib.set_title(
            self._handle, _utf8(title, "title")))
        self._title = title

    @property
    def ou_token(self) -> str:
        """The certificate token last set through this object ("" admits no
        certificate). Setting it sets the window's: a TLS certificate error is
        overridden when a self-signed certificate of the server's chain names
        the token as the first OU of its issuer. Does nothing on a closed window."""
        return self._ou_token

    @ou_token.setter
    def ou_token(self, token: str) -> None:
        encoded = _utf8(token, "token")
        with calling("kiv_webview_set_ou_token") as lib:
            lib.set_ou_token(self._handle, encoded)
        self._ou_token = token

    # -- actions ----------------------------------------------------------

    def _check(self, function: str, call: Callable[[Library], int]) -> None:
        with calling(function) as lib:
            code = call(lib)
        if code != ResultCode.oke:
            raise ResultError(function, self._handle, code)

    def set_url(self, url: str) -> None:
        """Loads ``url``; the "page-loaded" event tells the outcome."""
        self._check("kiv_webview_set_url", lambda lib: lib.set_url(self._handle, _utf8(url, "url")))

    def set_html(self, html: str) -> None:
        """Shows the HTML text ``html`` (no base URL); "page-loaded" follows."""
        self._check("kiv_webview_set_html",
                    lambda lib: lib.set_html(self._handle, _utf8(html, "html")))

    def run_js(self, js: str) -> None:
        """Runs the script ``js`` in the page without waiting for a result."""
        self._check("kiv_webview_run_js", lambda lib: lib.run_js(self._handle, _utf8(js, "js")))

    def call_js_raw(self, js: str) -> RawResult:
        """Runs ``js`` as a function body and returns the library's answer
        unchanged: its code and JSON text."""
        encoded = _utf8(js, "js")
        with calling("kiv_webview_call_js") as lib:
            return _take(lib, lib.call_js(self._handle, encoded))

    def call_js(self, js: str) -> Any:
        """Runs ``js`` as a function body in the page, waits for the page's
        answer and returns the value the script returned with ``return``,
        decoded from JSON (None when it returned nothing).

        Raises:
            JavaScriptError: the script threw (``exn`` holds the message), did
                not compile, or the window closed or is not open.
        """
        answer = self.call_js_raw(js)
        data = json.loads(answer.text)
        if answer.code != ResultCode.oke:
            raise JavaScriptError(self._handle, answer.code, answer.text, data)
        return data.get("result") if isinstance(data, dict) else None

    def move(self, x: int, y: int) -> None:
        """Moves the window's frame to (x, y); a "move" event follows."""
        self._check("kiv_webview_move", lambda lib: lib.move(self._handle, int(x), int(y)))

    def resize(self, width: int, height: int) -> None:
        """Resizes the window; a "resize" event follows."""
        self._check("kiv_webview_resize",
                    lambda lib: lib.resize(self._handle, int(width), int(height)))

    def show(self) -> None:
        """Shows the window."""
        self._check("kiv_webview_show", lambda lib: lib.show(self._handle))

    def hide(self) -> None:
        """Hides the window."""
        self._check("kiv_webview_hide", lambda lib: lib.hide(self._handle))

    def present(self) -> None:
        """Shows and raises the window and asks for it to become active."""
        self._check("kiv_webview_present", lambda lib: lib.present(self._handle))

    def maximize(self) -> None:
        """Maximises the window."""
        self._check("kiv_webview_maximize", lambda lib: lib.maximize(self._handle))

    def minimize(self) -> None:
        """Minimises the window."""
        self._check("kiv_webview_minimize", lambda lib: lib.minimize(self._handle))

    def show_normal(self) -> None:
        """Shows the window neither minimised nor maximised."""
        self._check("kiv_webview_show_normal", lambda lib: lib.show_normal(self._handle))

    def open_devtools(self) -> None:
        """Opens a developer-tools window for the page."""
        self._check("kiv_webview_open_devtools", lambda lib: lib.open_devtools(self._handle))

    def close(self) -> None:
        """Closes the window (its child windows first); its "closed" event
        arrives before this returns. Closing a closed window does nothing."""
        with calling("kiv_webview_close") as lib:
            lib.close(self._handle)

    # -- dialogs ----------------------------------------------------------

    def _dialog(self, function: str, call: Callable[[Library], Any]) -> RawResult:
        with calling(function) as lib:
            answer = _take(lib, call(lib))
        if answer.code != ResultCode.oke:
            raise ResultError(function, self._handle, answer.code, answer.text)
        return answer

    def choose_dir_raw(self, title: str = "", directory: str = "") -> RawResult:
        """:meth:`choose_dir`, returning the library's answer unchanged."""
        args = (_utf8(title, "title"), _utf8(directory, "directory"))
        return self._dialog("kiv_webview_choose_dir",
                            lambda lib: lib.choose_dir(self._handle, *args))

    def file_open_raw(self, title: str = "", directory: str = "", filter: str = "") -> RawResult:
        """:meth:`file_open`, returning the library's answer unchanged."""
        args = (_utf8(title, "title"), _utf8(directory, "directory"), _utf8(filter, "filter"))
        return self._dialog("kiv_webview_file_open",
                            lambda lib: lib.file_open(self._handle, *args))

    def file_save_raw(self, title: str = "", directory: str = "", filter: str = "") -> RawResult:
        """:meth:`file_save`, returning the library's answer unchanged."""
        args = (_utf8(title, "title"), _utf8(directory, "directory"), _utf8(filter, "filter"))
        return self._dialog("kiv_webview_file_save",
                            lambda lib: lib.file_save(self._handle, *args))

    def choose_dir(self, title: str = "", directory: str = "") -> Optional[DirectoryChoice]:
        """Asks the user for an existing directory in a dialog modal to this
        window; waits (pumping events) until it is answered.

        Returns:
            the choice, or None when the user cancelled.
        Raises:
            ResultError: ``dialog_failed``: the window is not open.
        """
        answer = self.choose_dir_raw(title, directory)
        data = answer.decoded()
        if data.get("state") != "choosen":
            return None
        return DirectoryChoice(data["dir"], answer.text)

    def file_open(self, title: str = "", directory: str = "",
                  filter: str = "") -> Optional[FileChoice]:
        """Asks the user for an existing file to open, like :meth:`choose_dir`.
        ``filter`` is e.g. ``"Images (*.png *.jpg);;Text (*.txt)"``."""
        return self._file_choice(self.file_open_raw(title, directory, filter))

    def file_save(self, title: str = "", directory: str = "",
                  filter: str = "") -> Optional[FileChoice]:
        """Asks the user for a file name to save under, like :meth:`file_open`."""
        return self._file_choice(self.file_save_raw(title, directory, filter))

    @staticmethod
    def _file_choice(answer: RawResult) -> Optional[FileChoice]:
        data = answer.decoded()
        if data.get("state") != "choosen":
            return None
        return FileChoice(data["file"], data.get("used-filter", ""), answer.text)


def open_windows() -> List[Window]:
    """The windows of this process whose "closed" event has not arrived yet."""
    return list(_open_windows.values())
