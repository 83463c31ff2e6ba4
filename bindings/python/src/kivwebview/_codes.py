"""The C interface's enums, shared by the loader and the exceptions."""

from __future__ import annotations

import enum


class ResultCode(enum.IntEnum):
    """The C interface's ``result_t``. Member names are the C names."""

    oke = 0
    set_html_failed = 1
    set_url_failed = 2
    eval_js_failed = 3
    move_window_failed = 12
    resize_window_failed = 13
    dialog_failed = 14
    window_action_failed = 17


class WindowState(enum.IntEnum):
    """The C interface's ``window_state_t``: a base state plus 16 when active."""

    invalid = -1
    normal = 0
    minimized = 1
    maximized = 2
    hidden = 3
    normal_active = 16
    maximized_active = 18

    @property
    def active(self) -> bool:
        """True when the window is the active window."""
        return self.value >= 0 and bool(self.value & 16)

    @property
    def base(self) -> "WindowState":
        """The state without its active mark (``normal_active`` gives ``normal``)."""
        return self if self.value < 0 else WindowState(self.value & ~16)
