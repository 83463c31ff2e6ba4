"""What the waiting calls of a window return: the library's result records
as they came, and the choices made in the dialogs."""

from __future__ import annotations

import json
from dataclasses import dataclass, field
from typing import Any

from ._native import Library


@dataclass(frozen=True)
class RawResult:
    """A result record of the library as it came: its code and JSON text."""

    code: int
    text: str

    def decoded(self) -> Any:
        """The JSON text decoded."""
        return json.loads(self.text)


@dataclass(frozen=True)
class DirectoryChoice:
    """The directory the user chose in :meth:`Window.choose_dir`."""

    path: str
    raw: str = field(repr=False)


@dataclass(frozen=True)
class FileChoice:
    """The file the user chose in :meth:`Window.file_open` or
    :meth:`Window.file_save`, with the filter entry selected at the time
    (e.g. ``"Text (*.txt)"``; empty when no filter was given)."""

    path: str
    used_filter: str
    raw: str = field(repr=False)


def take_result(lib: Library, record: Any) -> RawResult:
    """Copies a result record and frees it."""
    try:
        code = int(record.contents.number)
        text = (record.contents.text or b"false").decode("utf-8", "replace")
    finally:
        lib.destroy_js_result(record)
    return RawResult(code, text)
