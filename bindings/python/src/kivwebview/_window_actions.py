"""What a window's frame does: moving and sizing it, showing, hiding and
raising it, its developer tools, closing it.

:class:`WindowActions` is a base class of :class:`~kivwebview.Window`,
which the reference documents as one class; it uses only the window's
public ``handle``.
"""

from __future__ import annotations

from typing import TYPE_CHECKING

from ._runtime import call_checked, calling


class WindowActions:
    """The actions of :class:`~kivwebview.Window` on its frame."""

    if TYPE_CHECKING:
        @property
        def handle(self) -> int: ...

    def move(self, x: int, y: int) -> None:
        """Moves the window's frame to (x, y); a "move" event follows."""
        call_checked("kiv_webview_move", self.handle,
                     lambda lib: lib.move(self.handle, int(x), int(y)))

    def resize(self, width: int, height: int) -> None:
        """Resizes the window; a "resize" event follows."""
        call_checked("kiv_webview_resize", self.handle,
                     lambda lib: lib.resize(self.handle, int(width), int(height)))

    def show(self) -> None:
        """Shows the window."""
        call_checked("kiv_webview_show", self.handle, lambda lib: lib.show(self.handle))

    def hide(self) -> None:
        """Hides the window."""
        call_checked("kiv_webview_hide", self.handle, lambda lib: lib.hide(self.handle))

    def present(self) -> None:
        """Shows and raises the window and asks for it to become active."""
        call_checked("kiv_webview_present", self.handle, lambda lib: lib.present(self.handle))

    def maximize(self) -> None:
        """Maximises the window."""
        call_checked("kiv_webview_maximize", self.handle, lambda lib: lib.maximize(self.handle))

    def minimize(self) -> None:
        """Minimises the window."""
        call_checked("kiv_webview_minimize", self.handle, lambda lib: lib.minimize(self.handle))

    def show_normal(self) -> None:
        """Shows the window neither minimised nor maximised."""
        call_checked("kiv_webview_show_normal", self.handle,
                     lambda lib: lib.show_normal(self.handle))

    def open_devtools(self) -> None:
        """Opens a developer-tools window for the page."""
        call_checked("kiv_webview_open_devtools", self.handle,
                     lambda lib: lib.open_devtools(self.handle))

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
            lib.close(self.handle)
