"""Exposed functions: pages call the host through window.kiv.api and get
promises; values and errors travel as data; calls run in order, one at a
time, outside handlers; calls of a replaced page or a closed window are
dropped without error."""

import threading

import kivwebview
from kivwebview import _page

from kivtest import Recorder, capture_log

def page_sent(recorder, key):
    """Waits for the page to send an item with ``key``; returns its value."""
    assert kivwebview.run_until(
        lambda: any(key in e.payload for e in recorder.named("js-evt")), 60), recorder.names()
    return next(e.payload[key] for e in recorder.named("js-evt") if key in e.payload)


VALUES_PAGE = """<p>values</p><script>
window.kiv = {mine: 'kept', api: {own: 1}};
addEventListener('kiv-api-ready', async () => {
  const api = kiv.api, out = {};
  out.add = await api.add(2, 3);
  out.nested = await api.echo({a: [1, null, true, 2.5], 'é': '€', n: -0.5});
  out.undef = await api.echo(undefined);
  out.none = await api.greet();
  out.named = await api.shout('hi');
  const failing = {fails: () => api.fails('x'), nan: () => api.nan(), aset: () => api.aset(),
                   cyclic: () => { const o = {}; o.o = o; return api.echo(o); }};
  for (const [name, call] of Object.entries(failing)) {
    try { await call(); out[name] = 'resolved'; }
    catch (e) { out[name] = [e.name, e.message, e instanceof Error]; }
  }
  out.uses = await api.uses_the_window();
  out.kept = [kiv.mine, kiv.api.own, Object.keys(kiv.api).sort()];
  kiv_send_event({out});
}, {once: true});
</script>"""


def test_pages_call_exposed_functions_and_get_their_values_and_errors():
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder)
    inside = []

    @window.expose
    def add(a, b):
        return a + b

    @window.expose("echo")
    def echo_value(value):
        return value

    @window.expose()
    def greet():
        return "hello"

    def fails(text):
        raise ValueError(f"bad {text}")

    def uses_the_window():
        # Outside every handler: waiting calls work here.
        inside.append((kivwebview.in_handler(), threading.current_thread() is
                       threading.main_thread()))
        window.title = "set by an exposed function"
        return window.call_js("return document.querySelector('p').textContent;")

    assert window.expose(lambda text: text.upper(), name="shout") is not None
    assert window.expose(fails) is fails
    window.expose(lambda: float("nan"), name="nan")
    window.expose(lambda: {1, 2}, name="aset")
    window.expose(uses_the_window)

    for bad in ("a.b", "1x", "x y", "", "__proto__", "é", "a" * 201):
        try:
            window.expose(add, bad)
            raise AssertionError(f"the name {bad!r} was accepted")
        except ValueError as error:
            assert "identifier" in str(error)
    for call, error_type in ((lambda: window.expose(lambda: 1), ValueError),
                             (lambda: window.expose(add, 5), TypeError),
                             (lambda: window.expose(5, "five"), TypeError),
                             (lambda: window.expose("bad name"), ValueError)):
        try:
            call()
            raise AssertionError("accepted")
        except error_type:
            pass
    assert sorted(window.exposed) == ["add", "aset", "echo", "fails", "greet", "nan", "shout",
                                      "uses_the_window"]

    window.set_html(VALUES_PAGE)
    out = page_sent(recorder, "out")
    assert out["add"] == 5
    assert out["nested"] == {"a": [1, None, True, 2.5], "é": "€", "n": -0.5}
    assert out["undef"] is None and out["none"] == "hello" and out["named"] == "HI"
    assert out["fails"] == ["ValueError", "bad x", True]
    assert out["nan"][0] == "ValueError" and "JSON" in out["nan"][1]
    assert out["aset"][0] == "TypeError" and "JSON" in out["aset"][1]
    assert out["cyclic"][0] == "TypeError"  # JSON.stringify refused it in the page
    assert out["uses"] == "values"
    assert inside == [(False, True)]
    assert window.title == "set by an exposed function"
    # The page's own window.kiv and window.kiv.api keep their members.
    assert out["kept"] == ["kept", 1, ["add", "aset", "echo", "fails", "greet", "nan", "own",
                                       "shout", "uses_the_window"]]
    # The package's own messages never reached the handlers.
    assert [list(e.payload) for e in recorder.named("js-evt")] == [["out"]]

    # Exposing and unexposing on a loaded page take effect at once.
    window.expose(lambda: 7, name="late")
    window.unexpose("greet")
    assert window.call_js("return [typeof kiv.api.late, typeof kiv.api.greet, kiv.api.own];") \
        == ["function", "undefined", 1]
    # A new page gets every exposed function again.
    window.set_html("<p>second</p>")
    recorder.wait_for("page-loaded", count=2)
    assert window.call_js("return Object.keys(kiv.api).sort();") == [
        "add", "aset", "echo", "fails", "late", "nan", "shout", "uses_the_window"]


