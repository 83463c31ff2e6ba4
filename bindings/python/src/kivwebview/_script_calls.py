"""The awaitable JavaScript calls of a window (``Window.call_js_async``).

A call starts its script in the page with a short ``kiv_webview_call_js``
and, unless the script has settled by then, waits while the asyncio loop
goes on: the page's script sends the outcome through the event queue when
it settles, as a message that :meth:`ScriptCalls.receive` takes.
"""

from __future__ import annotations

import asyncio
import itertools
import json
import secrets
from typing import Any, Callable, Dict, Optional, Protocol

from . import _page
from ._asyncio import pump_until
from ._native import ResultCode
from ._results import RawResult
from .errors import JavaScriptError


class ScriptHost(Protocol):
    """What the calls use of their window: its handle and its short call."""

    @property
    def handle(self) -> int: ...

    def call_js_raw(self, js: str) -> RawResult: ...


class ScriptCall:
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


# Call ids are unique in the process, across windows.
_call_ids = itertools.count(1)


class ScriptCalls:
    """One window's awaitable calls, by call id, while they wait."""

    def __init__(self, window: ScriptHost) -> None:
        self._window = window
        self._calls: Dict[int, ScriptCall] = {}
        #: True once a call has been made: the page script is then put into
        #: every page the window loads, so that each announces its document.
        self.used = False

    def __len__(self) -> int:
        """The number of calls waiting for their page."""
        return len(self._calls)

    async def run(self, js: str) -> Any:
        """Runs ``js`` as the body of an async function in the page and
        returns what it returned (see ``Window.call_js_async``)."""
        window = self._window
        loop = asyncio.get_running_loop()
        call_id = next(_call_ids)
        call = ScriptCall(loop.create_future())
        self._calls[call_id] = call
        self.used = True
        try:
            answer = window.call_js_raw(_page.launch_script(call_id, call.token, js))
            data = json.loads(answer.text)
            if answer.code != ResultCode.oke:
                raise JavaScriptError(window.handle, answer.code, answer.text, data)
            call.doc = _page.valid_document(data.get("result"))
            if call.doc is None:
                self._fail(call, "the page did not start the script")
                return call.future.result()
            # A script that awaited nothing slow has settled by now: take its
            # outcome at once, from the same document. Otherwise the page
            # sends it when it settles.
            taken = window.call_js_raw(_page.take_script(call_id))
            if taken.code == ResultCode.oke:
                result = json.loads(taken.text).get("result")
                if (isinstance(result, list) and len(result) == 2 and result[0] == call.doc
                        and isinstance(result[1], str)):
                    self._settle(call, result[1])
            if not call.future.done():
                await pump_until(call.future.done, function="call_js_async")
            return call.future.result()
        finally:
            self._calls.pop(call_id, None)

    def receive(self, doc: str, message: Dict[str, Any]) -> None:
        """Takes the outcome message ``message`` that document ``doc`` sent.
        Only the document the call ran in, and only with the call's token,
        answers it; anything else is dropped."""
        call_id = _page.valid_id(message.get("js"))
        call = self._calls.get(call_id) if call_id is not None else None
        reply = message.get("reply")
        if call is None or not isinstance(reply, str):
            return
        if doc != call.doc or message.get("token") != call.token:
            return
        self._settle(call, reply)

    def document_changed(self, doc: str) -> None:
        """The window's page announced document ``doc``: calls made in any
        other document are over."""
        for call in list(self._calls.values()):
            if call.doc is not None and call.doc != doc:
                self._fail(call, "the page was replaced before it answered")

    def end(self, reason: str) -> None:
        """Fails every waiting call with ``reason``."""
        for call in list(self._calls.values()):
            self._fail(call, reason)

    def _settle(self, call: ScriptCall, reply: str) -> None:
        # reply: the page's JSON text {"ok":true,"value":V} or {"ok":false,"error":M}
        try:
            outcome = json.loads(reply)
        except ValueError:
            outcome = None
        if not isinstance(outcome, dict):
            self._fail(call, "the page's answer was not JSON")
        elif outcome.get("ok") is True:
            value = outcome.get("value")
            call.settle(lambda future: future.set_result(value))
        else:
            self._fail(call, str(outcome.get("error")))

    def _fail(self, call: ScriptCall, reason: str) -> None:
        text = json.dumps({"exn": reason, "oke": False, "result": False},
                          ensure_ascii=False, separators=(",", ":"), sort_keys=True)
        error = JavaScriptError(self._window.handle, ResultCode.eval_js_failed, text,
                                json.loads(text))
        call.settle(lambda future: future.set_exception(error))
