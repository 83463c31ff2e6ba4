// The page side of exposed functions and awaitable JavaScript calls, shared
// by every host package of kivwebview_qt (bindings/python, bindings/node).
// A package runs this script in a page, its three arguments filled in as
// JSON literals (__NAMES__, __HELLO__, __ALLOWED__), after every
// "page-loaded" of a window that uses them, and at the start of each
// awaitable call.
//
// Running it again in the same document is harmless: the call state lives in
// one object per document, stored once under a registered symbol, so pending
// promises are kept; only the functions under window.kiv.api are brought up
// to date.
//
// Messages to the host go through the library's bridge, window.kiv_send_event,
// as {"kiv-api": {...}}; each carries the document's random id, so that the
// host can tell a replaced page's calls from the current page's. Answers come
// back as scripts that hand a JSON text, as a string, to state.reply; an
// answer for another document id is ignored.
//
// Nothing here is a guard against the page itself: a page can send any
// message it likes. The host runs an exposed function only after asking the
// window's current document, in a call the page cannot answer in its place,
// for its origin (location.origin, which no page script can change) and its
// id. This script only keeps window.kiv.api away from documents whose origin
// the host does not answer, so that they see no functions to call.
(function (names, hello, allowed) {
    "use strict";
    var KEY = Symbol.for("kivwebview.api");
    var state = window[KEY];
    if (!state) {
        var bytes = new Uint8Array(16);
        crypto.getRandomValues(bytes);
        var doc = "";
        for (var i = 0; i < bytes.length; ++i)
            doc += (bytes[i] + 256).toString(16).slice(1);
        state = { doc: doc, next: 0, pending: new Map(), names: [] };

        state.send = function (message) {
            var send = window.kiv_send_event;
            if (typeof send !== "function")
                throw new Error("window.kiv_send_event is missing: the page cannot reach the host");
            message.doc = state.doc;
            send({ "kiv-api": message });
        };

        // A call of an exposed function: a promise that state.reply settles.
        // The arguments are turned into JSON text at once, so that changing
        // them afterwards changes nothing.
        state.call = function (name, args) {
            return new Promise(function (resolve, reject) {
                var text = JSON.stringify(args);
                var id = ++state.next;
                state.pending.set(id, { resolve: resolve, reject: reject });
                try {
                    state.send({ call: id, name: name, args: text });
                } catch (error) {
                    state.pending.delete(id);
                    throw error;
                }
            });
        };

        // The host's answer to call `id`, as JSON text:
        // {"ok":true,"value":V} or {"ok":false,"error":{"type":T,"message":M}}.
        state.reply = function (doc, id, text) {
            if (doc !== state.doc)
                return;
            var waiting = state.pending.get(id);
            if (!waiting)
                return;
            state.pending.delete(id);
            var answer = JSON.parse(text);
            if (answer.ok) {
                waiting.resolve(answer.value);
            } else {
                var error = new Error(String(answer.error.message));
                error.name = String(answer.error.type);
                waiting.reject(error);
            }
        };

        // An awaitable call from the host: runs `body` (an async function)
        // and returns this document's id at once. The host then takes the
        // outcome with state.take when the body has settled by then (it
        // awaited nothing that takes time); otherwise the outcome is sent,
        // with the call's token, when it settles.
        state.outcomes = new Map();
        state.sendLater = new Set();
        state.take = function (id) {
            var text = state.outcomes.get(id);
            if (text === undefined) {
                state.sendLater.add(id);
                return null;
            }
            state.outcomes.delete(id);
            return text;
        };
        state.launch = function (id, token, body) {
            var settle = function (outcome) {
                var text;
                try {
                    text = JSON.stringify(outcome);
                } catch (error) {
                    text = JSON.stringify({
                        ok: false,
                        error: "the result cannot be sent as JSON: " + String(error && error.message)
                    });
                }
                if (state.sendLater.delete(id))
                    state.send({ js: id, token: token, reply: text });
                else
                    state.outcomes.set(id, text);
            };
            new Promise(function (resolve) { resolve(body()); }).then(
                function (value) { settle({ ok: true, value: value }); },
                function (error) {
                    settle({ ok: false, error: error instanceof Error ? error.message : String(error) });
                });
            return state.doc;
        };

        Object.defineProperty(window, KEY, { value: state });
    }

    // Whether this document's origin is one the host answers: allowed is
    // {all: bool, html: bool, origins: [...]}, a literal of this script, and
    // the test reads only its own members, location (which pages cannot
    // replace) and ===.
    var answered = function () {
        if (allowed.all === true)
            return true;
        var scheme = location.protocol;
        if (allowed.html === true && (scheme === "data:" || scheme === "kiv-html:"))
            return true;
        var here = location.origin;
        var origins = allowed.origins;
        for (var i = 0; i < origins.length; ++i) {
            if (origins[i] === here)
                return true;
        }
        return false;
    };

    // window.kiv and window.kiv.api: made when missing, added to when they
    // exist. A window.kiv that is not an object belongs to the page and is
    // left alone, as is one that takes no new members.
    var installNames = function () {
        var kiv = window.kiv;
        if (kiv === undefined || kiv === null) {
            kiv = {};
            window.kiv = kiv;
        }
        if (typeof kiv !== "object" && typeof kiv !== "function")
            return;
        var api = kiv.api;
        if (typeof api !== "object" || api === null) {
            api = {};
            kiv.api = api;
        }
        state.names.forEach(function (name) {
            if (names.indexOf(name) < 0 && api[name] && api[name][KEY])
                delete api[name];
        });
        names.forEach(function (name) {
            var stub = function () {
                return state.call(name, Array.prototype.slice.call(arguments));
            };
            stub[KEY] = true;
            api[name] = stub;
        });
    };

    if (names !== null && !answered())
        names = null;
    if (names !== null) {
        try {
            installNames();
        } catch (error) {
            // The page's own window.kiv stays as it is.
        }
        state.names = names.slice();
    }
    if (hello) {
        try {
            state.send({ hello: 1 });
        } catch (error) {
            // No bridge in this document: its calls fail when they are made.
        }
    }
    if (names !== null)
        window.dispatchEvent(new Event("kiv-api-ready"));
})(__NAMES__, __HELLO__, __ALLOWED__);
