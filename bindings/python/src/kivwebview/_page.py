"""The scripts the package runs in pages for exposed functions and
awaitable calls, and the rules for what pages send back.

Everything the host puts into these scripts that is data (names, document
ids, answers) goes in as a JSON literal that holds only ASCII: JSON's string
escapes leave nothing that JavaScript reads differently (U+2028 and U+2029,
lone surrogates and every other non-ASCII character become \\u escapes), and
``<``, ``>`` and ``&`` are escaped too, so that the text is inert even inside
an HTML script element. Answers travel as a string that the page decodes
with ``JSON.parse``: never as code.
"""

from __future__ import annotations

import json
import os
import re
from typing import Any, Dict, Iterable, Optional

#: The key under which pages send the package's own messages with
#: ``kiv_send_event``; such items are consumed, not delivered as "js-evt".
MESSAGE_KEY = "kiv-api"

#: A valid name for an exposed function: an ASCII JavaScript identifier.
NAME = re.compile(r"[A-Za-z_$][A-Za-z0-9_$]*\Z")
# Names that would change the api object itself rather than add to it.
RESERVED_NAMES = frozenset({"__proto__"})
MAX_NAME_LENGTH = 200

#: A document id as the page script makes it: 16 random bytes in hex.
DOCUMENT_ID = re.compile(r"[0-9a-f]{32}\Z")
#: Call ids are positive integers that JavaScript numbers hold exactly.
MAX_ID = 2 ** 53 - 1

_STATE = 'window[Symbol.for("kivwebview.api")]'


# The script is shared by every host package of the library: an installed
# package carries a copy next to this module; in the source tree it is the
# one file in bindings/shared.
_SCRIPT_PLACES = (
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "page_api.js"),
    os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, os.pardir,
                 "shared", "page_api.js"),
)


def _load_source() -> str:
    for path in _SCRIPT_PLACES:
        if os.path.exists(path):
            break
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    # The leading comment explains the file; pages need only the code.
    code = [line for line in lines if not line.lstrip().startswith("//")]
    return "\n".join(code) + "\n"


_SOURCE = _load_source()


def js_literal(value: Any) -> str:
    """``value`` as a JSON literal of ASCII characters only, safe to place
    in a script as data."""
    text = json.dumps(value, ensure_ascii=True, allow_nan=False)
    return text.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")


def valid_name(name: Any) -> str:
    """Returns ``name`` when it may be exposed to pages; raises ValueError
    (TypeError for a non-string) otherwise."""
    if not isinstance(name, str):
        raise TypeError(f"an exposed function's name must be a str, not {type(name).__name__}")
    if not NAME.match(name) or len(name) > MAX_NAME_LENGTH or name in RESERVED_NAMES:
        raise ValueError(
            f"{name!r} cannot be exposed: a name must be an ASCII JavaScript identifier "
            "(letters, digits, _ and $, not starting with a digit), at most "
            f"{MAX_NAME_LENGTH} characters, and not __proto__; pass name=... to choose one")
    return name


def valid_document(doc: Any) -> Optional[str]:
    """The document id ``doc`` when it is one the page script makes, else None."""
    return doc if isinstance(doc, str) and DOCUMENT_ID.match(doc) else None


def valid_id(number: Any) -> Optional[int]:
    """The call id ``number`` when it is a positive integer, else None."""
    if type(number) is int and 0 < number <= MAX_ID:
        return number
    return None


def install_script(names: Optional[Iterable[str]], hello: bool,
                   allowed: Optional[Dict[str, Any]] = None) -> str:
    """The page script: with ``names`` (a list), window.kiv.api gets exactly
    those functions, in a document whose origin ``allowed`` admits (see
    :meth:`OriginRule.page_literal`; None admits none); with None it is left
    alone. ``hello`` makes the page announce its document id."""
    listed = "null" if names is None else js_literal(sorted(names))
    admitted = js_literal(allowed if allowed is not None
                          else {"all": False, "html": False, "origins": []})
    return (_SOURCE.replace("__NAMES__", listed)
            .replace("__HELLO__", "true" if hello else "false")
            .replace("__ALLOWED__", admitted))


def reply_script(doc: str, call_id: int, answer_json: str) -> str:
    """The script that hands ``answer_json`` to the page's call ``call_id``
    when the page's document is ``doc``; in any other document it does
    nothing."""
    return (f"(function () {{ var state = {_STATE}; if (state) state.reply("
            f"{js_literal(doc)}, {int(call_id)}, {js_literal(answer_json)}); }})();")


#: The body for ``kiv_webview_call_js`` that tells who the window's current
#: document is: ``[origin, scheme, document id or null]``. It answers through
#: the call's own result, which no page script can replace, and reads only
#: ``location``, which no page script can change; the document id is the
#: page's own to set, and counts only together with an origin the host
#: answers. Strict, so that nothing the page defines can reach this code.
IDENTITY_SCRIPT = ('"use strict"; var s = ' + _STATE + '; var doc = null;'
                   ' try { doc = s && typeof s.doc === "string" ? s.doc : null; } catch (e) {}'
                   ' return [location.origin, location.protocol, doc];')


def launch_script(call_id: int, token: str, js: str) -> str:
    """The body for ``kiv_webview_call_js`` that starts ``js`` as an async
    function and returns the page's document id at once. An outcome sent
    later carries ``token``."""
    return (install_script(None, False)
            + f"return {_STATE}.launch({int(call_id)}, {js_literal(token)}, "
              f"async function () {{\n{js}\n}});")


def take_script(call_id: int) -> str:
    """The body for ``kiv_webview_call_js`` that returns, as
    ``[document id, outcome]``, the outcome of the awaitable call ``call_id``
    as JSON text when it has settled by then, else null (the page then sends
    it when it settles)."""
    return (f"const state = {_STATE}; "
            f"return state ? [state.doc, state.take({int(call_id)})] : null;")


def answer_value(value: Any) -> str:
    """A successful answer as JSON text; raises TypeError or ValueError when
    ``value`` cannot be written as JSON."""
    return json.dumps({"ok": True, "value": value}, ensure_ascii=True, allow_nan=False)


def answer_error(kind: str, message: str) -> str:
    """A failed answer as JSON text: the page's promise rejects with an
    Error whose name is ``kind``."""
    return json.dumps({"ok": False, "error": {"type": kind, "message": message}},
                      ensure_ascii=True)
