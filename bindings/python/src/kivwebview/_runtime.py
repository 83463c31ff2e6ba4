"""The rules of the library's thread and event pump, kept on the Python side.

The library runs its event loop only while one of its functions is running,
and delivers events to the callbacks nested inside that function. From inside
a callback the few functions that wait for the loop to make progress cannot
work, so this module refuses them with :class:`ReentrancyError`; it refuses
calls from any thread but the library's with :class:`WrongThreadError`.

It also keeps the work that must run outside every event handler: functions
given to :func:`call_soon`, and the calls that pages make to exposed
functions, which run one at a time, in the order they arrived.
"""

from __future__ import annotations

import collections
import contextlib
import threading
import time
from typing import Any, Callable, Deque, Dict, Iterator, List, Optional, Set, Tuple

from ._native import Library, ResultCode, load_library
from .errors import ReentrancyError, ResultError, WrongThreadError

#: The length of one pumping piece, in milliseconds: the library's slice.
#: Between pieces the pumping loops look for work handed to them.
SLICE_MS = 2


class _State:
    def __init__(self) -> None:
        self.owner: Optional[int] = None  # ident of the library's thread
        self.handler_depth = 0  # > 0 while an event handler runs
        self.call_depth = 0  # nesting of calls into the library
        # Open windows by handle: keeps each window, and so its C callback,
        # alive until its "closed" event, whether the host keeps a reference
        # or not.
        self.open_windows: Dict[int, Any] = {}
        # call_soon's functions. deque.append and popleft are atomic, so
        # other threads may append while the library's thread takes.
        self.deferred: Deque[Tuple[Callable[..., Any], tuple, dict]] = collections.deque()
        # Calls of exposed functions made by pages, in arrival order; each
        # is a callable that runs (or drops) the call.
        self.page_calls: Deque[Callable[[], None]] = collections.deque()
        self.page_call_running = False
        # Tasks of asynchronous exposed functions, kept until they end.
        self.page_tasks: Set[Any] = set()
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


def check_thread(function: str) -> None:
    """Makes the calling thread the library's thread on the first call;
    raises :class:`WrongThreadError` on any other thread afterwards."""
    me = threading.get_ident()
    if state.owner is None:
        state.owner = me
    elif state.owner != me:
        raise WrongThreadError(
            f"{function} called from thread {threading.current_thread().name!r}; the "
            "library works only on the thread that made its first call (hand work to "
            "that thread with kivwebview.call_soon)")


@contextlib.contextmanager
def calling(function: str, refused_in_handler: bool = False) -> Iterator[Library]:
    """Guards one call into the library and yields the library.

    ``refused_in_handler`` marks the functions that cannot work inside an
    event handler (they wait for the page, and no slice of the event loop
    can start there); every other function works there as the C interface
    says.
    """
    check_thread(function)
    if refused_in_handler and state.handler_depth > 0:
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


def call_checked(function: str, handle: int, call: Callable[[Library], int]) -> None:
    """Guards one call into the library (see :func:`calling`) that returns a
    ``result_t``; raises :class:`ResultError` for a failure code."""
    with calling(function) as lib:
        code = call(lib)
    if code != ResultCode.oke:
        raise ResultError(function, handle, code)


def init() -> None:
    """Creates the library's central object on this thread (optional: the
    first call of any function does it). This thread then owns the library."""
    with calling("kiv_webview_init") as lib:
        lib.init()


def call_soon(function: Callable[..., Any], *args: Any, **kwargs: Any) -> None:
    """Runs ``function(*args, **kwargs)`` on the library's thread, outside
    every event handler, where it may call any function of the package.

    It runs at the end of the current or next :func:`process_events`, within
    about one slice (2 ms) of a waiting :func:`run_until` or
    :func:`run_async`, before that call next checks its condition. Functions
    run in the order they were given.

    This is how a handler reacts with a call that cannot work inside it
    (``call_js``), and how another thread hands work to the library's
    thread: ``call_soon`` itself may be called from any thread. An exception
    that the function raises propagates out of the pumping call that ran it.

    Example::

        def download(url):                 # on a worker thread
            data = urllib.request.urlopen(url).read()
            kivwebview.call_soon(win.run_js, f"show({json.dumps(len(data))})")

        threading.Thread(target=download, args=(url,), daemon=True).start()
        kivwebview.run_until(lambda: win.closed)
    """
    state.deferred.append((function, args, kwargs))


def has_work() -> bool:
    """True when :func:`run_deferred` has something to run now."""
    return bool(state.deferred) or (bool(state.page_calls) and not state.page_call_running)


def run_deferred() -> None:
    """Runs call_soon's functions, then the pages' calls, unless an event
    handler is running. A page call that is running (and pumps) holds back
    the next one."""
    while state.handler_depth == 0:
        if state.deferred:
            function, args, kwargs = state.deferred.popleft()
            function(*args, **kwargs)
        elif state.page_calls and not state.page_call_running:
            call = state.page_calls.popleft()
            state.page_call_running = True
            try:
                call()
            finally:
                state.page_call_running = False
        else:
            return


def process_events(ms: int = 10) -> None:
    """Runs the library's event loop for ``ms`` milliseconds; events reach
    their handlers meanwhile. Then runs the functions given to
    :func:`call_soon` and the calls pages made to exposed functions. From
    inside an event handler it only sleeps, as the library does."""
    with calling("kiv_webview_process_events") as lib:
        lib.process_events(int(ms))
    run_deferred()


def pump(step_ms: float) -> None:
    """Runs the event loop in slices for up to ``step_ms`` milliseconds,
    returning early when work for :func:`run_deferred` comes in."""
    end = time.monotonic() + step_ms / 1000.0
    while True:
        with calling("kiv_webview_process_events") as lib:
            lib.process_events(SLICE_MS)
        if has_work() or time.monotonic() >= end:
            return


def run_until(predicate: Callable[[], Any], timeout: Optional[float] = None,
              step_ms: int = 10) -> bool:
    """Pumps the event loop until ``predicate()`` is true or ``timeout``
    seconds (None: no limit) have passed.

    The predicate is checked at least every ``step_ms`` milliseconds, and
    at once after work handed over with :func:`call_soon` (from any thread)
    or a page's call of an exposed function has run.

    Returns:
        True when the predicate became true, False on timeout.
    Raises:
        ReentrancyError: called from inside an event handler, where the
            event loop cannot run.
    """
    if state.handler_depth > 0:
        raise ReentrancyError("run_until")
    check_thread("run_until")
    deadline = None if timeout is None else time.monotonic() + timeout
    while True:
        run_deferred()
        if predicate():
            return True
        if deadline is not None and time.monotonic() >= deadline:
            return False
        pump(step_ms)
