"""Browser windows and their events."""

from __future__ import annotations

import asyncio
import inspect
import itertools
import json
import logging
import secrets
from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Union

from . import _page
from ._asyncio import pump_until
from ._events import ALL_EVENTS, Event, Handler, Handlers, decode, read_record
from ._native import EventCallback, Library, ResultCode, WindowState
from ._origins import OriginRule
from ._results import DirectoryChoice, FileChoice, RawResult, take_result
from ._runtime import calling, state
from .errors import JavaScriptError, ResultError

log = logging.getLogger("kivwebview")


def _utf8(text: Optional[str], what: str) -> bytes:
    if text is None:
        return b""
    if not isinstance(text, str):
        raise TypeError(f"{what} must be a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{what} contains a NUL character, which the C interface cannot pass")
    return text.encode("utf-8", "surrogatepass")


def _message(error: BaseException) -> str:
    """The text of an exception, even of one whose str() fails."""
    try:
        return str(error)
    except Exception:  # noqa: BLE001 - any failure gives the fallback
        return f"(a {type(error).__name__} whose message cannot be read)"


class _PageCall:
    """One call of an exposed function by a page, waiting for its turn.

    Run (by the runtime's deferred work, outside every handler) it calls the
    function, or drops the call when its page has been replaced or its
    window has closed meanwhile, and sends the answer back to the page.
    """

    __slots__ = ("window", "doc", "call_id", "name", "args")

    def __init__(self, window: "Window", doc: str, call_id: int, name: str, args: str) -> None:
        self.window = window
        self.doc = doc
        self.call_id = call_id
        self.name = name
        self.args = args

    def current(self) -> bool:
        """True while the call's page is still the window's page."""
        window = self.window
        if window._closed or not window.is_open:
            return False
        return window._page_doc is None or window._page_doc == self.doc

    def __call__(self) -> None:
        if not self.current():
            return  # dropped: nobody is left to answer
        if not self.admitted():
            return
        function = self.window._exposed.get(self.name)
        if function is None:
            self.answer(_page.answer_error(
                "TypeError", f"kiv.api.{self.name} is no longer exposed by the host"))
            return
        try:
            args = json.loads(self.args)
            if not isinstance(args, list):
                raise ValueError("not an array")
        except ValueError:
            self.answer(_page.answer_error("TypeError", "the arguments did not arrive as JSON"))
            return
        try:
            result = function(*args)
        except Exception as error:  # the page learns of it through its promise
            log.debug("window %d: exposed function %s raised", self.window.handle, self.name,
                      exc_info=True)
            self.answer(_page.answer_error(type(error).__name__, _message(error)))
            return
        except BaseException as error:  # KeyboardInterrupt, SystemExit: the host's to handle
            self.answer(_page.answer_error(type(error).__name__, "the host was interrupted"))
            raise
        if inspect.isawaitable(result):
            self.start(result)
        else:
            self.answer_value(result)

    def admitted(self) -> bool:
        """Asks the window's current document who it is, through a call
        whose answer no page script can give in its place; true when it is
        the document that made this call, and its origin is one the window
        answers. A call from any other document runs nothing: from a page
        replaced meanwhile it is dropped, from a page of another origin it
        is refused (its promise, if it has one, rejects)."""
        window = self.window
        try:
            answer = window.call_js_raw(_page.IDENTITY_SCRIPT)
            identity = json.loads(answer.text).get("result") if answer.code == ResultCode.oke \
                else None
        except (ResultError, ValueError, AttributeError):
            identity = None
        if not isinstance(identity, list) or len(identity) != 3 or identity[2] != self.doc:
            log.debug("window %d: dropped a call of %s from a document that is not the "
                      "window's current one", window.handle, self.name)
            return False
        origin, scheme = identity[0], identity[1]
        if window._origins.admits(origin, scheme):
            return True
        shown = origin if isinstance(origin, str) and origin != "null" else str(scheme)
        log.warning("window %d: refused a call of kiv.api.%s from %s, an origin this window "
                    "did not load (set_url, set_html) or allow (allow_origins)",
                    window.handle, self.name, shown)
        self.answer(_page.answer_error(
            "SecurityError", f"the host does not answer pages of {shown}: kiv.api.{self.name} "
            "is only for the pages it loaded itself or allowed"))
        return False

    def start(self, awaitable: Any) -> None:
        try:
            loop = asyncio.get_running_loop()
        except RuntimeError:
            if inspect.iscoroutine(awaitable):
                awaitable.close()
            self.answer(_page.answer_error(
                "RuntimeError", f"{self.name} is asynchronous and runs only while an asyncio "
                "loop pumps the library with kivwebview.run_async"))
            return
        task = loop.create_task(self.finish(awaitable))
        state.page_tasks.add(task)
        task.add_done_callback(state.page_tasks.discard)

    async def finish(self, awaitable: Any) -> None:
        try:
            value = await awaitable
        except asyncio.CancelledError:
            self.answer(_page.answer_error("CancelledError", "the host cancelled the call"))
            raise
        except Exception as error:
            log.debug("window %d: exposed function %s raised", self.window.handle, self.name,
                      exc_info=True)
            self.answer(_page.answer_error(type(error).__name__, _message(error)))
            return
        self.answer_value(value)

    def answer_value(self, value: Any) -> None:
        try:
            text = _page.answer_value(value)
        except (TypeError, ValueError) as error:
            log.error("window %d: the result of exposed function %s cannot be sent as JSON: %s",
                      self.window.handle, self.name, error)
            text = _page.answer_error(
                type(error).__name__, f"the result of {self.name} cannot be sent as JSON: {error}")
        self.answer(text)

    def answer(self, text: str) -> None:
        if not self.current():
            return  # the page that asked is gone, and so is its promise
        try:
            self.window.run_js(_page.reply_script(self.doc, self.call_id, text))
        except ResultError:
            pass  # the window closed meanwhile


