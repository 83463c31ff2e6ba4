"""The rules of the library's thread and event pump, kept on the Python side.

The library runs its event loop only while one of its functions is running,
and delivers events to the callbacks nested inside that function. From inside
a callback a function that waits for the loop cannot make progress, so this
module refuses such calls with :class:`ReentrancyError`, and refuses calls
from any thread but the library's with :class:`WrongThreadError`.
"""

from __future__ import annotations

import collections
import contextlib
import threading
import time
from typing import Any, Callable, Deque, Iterator, List, Optional, Tuple

from ._native import Library, load_library
from .errors import ReentrancyError, WrongThreadError


class _State:
    def __init__(self) -> None:
        self.owner: Optional[int] = None  # ident of the library's thread
        self.handler_depth = 0  # > 0 while an event handler runs
        self.call_depth = 0  # nesting of calls into the library
        self.deferred: Deque[Tuple[Callable[..., Any], tuple, dict]] = collections.deque()
        # Callbacks of closed windows: released only once no library call is
        # running, never from inside the callback being released.
        self.retired: List[Any] = []
        # KeyboardInterrupt, SystemExit...: cannot cross the C library, so
        # raised again once the outermost library call has returned.
        self.pending: Optional[BaseException] = None


state = _State()


def in_handler() -> bool:
    """True while an event handler of this package is running."""
    return state.handler_depth > 0


@contextlib.contextmanager
def calling(function: str, waiting: bool = True) -> Iterator[Library]:
    """Guards one call into the library and yields the library.

    ``waiting`` marks functions that pump the event loop: they are refused
    inside an event handler.
    """
    me = threading.get_ident()
    if state.owner is None:
        state.owner = me
    elif state.owner != me:
        raise WrongThreadError(
            f"{function} called from thread {threading.current_thread().name!r}; the "
            "library works only on the thread that made its first call")
    if waiting and state.handler_depth > 0:
        raise ReentrancyError(function)
    library = load_library()
    state.call_depth += 1
    try:
        yield library
    finally:
        state.call_depth -= 1
        if state.call_depth == 0 and state.handler_depth == 0:
            state.retired.clear()
            pending, state.pending = state.pending, None
            if pending is not None:
                raise pending


def init() -> None:
    """Creates the library's central object on this thread (optional: the
    first call of any function does it). This thread then owns the library."""
    with calling("kiv_webview_init") as lib:
        lib.init()


def call_soon(function: Callable[..., Any], *args: Any, **kwargs: Any) -> None:
    """Runs ``function(*args, **kwargs)`` at the end of the next (or current)
    :func:`process_events` or :func:`run_until` step, outside every event
    handler, where it may call any function. This is how a handler reacts
    with a call that waits for the event loop, e.g. closing its window on
    "can-close?"."""
    state.deferred.append((function, args, kwargs))


def _run_deferred() -> None:
    while state.deferred and state.handler_depth == 0:
        function, args, kwargs = state.deferred.popleft()
        function(*args, **kwargs)


def process_events(ms: int = 10) -> None:
    """Runs the library's event loop for ``ms`` milliseconds; events reach
    their handlers meanwhile. Then runs the calls deferred with
    :func:`call_soon`. From inside an event handler it only sleeps, as the
    library does."""
    with calling("kiv_webview_process_events", waiting=False) as lib:
        lib.process_events(int(ms))
    _run_deferred()


def run_until(predicate: Callable[[], Any], timeout: Optional[float] = None,
              step_ms: int = 10) -> bool:
    """Pumps the event loop until ``predicate()`` is true or ``timeout``
    seconds (None: no limit) have passed.

    Returns:
        True when the predicate became true, False on timeout.
    """
    if state.handler_depth > 0:
        raise ReentrancyError("run_until")
    deadline = None if timeout is None else time.monotonic() + timeout
    while True:
        _run_deferred()
        if predicate():
            return True
        if deadline is not None and time.monotonic() >= deadline:
            return False
        process_events(step_ms)
