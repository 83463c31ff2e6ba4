"""Which documents a window's exposed functions answer.

A document's origin is written as the web engine writes ``location.origin``:
``scheme://host`` with ``:port`` unless the port is the scheme's default,
the host in lower case (international names in their ASCII form, IPv6
addresses in brackets, compressed). ``file://`` stands for every local
file. Pages shown from HTML text (``set_html``, or a ``data:`` URL given to
``set_url``) have no origin of their own: they are told apart by their
scheme.
"""

from __future__ import annotations

import ipaddress
from typing import Any, Dict, Iterable, List, Optional, Set
from urllib.parse import urlsplit

#: Allows every origin: every page the window shows may call its functions.
ANY_ORIGIN = "*"

_DEFAULT_PORTS = {"http": 80, "https": 443, "ws": 80, "wss": 443, "ftp": 21}
# The schemes of documents shown from HTML text.
_HTML_SCHEMES = ("data:", "kiv-html:")


def origin_of(url: str) -> Optional[str]:
    """The origin of ``url`` as a page there reports it (``location.origin``),
    or None when it has none that can be told apart (no scheme, a ``data:``
    or ``about:`` URL, an address that cannot be parsed)."""
    try:
        parts = urlsplit(url.strip())
        scheme = parts.scheme.lower()
        if scheme == "file":
            return "file://"
        if scheme not in _DEFAULT_PORTS or not parts.hostname:
            return None
        host = parts.hostname.rstrip(".")
        port = parts.port
    except ValueError:
        return None
    try:
        address = ipaddress.ip_address(host)
        host = f"[{address.compressed}]" if address.version == 6 else address.compressed
    except ValueError:
        try:
            host = host.encode("idna").decode("ascii").lower()
        except UnicodeError:
            return None
    if port is not None and port != _DEFAULT_PORTS[scheme]:
        return f"{scheme}://{host}:{port}"
    return f"{scheme}://{host}"


def shows_html(url: str) -> bool:
    """True when ``url`` shows a page from HTML text (a ``data:`` URL)."""
    return url.strip().lower().startswith("data:")


class OriginRule:
    """The origins one window's exposed functions answer: those of the URLs
    the host loaded, the pages it showed from HTML text, and the origins it
    allowed explicitly (:data:`ANY_ORIGIN` for all)."""

    def __init__(self, allowed: Iterable[str] = ()) -> None:
        self._loaded: Set[str] = set()
        self._explicit: Set[str] = set()
        self._html = False
        self._any = False
        for origin in allowed:
            self.allow(origin)

    def allow(self, origin: str) -> None:
        """Answers pages of ``origin`` too (a URL stands for its origin)."""
        if not isinstance(origin, str):
            raise TypeError(f"an origin must be a str, not {type(origin).__name__}")
        if origin.strip() == ANY_ORIGIN:
            self._any = True
            return
        normal = origin_of(origin)
        if normal is None:
            raise ValueError(
                f"{origin!r} is not an origin: give scheme://host[:port] (http, https, file), "
                f"or {ANY_ORIGIN!r} for every origin")
        self._explicit.add(normal)

    def loaded(self, url: str) -> Optional[str]:
        """Notes that the host loaded ``url``; returns its origin (None when
        it has none that the rule can answer)."""
        if shows_html(url):
            self._html = True
            return None
        origin = origin_of(url)
        if origin is not None:
            self._loaded.add(origin)
        return origin

    def showed_html(self) -> None:
        """Notes that the host showed a page from HTML text."""
        self._html = True

    @property
    def origins(self) -> List[str]:
        """Every origin answered, sorted; ``["*"]`` when any is."""
        if self._any:
            return [ANY_ORIGIN]
        return sorted(self._loaded | self._explicit)

    def admits(self, origin: Any, scheme: Any) -> bool:
        """True when a document that reports ``origin`` and ``scheme`` (its
        ``location.origin`` and ``location.protocol``) is answered."""
        if self._any:
            return True
        if self._html and scheme in _HTML_SCHEMES:
            return True
        return isinstance(origin, str) and origin in (self._loaded | self._explicit)

    def page_literal(self) -> Dict[str, Any]:
        """The rule as the page script takes it."""
        return {"all": self._any, "html": self._html,
                "origins": sorted(self._loaded | self._explicit)}