# Strings that would run as code if an answer were pasted into a script.
NASTY = [
    '"); alert(1); ("',
    "'); alert(1); ('",
    '"); window.pwned = 1; ("',
    "`${window.pwned = 1}`",
    "</script><script>window.pwned = 1</script>",
    "quote \" apostrophe ' backslash \\ backtick `",
    "line\u2028separator\u2029paragraph",
    "lone \ud800 high",
    "lone \udfff low",
    "\udc00\ud800 reversed pair",
    "nul \u0000 char",
    "emoji \U0001F600 é €",
    "\\u0041 is not an escape",
    "ends with a backslash \\",
]

INJECTION_PAGE = """<p>injection</p><script>
window.alert = () => { window.alerted = (window.alerted || 0) + 1; };
addEventListener('kiv-api-ready', async () => {
  const cases = CASES, same = [], keys = [], messages = [];
  for (const text of cases) {
    same.push((await kiv.api.echo(text)) === text);
    const keyed = await kiv.api.echo({[text]: text});
    keys.push(Object.keys(keyed).length === 1 && keyed[text] === text);
    try { await kiv.api.fail(text); messages.push('resolved'); }
    catch (e) { messages.push(e.message === text && e.name === 'ValueError'); }
  }
  let named;
  try { await kiv.api.odd_type(); } catch (e) { named = e.name === ODD_NAME; }
  kiv_send_event({same, keys, messages, named,
                  touched: [typeof window.pwned, typeof window.alerted]});
}, {once: true});
</script>"""


def test_answers_reach_the_page_as_data_and_are_never_run_as_code():
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder)
    received = []

    @window.expose
    def echo(value):
        received.append(value)
        return value

    @window.expose
    def fail(text):
        raise ValueError(text)

    odd_name = '");window.pwned=1;("</script>\u2028'
    odd_class = type(odd_name, (Exception,), {})

    @window.expose
    def odd_type():
        raise odd_class("odd")

    window.set_html(INJECTION_PAGE.replace("CASES", _page.js_literal(NASTY))
                    .replace("ODD_NAME", _page.js_literal(odd_name)))
    result = page_sent(recorder, "same")
    item = next(e.payload for e in recorder.named("js-evt") if "same" in e.payload)
    assert result == [True] * len(NASTY)
    assert item["keys"] == [True] * len(NASTY)
    assert item["messages"] == [True] * len(NASTY)
    assert item["named"] is True
    assert item["touched"] == ["undefined", "undefined"]
    # The host got exactly the page's strings, lone surrogates included.
    assert received[0::2] == NASTY
    assert received[1::2] == [{text: text} for text in NASTY]


ORDER_PAGE = """<p>order</p><script>
addEventListener('kiv-api-ready', () => {
  if (window.started) return;
  window.started = true;
  const settled = [];
  Promise.all([1, 2, 3, 4, 5, 6].map(n => kiv.api.work(n).then(v => (settled.push(v), v))))
    .then(values => kiv_send_event({values, settled}));
});
</script>"""


