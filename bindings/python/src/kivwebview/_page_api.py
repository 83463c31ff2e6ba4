"""The host side of the page script of exposed functions
(bindings/shared/page_api.js) for one window.

The script gives a page ``window.kiv.api``, with a function per name the
host exposed, and sends the host messages through the page's event queue:
a document announcing itself, a call of an exposed function, the outcome of
an awaitable script call. :class:`PageApi` takes those messages; each call
waits as a :class:`PageCall` in the runtime's deferred work until it runs,
outside every event handler. Both know their window only through
:class:`PageHost`: a few of its public members.
"""

from __future__ import annotations

import asyncio
import inspect
import json
import logging
from typing import Any, Callable, Dict, Iterable, Optional, Protocol

from . import _page
from ._native import ResultCode
from ._origins import OriginRule
from ._results import RawResult
from ._runtime import state
from ._script_calls import ScriptCalls
from .errors import ResultError

log = logging.getLogger("kivwebview")


class PageHost(Protocol):
    """What the page script's host side uses of its window."""

    @property
    def handle(self) -> int: ...

    @property
    def closed(self) -> bool: ...

    @property
    def is_open(self) -> bool: ...

    def run_js(self, js: str) -> None: ...

    def call_js_raw(self, js: str) -> RawResult: ...


def _error_text(error: BaseException) -> str:
    """The text of an exception, even of one whose str() fails."""
    try:
        return str(error)
    except Exception:  # noqa: BLE001 - any failure gives the fallback
        return f"(a {type(error).__name__} whose message cannot be read)"


class PageCall:
    """One call of an exposed function by a page, waiting for its turn.

    Run (by the runtime's deferred work, outside every handler) it calls the
    function, or drops the call when its page has been replaced or its
    window has closed meanwhile, and sends the answer back to the page.
    """

    __slots__ = ("api", "window", "doc", "call_id", "name", "args")

    def __init__(self, api: "PageApi", doc: str, call_id: int, name: str, args: str) -> None:
        self.api = api
        self.window = api.window
        self.doc = doc
        self.call_id = call_id
        self.name = name
        self.args = args

    def current(self) -> bool:
        """True while the call's page is still the window's page."""
        window = self.window
        if window.closed or not window.is_open:
            return False
        document = self.api.document
        return document is None or document == self.doc

    def __call__(self) -> None:
        if not self.current():
            return  # dropped: nobody is left to answer
        if not self.admitted():
            return
        function = self.api.function(self.name)
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
            self.answer(_page.answer_error(type(error).__name__, _error_text(error)))
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
        if self.api.origin_rule.admits(origin, scheme):
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
            self.answer(_page.answer_error(type(error).__name__, _error_text(error)))
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


class PageApi:
    """The page script's state on the host side for one window: the exposed
    functions, the documents they answer, the document the page announced,
    and the awaitable script calls waiting for the page."""

    def __init__(self, window: PageHost, allow_origins: Iterable[str] = ()) -> None:
        self.window = window
        self._functions: Dict[str, Callable[..., Any]] = {}
        self._had_exposed = False  # expose used: the page gets window.kiv.api
        self._page_loaded = False  # a "page-loaded" has arrived
        self._document: Optional[str] = None  # the id the current page announced
        #: The documents the exposed functions answer.
        self.origin_rule = OriginRule(allow_origins)
        #: The awaitable calls (``Window.call_js_async``) waiting for the page.
        self.script_calls = ScriptCalls(window)

    @property
    def document(self) -> Optional[str]:
        """The id the window's current document announced (None before the
        first announcement)."""
        return self._document

    def function(self, name: str) -> Optional[Callable[..., Any]]:
        """The function exposed as ``name``, or None."""
        return self._functions.get(name)

    def functions(self) -> Dict[str, Callable[..., Any]]:
        """The exposed functions by name (a copy)."""
        return dict(self._functions)

    def expose(self, function: Any = None, name: Optional[str] = None) -> Any:
        """``Window.expose``: exposes ``function``, or returns a decorator."""
        if function is None or isinstance(function, str):
            chosen = function if isinstance(function, str) else name
            if chosen is not None:
                _page.valid_name(chosen)
            return lambda decorated: self.expose(decorated, chosen)
        if not callable(function):
            raise TypeError(f"only a callable can be exposed, not {type(function).__name__}")
        exposed_name = _page.valid_name(name if name is not None
                                        else getattr(function, "__name__", None))
        self._functions[exposed_name] = function
        self._had_exposed = True
        if self._page_loaded and not self.window.closed:
            self._install()
        return function

    def unexpose(self, name: str) -> None:
        """``Window.unexpose``; raises KeyError for a name not exposed."""
        del self._functions[name]
        if self._page_loaded and not self.window.closed:
            self._install()

    def allow_origin(self, origin: str) -> None:
        """``Window.allow_origin``: the page loaded now learns of it at once."""
        self.origin_rule.allow(origin)
        if self._page_loaded and not self.window.closed and self._had_exposed:
            self._install()

    # -- what the window hands over from its events ------------------------

    def page_loaded(self) -> None:
        """A "page-loaded" event arrived (before its handlers run)."""
        self._page_loaded = True
        if self._had_exposed or self.script_calls.used:
            self._install()

    def window_closed(self) -> None:
        """The window's "closed" event arrived."""
        self.script_calls.end("the window closed before the page answered")

    def receive(self, item: Any) -> bool:
        """Takes the "js-evt" item ``item`` when it is a message of the page
        script (an object whose only key is :data:`_page.MESSAGE_KEY`) and
        returns True; returns False for every other item, which is the
        host's."""
        if not (isinstance(item, dict) and len(item) == 1 and _page.MESSAGE_KEY in item):
            return False
        self._take_message(item[_page.MESSAGE_KEY])
        return True

    def _take_message(self, message: Any) -> None:
        # Anything malformed is dropped, as a page may send whatever it likes.
        if not isinstance(message, dict):
            return
        doc = _page.valid_document(message.get("doc"))
        if doc is None:
            return
        if "hello" in message:
            # The page's document announced itself: calls made in any other
            # document are over.
            self._document = doc
            self.script_calls.document_changed(doc)
        elif "call" in message:
            call_id = _page.valid_id(message.get("call"))
            name, args = message.get("name"), message.get("args")
            if call_id is not None and isinstance(name, str) and isinstance(args, str):
                state.page_calls.append(PageCall(self, doc, call_id, name, args))
        elif "js" in message:
            self.script_calls.receive(doc, message)

    def _install(self) -> None:
        # Puts window.kiv.api (with the exposed names) into the current page
        # and has the page announce its document. Works inside handlers.
        names = list(self._functions) if self._had_exposed else None
        try:
            self.window.run_js(_page.install_script(names, hello=True,
                                                    allowed=self.origin_rule.page_literal()))
        except ResultError:
            pass  # the window has closed
