"""A window's events as its handlers receive them, and the handlers' running.

The library hands each event to the window's C callback as a record that
the callee owns: a handle and a JSON text. The window copies the record and
gives it back at once (:func:`read_record`), decodes the text
(:func:`decode`) and has its :class:`Handlers` run, nested in whatever call
pumps the loop.
"""

from __future__ import annotations

import json
import logging
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Callable, Dict, List, Optional, Tuple

from ._native import Library
from ._runtime import state

if TYPE_CHECKING:
    from .window import Window

log = logging.getLogger("kivwebview")

#: An event handler: called with each :class:`Event` it is registered for.
Handler = Callable[["Event"], Any]

#: Registering a handler under this name gives it every event of the window.
ALL_EVENTS = "*"


@dataclass(frozen=True)
class Event:
    """One event of a window, decoded from the library's JSON text.

    Attributes:
        window: the window the event concerns.
        name: the event's name (the "event" member), e.g. "page-loaded".
        data: the whole JSON object, e.g. ``{"event": "move", "x": 10, "y": 20}``.
        raw: the JSON text as the library delivered it.

    The events, with what ``data`` holds besides ``"event"``:

    ============== ========================= =====================================
    ``name``       ``data`` members          when
    ============== ========================= =====================================
    "show"         (none)                    the window was shown; the first event
                                             of every window, before the
                                             constructor returns
    "page-loaded"  ``oke``: bool             a page finished loading (False: it
                                             failed); exposed functions are in
                                             place when the handlers run
    "js-evt"       ``js-evt``: dict          the page sent an object with
                                             ``window.kiv_send_event(obj)``
                                             (``{}`` for a non-object); also
                                             :attr:`Event.payload`
    "move"         ``x``, ``y``: int         the window moved (500 ms after the
                                             last move)
    "resize"       ``w``, ``h``: int         the window was resized (500 ms after
                                             the last resize)
    "hide"         (none)                    the window was hidden
    "can-close?"   (none)                    the user asked to close the window
                                             (its close button, the window
                                             manager); it stays open until the
                                             host calls :meth:`Window.close`
    "closed"       (none)                    the window closed: the last event of
                                             its handle
    "url-changed"  ``url``: str              the page shows a new address (a
                                             load, before its "page-loaded"; a
                                             link, a redirect, the history API,
                                             a fragment); a ``set_html`` page
                                             is ``"kiv-html:HANDLE/N"``
    ============== ========================= =====================================

    The library's other events reach handlers the same way, under their own
    names: "renderer-gone", "new-window", "popup-blocked", "download-started",
    "download-finished", "download-blocked", "fullscreen", "print-finished"
    and "notification" (the README's table of events gives their members).

    The library may add events in later versions: handlers registered for a
    name see only that name, and "*" handlers see every event, known or not.
    Items that the package's own page script sends (under the key
    ``"kiv-api"``) are consumed by the package and never reach handlers.
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


def read_record(lib: Library, record: Any) -> Tuple[int, str]:
    """Copies an event record (its handle and its text) and gives it back
    to the library, which made it for the callee to free."""
    try:
        handle = int(record.contents.number)
        raw = (record.contents.text or b"").decode("utf-8", "replace")
    finally:
        lib.destroy_event(record)
    return handle, raw


def decode(handle: int, raw: str) -> Optional[Tuple[str, Dict[str, Any]]]:
    """The name and the object of the event text ``raw``; None (and an
    error on the log) when the text is not an event."""
    try:
        data = json.loads(raw)
        name = str(data["event"])
    except (ValueError, KeyError, TypeError):
        log.error("window %d: undecodable event %r", handle, raw)
        return None
    return name, data


class Handlers:
    """One window's handlers by event name (:data:`ALL_EVENTS` for the
    handlers of every event), in registration order."""

    def __init__(self) -> None:
        self._by_name: Dict[str, List[Handler]] = {}

    def add(self, name: str, handler: Handler) -> None:
        self._by_name.setdefault(name, []).append(handler)

    def remove(self, name: str, handler: Handler) -> None:
        """Raises ValueError when ``handler`` is not registered for ``name``."""
        self._by_name.get(name, []).remove(handler)

    def run(self, event: Event, handle: int) -> None:
        """Runs the handlers of ``event.name``, then the "*" handlers: those
        registered when the event arrived. An exception a handler raises is
        logged and the next handler runs; KeyboardInterrupt, SystemExit and
        the like are kept for the outermost library call to raise once the
        library has returned."""
        for handler in self._by_name.get(event.name, []) + self._by_name.get(ALL_EVENTS, []):
            try:
                handler(event)
            except Exception:
                log.exception("window %d: handler %r raised on event %s",
                              handle, handler, event.raw)
            except BaseException as error:  # KeyboardInterrupt, SystemExit
                if state.pending is None:
                    state.pending = error
