"""The exceptions the package raises."""

from __future__ import annotations

from typing import Any, Optional

from ._codes import ResultCode


class KivWebviewError(Exception):
    """Base of every exception raised by this package."""


class LibraryNotFoundError(KivWebviewError, OSError):
    """The shared library could not be loaded."""


class ResultError(KivWebviewError):
    """A C function returned a failure code.

    Attributes:
        code: the ``result_t`` value (a :class:`~kivwebview.ResultCode` when
            known, else the plain int).
        code_name: the C name of the code, e.g. ``"set_url_failed"``.
        function: the C function that failed.
        handle: the window handle the call was for.
    """

    def __init__(self, function: str, handle: int, code: int, detail: str = "") -> None:
        try:
            self.code: int = ResultCode(code)
            self.code_name: str = ResultCode(code).name
        except ValueError:
            self.code = code
            self.code_name = f"result_{code}"
        self.function = function
        self.handle = handle
        message = f"{function}(window {handle}) failed with {self.code_name} ({int(code)})"
        if detail:
            message += f": {detail}"
        super().__init__(message)


class JavaScriptError(ResultError):
    """A JavaScript call ended with ``eval_js_failed``.

    Attributes:
        exn: the "exn" member of the answer: the message the script threw, or
            why the call could not finish; None when the answer had none (the
            script did not compile, or the window is not open).
        raw_json: the library's JSON text, unchanged.
        data: that text decoded (a dict, or False when the window is not open).
    """

    def __init__(self, handle: int, code: int, raw_json: str, data: Any) -> None:
        self.raw_json = raw_json
        self.data = data
        self.exn: Optional[Any] = None
        if isinstance(data, dict):
            self.exn = data.get("exn") or None
            if data.get("oke", False) is None:
                detail = "the script did not compile"
            else:
                detail = f"the script failed: {self.exn}"
        else:
            detail = "no open window has that handle"
        super().__init__("kiv_webview_call_js", handle, code, detail)


class ReentrancyError(KivWebviewError, RuntimeError):
    """A call that needs the event loop to run was made from inside an event
    handler, where no slice of the loop can start: :meth:`Window.call_js
    <kivwebview.Window.call_js>` (and ``call_js_raw``, ``call_js_async``),
    :func:`~kivwebview.run_until` and :func:`~kivwebview.run_async`. Every
    other call works inside a handler. The fix is to defer the call with
    :func:`kivwebview.call_soon`, which runs it right after the handler,
    outside every handler.

    Attributes:
        function: the name of the refused call.
    """

    def __init__(self, function: str) -> None:
        self.function = function
        super().__init__(
            f"{function} cannot be called from inside an event handler: it waits for the "
            "event loop, which cannot run there. Defer it with "
            "kivwebview.call_soon(function, *args), which runs it right after the handler")


class WrongThreadError(KivWebviewError, RuntimeError):
    """The library was called from a thread other than the one that made the
    first call; it works only on that thread."""
