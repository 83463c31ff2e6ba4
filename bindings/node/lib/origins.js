'use strict';
// Which documents a window's exposed functions answer.
//
// A document's origin is written as the web engine writes location.origin:
// scheme://host with :port unless the port is the scheme's default, the host
// in lower case (international names in their ASCII form, IPv6 addresses in
// brackets, compressed). "file://" stands for every local file. Pages shown
// from HTML text (setHtml, or a data: URL given to setUrl) have no origin of
// their own: they are told apart by their scheme.

/** Allows every origin: every page the window shows may call its functions. */
const ANY_ORIGIN = '*';

const DEFAULT_PORTS = { 'http:': '80', 'https:': '443', 'ws:': '80', 'wss:': '443', 'ftp:': '21' };
const HTML_SCHEMES = ['data:', 'kiv-html:'];

/** The origin of `url` as a page there reports it, or null when it has none
 * that can be told apart (no scheme, a data: or about: URL, an address that
 * cannot be parsed). */
function originOf(url) {
  if (typeof url !== 'string') return null;
  let parsed;
  try {
    parsed = new URL(url.trim());
  } catch {
    return null;
  }
  const scheme = parsed.protocol.toLowerCase();
  if (scheme === 'file:') return 'file://';
  if (!(scheme in DEFAULT_PORTS) || !parsed.hostname) return null;
  const host = parsed.hostname.replace(/\.+$/, '');
  if (!host) return null;
  const port = parsed.port && parsed.port !== DEFAULT_PORTS[scheme] ? `:${parsed.port}` : '';
  return `${scheme}//${host}${port}`;
}

/** True when `url` shows a page from HTML text (a data: URL). */
function showsHtml(url) {
  return typeof url === 'string' && url.trim().toLowerCase().startsWith('data:');
}

/** The origins one window's exposed functions answer: those of the URLs the
 * host loaded, the pages it showed from HTML text, and the origins it
 * allowed explicitly (ANY_ORIGIN for all). */
class OriginRule {
  constructor(allowed = []) {
    this.loadedOrigins = new Set();
    this.explicit = new Set();
    this.html = false;
    this.any = false;
    for (const origin of allowed) this.allow(origin);
  }

  allow(origin) {
    if (typeof origin !== 'string') {
      throw new TypeError(`an origin must be a string, not ${typeof origin}`);
    }
    if (origin.trim() === ANY_ORIGIN) {
      this.any = true;
      return;
    }
    const normal = originOf(origin);
    if (normal === null) {
      throw new RangeError(
        `${JSON.stringify(origin)} is not an origin: give scheme://host[:port] (http, https, ` +
        `file), or "${ANY_ORIGIN}" for every origin`);
    }
    this.explicit.add(normal);
  }

  loaded(url) {
    if (showsHtml(url)) {
      this.html = true;
      return null;
    }
    const origin = originOf(url);
    if (origin !== null) this.loadedOrigins.add(origin);
    return origin;
  }

  showedHtml() {
    this.html = true;
  }

  all() {
    return [...new Set([...this.loadedOrigins, ...this.explicit])].sort();
  }

  get origins() {
    return this.any ? [ANY_ORIGIN] : this.all();
  }

  /** True when a document that reports `origin` and `scheme` (its
   * location.origin and location.protocol) is answered. */
  admits(origin, scheme) {
    if (this.any) return true;
    if (this.html && HTML_SCHEMES.includes(scheme)) return true;
    return typeof origin === 'string' && (this.loadedOrigins.has(origin) || this.explicit.has(origin));
  }

  /** The rule as the page script takes it. */
  pageLiteral() {
    return { all: this.any, html: this.html, origins: this.all() };
  }
}

module.exports = { ANY_ORIGIN, OriginRule, originOf, showsHtml };