def test_calls_run_in_order_one_at_a_time_and_survive_the_script_running_again():
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder)
    log = []

    @window.expose
    def work(n):
        log.append(("start", n))
        if n == 3:
            # The page script runs again in the same document while calls
            # 3 to 6 wait in the page: none of them is lost or doubled.
            window.expose(lambda: None, name="extra")
            window.expose(lambda: None, name="extra")
            allowed = window._page_api.origin_rule.page_literal()
            window.run_js(_page.install_script(["work", "extra"], hello=True, allowed=allowed))
        # A waiting call pumps the loop: later calls arrive meanwhile but wait.
        value = window.call_js(f"return {n} * 10;")
        log.append(("end", n))
        return value

    window.set_html(ORDER_PAGE)
    values = page_sent(recorder, "values")
    settled = next(e.payload["settled"] for e in recorder.named("js-evt") if "values" in e.payload)
    assert values == [10, 20, 30, 40, 50, 60]
    assert settled == values
    assert log == [(edge, n) for n in range(1, 7) for edge in ("start", "end")]
    assert window.call_js("const s = window[Symbol.for('kivwebview.api')];"
                          "return [s.pending.size, s.next, typeof kiv.api.extra];") \
        == [0, 6, "function"]


REPLACED_PAGE = """<p>A</p><script>
addEventListener('kiv-api-ready', () => {
  kiv_send_event({doc: window[Symbol.for('kivwebview.api')].doc});
  kiv.api.replace().then(v => kiv_send_event({a_got: v}));
  kiv.api.record('from the replaced page');
}, {once: true});
</script>"""

NEW_PAGE = """<p>B</p><script>
addEventListener('kiv-api-ready', () => {
  window.got = [];
  kiv.api.later().then(v => { got.push(v); kiv_send_event({b_got: v}); });
  kiv_send_event({ready: 1});
}, {once: true});
</script>"""

CLOSING_PAGE = """<p>C</p><script>
addEventListener('kiv-api-ready', () => {
  kiv.api.close_me();
  kiv.api.record('after the close');
}, {once: true});
</script>"""


def test_calls_of_a_replaced_page_or_a_closed_window_are_dropped_without_error():
    captured = capture_log()
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder)
    recorded, steps = [], []

    window.expose(recorded.append, name="record")

    @window.expose
    def replace():
        doc_a = page_sent(recorder, "doc")
        window.set_html(NEW_PAGE)
        page_sent(recorder, "ready")
        # The new page has a call with id 1 waiting too. An answer for the
        # old page's call 1 reaches the new page, which ignores it.
        window.run_js(_page.reply_script(doc_a, 1, _page.answer_value("forged")))
        steps.append("replaced")
        return "for the replaced page"

    @window.expose
    def later():
        steps.append("later")
        return "for the new page"

    window.set_html(REPLACED_PAGE)
    assert page_sent(recorder, "b_got") == "for the new page"
    assert steps == ["replaced", "later"]
    assert recorded == []  # the replaced page's queued call never ran
    assert window.call_js("return [window.got, window[Symbol.for('kivwebview.api')].pending.size];"
                          ) == [["for the new page"], 0]
    assert not any("a_got" in e.payload for e in recorder.named("js-evt"))

    # A window that closes while its calls wait: the running call's answer
    # and the queued call go nowhere, without an error.
    closing = kivwebview.Window()

    @closing.expose
    def close_me():
        closing.close()
        steps.append("closed")
        return "nobody hears this"

    closing.expose(recorded.append, name="record")
    closing.set_html(CLOSING_PAGE)
    assert kivwebview.run_until(lambda: closing.closed, 60)
    assert kivwebview.run_until(lambda: False, 0.3) is False
    assert steps[-1] == "closed" and recorded == []
    assert captured.warnings() == []
    assert window.call_js("return document.querySelector('p').textContent;") == "B"
