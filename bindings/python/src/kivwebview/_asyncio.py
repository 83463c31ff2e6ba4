"""Pumping the library from a running asyncio event loop.

The library's loop runs only inside its calls, on the library's thread; an
asyncio loop runs its coroutines on its own thread between their awaits. To
share the thread, one coroutine at a time pumps the library for one short
step (a few slices of 2 ms) and then yields to the asyncio loop, which runs
whatever else is ready (including its I/O) before the next step. Every
coroutine that waits for the library (:func:`run_async`, the awaitable calls)
shares those steps: the first one to wait pumps, the others wait for the end
of a step and check their own condition; when the pumping one is done
another takes over.

Handlers run nested in a step, never inside another coroutine; a future
that a handler completes wakes its coroutine only after the step.
"""

from __future__ import annotations

import asyncio
import time
from typing import Any, Callable, Dict, List, Optional

from ._runtime import check_thread, pump, run_deferred, state
from .errors import ReentrancyError

#: How long one step of run_async pumps the library before the asyncio loop
#: gets its turn, in milliseconds: the longest that a ready coroutine waits.
DEFAULT_STEP_MS = 4

#: Turns of the asyncio loop between two steps.
YIELDS = 3


class _Turns:
    """Which coroutine pumps for one asyncio loop, and the futures of the
    others, each completed at the end of a step."""

    def __init__(self, loop: asyncio.AbstractEventLoop) -> None:
        self.loop = loop
        self.pumping: Optional[object] = None
        self.users = 0
        self.waiting: List[asyncio.Future] = []

    def next_step(self) -> asyncio.Future:
        future = self.loop.create_future()
        self.waiting.append(future)
        return future

    def step_done(self) -> None:
        waiting, self.waiting = self.waiting, []
        for future in waiting:
            if not future.done():
                future.set_result(None)


_turns: Dict[asyncio.AbstractEventLoop, _Turns] = {}


async def pump_until(done: Callable[[], Any], step_ms: float = DEFAULT_STEP_MS,
                     function: str = "run_async") -> None:
    """Pumps the library in steps, yielding to the asyncio loop after each,
    until ``done()`` is true. Shares the steps with every other coroutine of
    the same asyncio loop that is waiting for the library."""
    if state.handler_depth > 0:
        raise ReentrancyError(function)
    check_thread(function)
    loop = asyncio.get_running_loop()
    turns = _turns.get(loop)
    if turns is None:
        turns = _turns[loop] = _Turns(loop)
    me = object()
    turns.users += 1
    try:
        while True:
            if turns.pumping is None:
                turns.pumping = me
            if turns.pumping is me:
                try:
                    run_deferred()
                    if done():
                        return
                    pump(step_ms)
                    run_deferred()
                finally:
                    turns.step_done()
                if done():
                    return
                # A wake-up in asyncio often takes a few hops through the
                # loop's queue (a timer or a socket sets a future, which
                # schedules its task): let a few run before the next step.
                for _ in range(YIELDS):
                    await asyncio.sleep(0)
            else:
                if done():
                    return
                await turns.next_step()
    finally:
        turns.users -= 1
        if turns.pumping is me:
            turns.pumping = None
            turns.step_done()  # another waiter takes over
        if turns.users == 0 and _turns.get(loop) is turns:
            del _turns[loop]


async def run_async(until: Optional[Callable[[], Any]] = None, *,
                    timeout: Optional[float] = None, step_ms: float = DEFAULT_STEP_MS) -> bool:
    """Pumps the library from a running asyncio loop, so that the loop's
    other coroutines keep running, until ``until()`` is true or, without
    ``until``, until every window has closed.

    Each step pumps the library for up to ``step_ms`` milliseconds (less
    when work comes in) and then yields to the asyncio loop. Functions
    given to :func:`call_soon`, from any thread, and the pages' calls of
    exposed functions run between steps, outside every handler; exposed
    ``async def`` functions run as tasks of this loop. Several coroutines may
    await ``run_async`` (or an awaitable call) at once: they share the steps.

    The other calls of the package stay plain calls, and the asyncio loop
    waits while one runs: most return within a slice, but a dialog returns
    only once the user has answered it, and :meth:`Window.call_js` once
    the page has (prefer :meth:`Window.call_js_async`).

    Args:
        until: a plain callable, checked before and after every step.
        timeout: seconds until it gives up (None: no limit).
        step_ms: the longest a step pumps before the loop gets its turn.

    Returns:
        True when ``until()`` became true (or the windows closed), False on
        timeout.
    Raises:
        ReentrancyError: awaited from inside an event handler.
        WrongThreadError: the loop runs on another thread than the library's.

    Example::

        async def main():
            win = kivwebview.Window()
            win.set_url("http://127.0.0.1:8000/")
            server = await asyncio.start_server(handle, "127.0.0.1", 8000)
            async with server:
                await kivwebview.run_async()   # until the window is closed

        asyncio.run(main())
    """
    deadline = None if timeout is None else time.monotonic() + timeout
    reached = False

    def done() -> bool:
        nonlocal reached
        reached = bool(until()) if until is not None else not state.open_windows
        return reached or (deadline is not None and time.monotonic() >= deadline)

    await pump_until(done, step_ms)
    return reached
