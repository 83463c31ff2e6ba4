"""Browser windows and their events."""

from __future__ import annotations

import json
from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Union

from ._dialogs import WindowDialogs
from ._events import ALL_EVENTS, Event, Handler, Handlers, decode, read_record
from ._native import EventCallback, ResultCode, WindowState, c_string
from ._page_api import PageApi
from ._results import RawResult, take_result
from ._results import DirectoryChoice, FileChoice  # noqa: F401  (also reached through this module)
from ._runtime import call_checked, calling, state
from ._window_actions import WindowActions
from .errors import JavaScriptError


# The frame actions and the dialogs are methods of base classes of their own;
# scripts/gen-python-docs.py lists them after Window's own, base by base.
class Window(WindowActions, WindowDialogs):
    """A browser window of the library, named by its handle.

    Creating the object opens and shows the window. Its events go to the
    handlers registered with :meth:`on` (``handlers`` and ``on_event`` give
    them at once, so that they also see the "show" event that arrives before
    the constructor returns). Every method must be called on the library's
    thread. Inside event handlers every method works except the ones that
    wait for the page: :meth:`call_js`, :meth:`call_js_raw` and
    :meth:`call_js_async` raise :class:`ReentrancyError` there.

    Args:
        parent: a window (or handle) to be the new window's parent: the new
            window is then a window-modal dialog over it.
        handlers: event name -> handler, registered before the window opens.
        on_event: a handler for every event, registered before the window opens.
        allow_origins: origins (``"https://example.org"``, or URLs standing
            for their origins) whose pages may call the exposed functions
            besides the pages the window loads itself; ``"*"`` allows every
            origin, so that any page the window ever shows, reached by any
            link, may call them: dangerous, see :meth:`expose`.
    """

    def __init__(self, parent: "Union[Window, int, None]" = None, *,
                 handlers: Optional[Mapping[str, Handler]] = None,
                 on_event: Optional[Handler] = None,
                 allow_origins: Iterable[str] = ()) -> None:
        self._handle = 0
        self._closed = False
        self._title: Optional[str] = None
        self._ou_token = ""
        self._handlers = Handlers()
        # Exposed functions, the documents they answer, awaitable calls.
        self._page_api = PageApi(self, allow_origins)
        for name, handler in (handlers or {}).items():
            self.on(name, handler)
        if on_event is not None:
            self.on(ALL_EVENTS, on_event)
        parent_handle = parent.handle if isinstance(parent, Window) else int(parent or 0)
        # One C callback per window, bound to this object; it lives as long
        # as the window does (see state.open_windows).
        self._callback = EventCallback(self._receive)
        with calling("kiv_webview_create") as lib:
            self._lib = lib
            handle = lib.create(parent_handle, self._callback)
            self._handle = handle
            if not self._closed:
                state.open_windows[handle] = self

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
        the "*" handlers.

        Example::

            @win.on("can-close?")
            def closing(event):
                event.window.close()   # allowed inside a handler
        """
        def register(function: Handler) -> Handler:
            self._handlers.add(name, function)
            return function
        return register if handler is None else register(handler)

    def off(self, name: str, handler: Handler) -> None:
        """Unregisters a handler registered with :meth:`on`."""
        self._handlers.remove(name, handler)

    def _receive(self, record: Any) -> None:
        # Called by the library, nested in whatever call pumps the loop. The
        # record is ours: copy it and give it back before anything else.
        if not record:
            return
        handle, raw = read_record(self._lib, record)
        if not self._handle:
            self._handle = handle  # events before create() has returned
        decoded = decode(handle, raw)
        if decoded is None:
            return
        name, data = decoded
        state.handler_depth += 1
        try:
            if name == "js-evt":
                if self._page_api.receive(data.get("js-evt")):
                    return  # the package's own page script sent it
            elif name == "page-loaded":
                self._page_api.page_loaded()
            elif name == "closed":
                self._closed = True
                if state.open_windows.get(handle) is self:
                    del state.open_windows[handle]
                state.retired.append(self._callback)
                self._page_api.window_closed()
            self._handlers.run(Event(self, name, data, raw), handle)
        finally:
            state.handler_depth -= 1

    # -- exposed functions ------------------------------------------------

    def expose(self, function: Any = None, name: Optional[str] = None) -> Any:
        """Lets this window's pages call ``function`` as
        ``window.kiv.api.<name>(...args)``, which returns a Promise.

        ``name`` defaults to the function's ``__name__``; it must be an ASCII
        JavaScript identifier. Exposing a name again replaces its function.
        Used without a function (``@win.expose`` or ``@win.expose("name")``)
        it is a decorator, which returns the function unchanged.

        After every "page-loaded" (before the handlers run), and at once when
        a page is loaded already, the page gets ``window.kiv.api`` with every
        exposed name, and a ``kiv-api-ready`` event on ``window``: a script
        that runs while the page loads waits for that event. An existing
        ``window.kiv`` object keeps its other members.

        A page's call travels as JSON: the function gets the page's arguments
        decoded (``undefined`` becomes None). It runs outside every event
        handler, where it may call any function of the package, including
        :meth:`call_js` and the dialogs. Calls run in the order they arrived,
        one at a time (across all windows). What the function returns (JSON-encodable) resolves
        the promise; an exception rejects it with an ``Error`` whose
        ``name`` is the exception's type and whose ``message`` is its text.
        A function that returns an awaitable (an ``async def`` function) runs
        as a task of the asyncio loop that :func:`run_async` pumps from, and
        does not hold back the next call; without that loop its call is
        rejected with a RuntimeError.

        The answer reaches the page as data (a JSON text that the page
        decodes), never as code. When the page is replaced, or the window
        closes, before the answer is sent, the call is dropped without
        error: a call not started yet is not run, and the answer of a
        running one is discarded. Promises never outlive their page.

        Only the window's own pages may call: those it showed with
        :meth:`set_html`, and those of the origins of the URLs it loaded with
        :meth:`set_url` (a link to another page of such an origin keeps the
        functions), plus the origins given to ``allow_origins`` or
        :meth:`allow_origin`. A page of any other origin, reached by a link
        or a redirect, gets no ``window.kiv.api``, and every call message it
        sends is refused without running the function (a promise it has
        rejects with a ``SecurityError``). Before each call runs, the package
        asks the window's current document, in a call whose answer no page
        script can give in its place, for its origin and its id: a message
        made up by a page, or left over from a page replaced since, runs
        nothing.

        Args:
            function: the function; any callable.
            name: the name under ``window.kiv.api``.

        Returns:
            ``function`` (or, without one, a decorator).

        Raises:
            ValueError: the name is not an identifier (a lambda needs
                ``name``).

        Example::

            win = kivwebview.Window()

            @win.expose
            def add(a, b):
                return a + b

            win.set_html("<script>addEventListener('kiv-api-ready', async () => {"
                         "  document.title = await kiv.api.add(2, 3); });</script>")
        """
        return self._page_api.expose(function, name)

    def unexpose(self, name: str) -> None:
        """Takes the function exposed as ``name`` away from the page (at once
        when a page is loaded). Calls of it that arrive later are rejected."""
        self._page_api.unexpose(name)

    @property
    def exposed(self) -> Dict[str, Callable[..., Any]]:
        """The exposed functions by name (a copy)."""
        return self._page_api.functions()

    def allow_origin(self, origin: str) -> None:
        """Lets pages of ``origin`` (``"https://example.org"``, or a URL
        standing for its origin) call the exposed functions too, from the
        next page they load (at once when a page is loaded). ``"*"`` allows
        every origin: any page the window ever shows, reached by any link,
        may then call them. That is dangerous; allow the origins you serve.

        Raises:
            ValueError: not an origin (no ``scheme://host``).
        """
        self._page_api.allow_origin(origin)

    @property
    def allowed_origins(self) -> List[str]:
        """The origins whose pages may call the exposed functions, sorted:
        those of the URLs loaded with :meth:`set_url` and those allowed
        (``["*"]`` when every origin is). Pages shown with :meth:`set_html`
        may call them too."""
        return self._page_api.origin_rule.origins

    # -- state ------------------------------------------------------------

    @property
    def handle(self) -> int:
        """The window's handle (a positive int, never reused)."""
        return self._handle

    @property
    def is_open(self) -> bool:
        """True while the handle names an open window (calls
        ``kiv_webview_valid``). False as soon as :meth:`close` has been
        called, even inside a handler, before "closed" arrives."""
        with calling("kiv_webview_valid") as lib:
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
        call_checked("kiv_webview_set_title", self._handle,
                     lambda lib: lib.set_title(self._handle, c_string(title, "title")))
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
        encoded = c_string(token, "token")
        with calling("kiv_webview_set_ou_token") as lib:
            lib.set_ou_token(self._handle, encoded)
        self._ou_token = token

    # -- the page: loading it, running scripts in it ------------------------

    def set_url(self, url: str) -> None:
        """Loads ``url``; the "page-loaded" event tells the outcome. From
        then on the exposed functions answer pages of the URL's origin too
        (give the URL with its scheme, e.g. ``http://127.0.0.1:8000/``)."""
        call_checked("kiv_webview_set_url", self._handle,
                     lambda lib: lib.set_url(self._handle, c_string(url, "url")))
        self._page_api.origin_rule.loaded(url)

    def set_html(self, html: str) -> None:
        """Shows the HTML text ``html`` (no base URL); "page-loaded" follows.
        The exposed functions answer such pages of this window."""
        call_checked("kiv_webview_set_html", self._handle,
                     lambda lib: lib.set_html(self._handle, c_string(html, "html")))
        self._page_api.origin_rule.showed_html()

    def run_js(self, js: str) -> None:
        """Runs the script ``js`` in the page without waiting for a result."""
        call_checked("kiv_webview_run_js", self._handle,
                     lambda lib: lib.run_js(self._handle, c_string(js, "js")))

    def call_js_raw(self, js: str) -> RawResult:
        """Runs ``js`` as a function body and returns the library's answer
        unchanged: its code and JSON text. Refused inside event handlers."""
        encoded = c_string(js, "js")
        with calling("kiv_webview_call_js", refused_in_handler=True) as lib:
            return take_result(lib, lib.call_js(self._handle, encoded))

    def call_js(self, js: str) -> Any:
        """Runs ``js`` as a function body in the page, waits for the page's
        answer and returns the value the script returned with ``return``,
        decoded from JSON (None when it returned nothing).

        Example::

            count = win.call_js("return document.querySelectorAll('li').length;")

        Raises:
            JavaScriptError: the script threw (``exn`` holds the message), did
                not compile, or the window closed or is not open.
            ReentrancyError: called inside an event handler, where the page's
                answer cannot arrive; defer it with :func:`call_soon`.
        """
        answer = self.call_js_raw(js)
        data = json.loads(answer.text)
        if answer.code != ResultCode.oke:
            raise JavaScriptError(self._handle, answer.code, answer.text, data)
        return data.get("result") if isinstance(data, dict) else None

    async def call_js_async(self, js: str) -> Any:
        """The awaitable form of :meth:`call_js`: runs ``js`` as the body of
        an ``async`` function in the page, so the script may ``await``
        promises, and returns what it returned, decoded from JSON.

        The script is started at once, with a short call like
        :meth:`call_js`, and its outcome taken with another when it has
        settled by then (it awaited nothing slow). Otherwise the asyncio loop
        goes on while the page works: the library is pumped by whichever
        coroutine waits for it (this one when nothing else, such as
        :func:`run_async`, does), and the outcome comes back as data through
        the page's event queue. No library loop runs nested inside an event
        handler, nor inside this coroutine while the page works.

        Raises:
            JavaScriptError: the script threw or rejected (``exn`` holds the
                message), did not compile, its page was replaced or its
                window closed before it answered, or the window is not open.
            ReentrancyError: awaited inside an event handler.

        Example::

            title = await win.call_js_async(
                "const r = await fetch('/status'); return (await r.json()).title;")
        """
        c_string(js, "js")  # a NUL or a non-str fails here, before anything runs
        return await self._page_api.script_calls.run(js)


def open_windows() -> List[Window]:
    """The windows of this process whose "closed" event has not arrived yet."""
    return list(state.open_windows.values())
