"""A window's file and directory dialogs, modal to it.

:class:`WindowDialogs` is a base class of :class:`~kivwebview.Window`,
which the reference documents as one class; it uses only the window's
public ``handle``.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, Callable, Optional

from ._native import Library, ResultCode, c_string
from ._results import DirectoryChoice, FileChoice, RawResult, take_result
from ._runtime import calling
from .errors import ResultError


class WindowDialogs:
    """The dialogs of :class:`~kivwebview.Window`."""

    if TYPE_CHECKING:
        @property
        def handle(self) -> int: ...

    def _dialog(self, function: str, call: Callable[[Library], Any]) -> RawResult:
        with calling(function) as lib:
            answer = take_result(lib, call(lib))
        if answer.code != ResultCode.oke:
            raise ResultError(function, self.handle, answer.code, answer.text)
        return answer

    def choose_dir_raw(self, title: str = "", directory: str = "") -> RawResult:
        """:meth:`choose_dir`, returning the library's answer unchanged."""
        args = (c_string(title, "title"), c_string(directory, "directory"))
        return self._dialog("kiv_webview_choose_dir",
                            lambda lib: lib.choose_dir(self.handle, *args))

    def file_open_raw(self, title: str = "", directory: str = "", filter: str = "") -> RawResult:
        """:meth:`file_open`, returning the library's answer unchanged."""
        args = (c_string(title, "title"), c_string(directory, "directory"),
                c_string(filter, "filter"))
        return self._dialog("kiv_webview_file_open",
                            lambda lib: lib.file_open(self.handle, *args))

    def file_save_raw(self, title: str = "", directory: str = "", filter: str = "") -> RawResult:
        """:meth:`file_save`, returning the library's answer unchanged."""
        args = (c_string(title, "title"), c_string(directory, "directory"),
                c_string(filter, "filter"))
        return self._dialog("kiv_webview_file_save",
                            lambda lib: lib.file_save(self.handle, *args))

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