class _ScriptCall:
    """An awaitable JavaScript call waiting for its page's answer: the
    answer counts only when it comes from the document the call was started
    in, with the call's token."""

    __slots__ = ("future", "doc", "token")

    def __init__(self, future: "asyncio.Future[Any]") -> None:
        self.future = future
        self.doc: Optional[str] = None
        self.token = secrets.token_hex(16)

    def settle(self, outcome: Callable[["asyncio.Future[Any]"], None]) -> None:
        if self.future.done():
            return
        try:
            outcome(self.future)
        except RuntimeError:
            pass  # the future's asyncio loop has closed


_script_call_ids = itertools.count(1)


class Window:
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
        # Exposed functions and the page script's state on the host side.
        self._exposed: Dict[str, Callable[..., Any]] = {}
        self._uses_page_api = False  # expose or call_js_async used: install on each load
        self._had_exposed = False  # expose used: the page gets window.kiv.api
        self._page_loaded = False  # a "page-loaded" has arrived
        self._page_doc: Optional[str] = None  # the id the current page announced
        self._script_calls: Dict[int, _ScriptCall] = {}
        # The documents the exposed functions answer.
        self._origins = OriginRule(allow_origins)
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
                item = data.get("js-evt")
                if isinstance(item, dict) and len(item) == 1 and _page.MESSAGE_KEY in item:
                    self._page_message(item[_page.MESSAGE_KEY])
                    return
            elif name == "page-loaded":
                self._page_loaded = True
                if self._uses_page_api:
                    self._install_page_api()
            elif name == "closed":
                self._closed = True
                if state.open_windows.get(handle) is self:
                    del state.open_windows[handle]
                state.retired.append(self._callback)
                self._end_script_calls("the window closed before the page answered")
            self._handlers.run(Event(self, name, data, raw), handle)
        finally:
            state.handler_depth -= 1

    # -- the page script: exposed functions and awaitable calls ------------

    def _page_message(self, message: Any) -> None:
        # A message of the package's page script; anything malformed is
        # dropped, as a page may send whatever it likes.
        if not isinstance(message, dict):
            return
        doc = _page.valid_document(message.get("doc"))
        if doc is None:
            return
        if "hello" in message:
            # The page's document announced itself: calls made in any other
            # document are over.
            self._page_doc = doc
            for call in list(self._script_calls.values()):
                if call.doc is not None and call.doc != doc:
                    self._fail_script_call(call, "the page was replaced before it answered")
        elif "call" in message:
            call_id = _page.valid_id(message.get("call"))
            name, args = message.get("name"), message.get("args")
            if call_id is not None and isinstance(name, str) and isinstance(args, str):
                state.page_calls.append(_PageCall(self, doc, call_id, name, args))
        elif "js" in message:
            call_id = _page.valid_id(message.get("js"))
            script_call = self._script_calls.get(call_id) if call_id is not None else None
            reply = message.get("reply")
            if script_call is None or not isinstance(reply, str):
                return
            # Only the document the call ran in, and only with the call's
            # token, answers it.
            if doc != script_call.doc or message.get("token") != script_call.token:
                return
            self._settle_script_call(script_call, reply)

    def _settle_script_call(self, call: _ScriptCall, reply: str) -> None:
        # reply: the page's JSON text {"ok":true,"value":V} or {"ok":false,"error":M}
        try:
            outcome = json.loads(reply)
        except ValueError:
            outcome = None
        if not isinstance(outcome, dict):
            self._fail_script_call(call, "the page's answer was not JSON")
        elif outcome.get("ok") is True:
            value = outcome.get("value")
            call.settle(lambda future: future.set_result(value))
        else:
            self._fail_script_call(call, str(outcome.get("error")))

    def _fail_script_call(self, call: _ScriptCall, reason: str) -> None:
        text = json.dumps({"exn": reason, "oke": False, "result": False},
                          ensure_ascii=False, separators=(",", ":"), sort_keys=True)
        error = JavaScriptError(self._handle, ResultCode.eval_js_failed, text, json.loads(text))
        call.settle(lambda future: future.set_exception(error))

    def _end_script_calls(self, reason: str) -> None:
        for call in list(self._script_calls.values()):
            self._fail_script_call(call, reason)

    def _install_page_api(self) -> None:
        # Puts window.kiv.api (with the exposed names) into the current page
        # and has the page announce its document. Works inside handlers.
        names = list(self._exposed) if self._had_exposed else None
        try:
            self.run_js(_page.install_script(names, hello=True,
                                             allowed=self._origins.page_literal()))
        except ResultError:
            pass  # the window has closed

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
        if function is None or isinstance(function, str):
            chosen = function if isinstance(function, str) else name
            if chosen is not None:
                _page.valid_name(chosen)
            return lambda decorated: self.expose(decorated, chosen)
        if not callable(function):
            raise TypeError(f"only a callable can be exposed, not {type(function).__name__}")
        exposed_name = _page.valid_name(name if name is not None
                                        else getattr(function, "__name__", None))
        self._exposed[exposed_name] = function
        self._had_exposed = True
        self._uses_page_api = True
        if self._page_loaded and not self._closed:
            self._install_page_api()
        return function

    def unexpose(self, name: str) -> None:
        """Takes the function exposed as ``name`` away from the page (at once
        when a page is loaded). Calls of it that arrive later are rejected."""
        del self._exposed[name]
        if self._page_loaded and not self._closed:
            self._install_page_api()

    @property
    def exposed(self) -> Dict[str, Callable[..., Any]]:
        """The exposed functions by name (a copy)."""
        return dict(self._exposed)

    def allow_origin(self, origin: str) -> None:
        """Lets pages of ``origin`` (``"https://example.org"``, or a URL
        standing for its origin) call the exposed functions too, from the
        next page they load (at once when a page is loaded). ``"*"`` allows
        every origin: any page the window ever shows, reached by any link,
        may then call them. That is dangerous; allow the origins you serve.

        Raises:
            ValueError: not an origin (no ``scheme://host``).
        """
        self._origins.allow(origin)
        if self._page_loaded and not self._closed and self._had_exposed:
            self._install_page_api()

    @property
    def allowed_origins(self) -> List[str]:
        """The origins whose pages may call the exposed functions, sorted:
        those of the URLs loaded with :meth:`set_url` and those allowed
        (``["*"]`` when every origin is). Pages shown with :meth:`set_html`
        may call them too."""
        return self._origins.origins

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
        """Loads ``url``; the "page-loaded" event tells the outcome. From
        then on the exposed functions answer pages of the URL's origin too
        (give the URL with its scheme, e.g. ``http://127.0.0.1:8000/``)."""
        self._check("kiv_webview_set_url", lambda lib: lib.set_url(self._handle, _utf8(url, "url")))
        self._origins.loaded(url)

    def set_html(self, html: str) -> None:
        """Shows the HTML text ``html`` (no base URL); "page-loaded" follows.
        The exposed functions answer such pages of this window."""
        self._check("kiv_webview_set_html",
                    lambda lib: lib.set_html(self._handle, _utf8(html, "html")))
        self._origins.showed_html()

    def run_js(self, js: str) -> None:
        """Runs the script ``js`` in the page without waiting for a result."""
        self._check("kiv_webview_run_js", lambda lib: lib.run_js(self._handle, _utf8(js, "js")))

    def call_js_raw(self, js: str) -> RawResult:
        """Runs ``js`` as a function body and returns the library's answer
        unchanged: its code and JSON text. Refused inside event handlers."""
        encoded = _utf8(js, "js")
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
        _utf8(js, "js")  # a NUL or a non-str fails here, before anything runs
        loop = asyncio.get_running_loop()
        call_id = next(_script_call_ids)
        call = _ScriptCall(loop.create_future())
        self._script_calls[call_id] = call
        self._uses_page_api = True
        try:
            answer = self.call_js_raw(_page.launch_script(call_id, call.token, js))
            data = json.loads(answer.text)
            if answer.code != ResultCode.oke:
                raise JavaScriptError(self._handle, answer.code, answer.text, data)
            call.doc = _page.valid_document(data.get("result"))
            if call.doc is None:
                self._fail_script_call(call, "the page did not start the script")
                return call.future.result()
            # A script that awaited nothing slow has settled by now: take its
            # outcome at once, from the same document. Otherwise the page
            # sends it when it settles.
            taken = self.call_js_raw(_page.take_script(call_id))
            if taken.code == ResultCode.oke:
                result = json.loads(taken.text).get("result")
                if (isinstance(result, list) and len(result) == 2 and result[0] == call.doc
                        and isinstance(result[1], str)):
                    self._settle_script_call(call, result[1])
            if not call.future.done():
                await pump_until(call.future.done, function="call_js_async")
            return call.future.result()
        finally:
            self._script_calls.pop(call_id, None)

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
        """Closes the window (its child windows first). Closing a closed
        window does nothing.

        Outside event handlers the "closed" event arrives before this
        returns. Inside a handler (a "can-close?" handler, typically) the
        window is taken out of use at once (:attr:`is_open` is False) and
        closes, with its "closed" event, right after the handler's event
        has been handled.
        """
        with calling("kiv_webview_close") as lib:
            lib.close(self._handle)

    # -- dialogs ----------------------------------------------------------

    def _dialog(self, function: str, call: Callable[[Library], Any]) -> RawResult:
        with calling(function) as lib:
            answer = take_result(lib, call(lib))
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
        window; waits (pumping events) until it is answered. Inside an event
        handler the dialog runs in place: the handler waits for the answer
        while other events reach their handlers, nested.

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
        ``filter`` is e.g. ``"Images (*.png *.jpg);;Text (*.txt)"``.

        Returns:
            the choice (``path``, ``used_filter``), or None when the user
            cancelled.

        Example::

            @win.expose
            def open_text():                    # called by a page button
                choice = win.file_open("Open", os.path.expanduser("~"),
                                       "Text (*.txt);;All files (*)")
                return None if choice is None else open(choice.path).read()
        """
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
    return list(state.open_windows.values())
