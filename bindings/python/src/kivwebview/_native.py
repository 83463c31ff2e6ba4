"""The shared library: finding and loading it, and its C prototypes."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from typing import List, Optional, Tuple

from ._codes import ResultCode, WindowState  # noqa: F401  (also reached through this module)
from .errors import KivWebviewError, LibraryNotFoundError

#: The environment variable naming the library file to load.
ENV_VARIABLE = "KIVWEBVIEW_LIBRARY"


class Record(ctypes.Structure):
    """``kiv_event_t`` and ``kiv_js_result_t``, which share one layout: an int
    (the window handle, or the result code) and a NUL-terminated UTF-8 text."""

    _fields_ = [("number", ctypes.c_int), ("text", ctypes.c_char_p)]


RecordPointer = ctypes.POINTER(Record)

#: ``kiv_event_callback_t``: receives a record that the callee then owns.
EventCallback = ctypes.CFUNCTYPE(None, RecordPointer)


def c_string(text: Optional[str], what: str) -> bytes:
    """``text`` as the UTF-8 bytes of a ``const char *`` argument (None gives
    the empty string); ``what`` names the argument in the errors."""
    if text is None:
        return b""
    if not isinstance(text, str):
        raise TypeError(f"{what} must be a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{what} contains a NUL character, which the C interface cannot pass")
    return text.encode("utf-8", "surrogatepass")

_int = ctypes.c_int
_text = ctypes.c_char_p

# name -> (argument types, result type)
_PROTOTYPES = {
    "kiv_webview_init": ([], None),
    "kiv_webview_create": ([_int, EventCallback], _int),
    "kiv_webview_close": ([_int], None),
    "kiv_webview_set_url": ([_int, _text], _int),
    "kiv_webview_set_html": ([_int, _text], _int),
    "kiv_webview_run_js": ([_int, _text], _int),
    "kiv_webview_call_js": ([_int, _text], RecordPointer),
    "kiv_webview_open_devtools": ([_int], _int),
    "kiv_webview_process_events": ([_int], None),
    "kiv_webview_destroy_event": ([RecordPointer], _int),
    "kiv_webview_destroy_js_result": ([RecordPointer], _int),
    "kiv_webview_move": ([_int, _int, _int], _int),
    "kiv_webview_resize": ([_int, _int, _int], _int),
    "kiv_webview_valid": ([_int], ctypes.c_bool),
    "kiv_webview_hide": ([_int], _int),
    "kiv_webview_show": ([_int], _int),
    "kiv_webview_present": ([_int], _int),
    "kiv_webview_maximize": ([_int], _int),
    "kiv_webview_minimize": ([_int], _int),
    "kiv_webview_show_normal": ([_int], _int),
    "kiv_webview_window_state": ([_int], _int),
    "kiv_webview_set_title": ([_int, _text], _int),
    "kiv_webview_choose_dir": ([_int, _text, _text], RecordPointer),
    "kiv_webview_file_open": ([_int, _text, _text, _text], RecordPointer),
    "kiv_webview_file_save": ([_int, _text, _text, _text], RecordPointer),
    "kiv_webview_set_ou_token": ([_int, _text], None),
}


class Library:
    """A loaded ``kivwebview_qt`` with its C functions declared.

    The functions are reachable as attributes without their ``kiv_webview_``
    prefix (``lib.set_url``); calling them directly bypasses every check the
    :class:`~kivwebview.Window` layer makes.
    """

    def __init__(self, path: str) -> None:
        self.path = path
        self.dll = ctypes.CDLL(path)
        for name, (argtypes, restype) in _PROTOTYPES.items():
            function = getattr(self.dll, name)
            function.argtypes = argtypes
            function.restype = restype
            setattr(self, name[len("kiv_webview_"):], function)

    def __repr__(self) -> str:
        return f"<kivwebview.Library {self.path!r}>"


def _system_names() -> List[str]:
    names = []
    found = ctypes.util.find_library("kivwebview_qt")
    if found:
        names.append(found)
    if sys.platform == "win32":
        names.append("kivwebview_qt.dll")
    elif sys.platform == "darwin":
        names += ["libkivwebview_qt.1.dylib", "libkivwebview_qt.dylib"]
    else:
        names += ["libkivwebview_qt.so.1", "libkivwebview_qt.so"]
    return list(dict.fromkeys(names))


def candidates(path: Optional[str]) -> Tuple[str, List[str]]:
    """Where the library is looked for: (how it was chosen, file names)."""
    if path:
        return "the explicit path", [os.fspath(path)]
    env = os.environ.get(ENV_VARIABLE)
    if env:
        return f"${ENV_VARIABLE}", [env]
    return "the system's library path", _system_names()


_lock = threading.Lock()
_loaded: Optional[Library] = None


def load_library(path: "Optional[str | os.PathLike[str]]" = None) -> Library:
    """Loads the library once per process and returns it.

    The file is, in this order: ``path`` when given; the file named by the
    environment variable ``KIVWEBVIEW_LIBRARY`` when set; otherwise the
    library found on the system's library path. A later call returns the
    library already loaded; asking for a different file then raises
    :class:`~kivwebview.KivWebviewError`, since the library keeps one central
    object per process.

    Example::

        kivwebview.load_library("build/library/libkivwebview_qt.so")
    """
    global _loaded
    with _lock:
        how, names = candidates(os.fspath(path) if path is not None else None)
        if _loaded is not None:
            if path is not None and os.path.realpath(names[0]) != os.path.realpath(_loaded.path):
                raise KivWebviewError(
                    f"kivwebview_qt is already loaded from {_loaded.path}; "
                    f"cannot load {names[0]} as well")
            return _loaded
        failures = []
        for name in names:
            try:
                _loaded = Library(name)
                return _loaded
            except OSError as error:
                failures.append(f"{name}: {error}")
        raise LibraryNotFoundError(
            f"could not load kivwebview_qt from {how} ("
            + ("; ".join(failures) or "no candidates") + ")"
        )


def loaded_library() -> Optional[Library]:
    """The library loaded so far, or None."""
    return _loaded
