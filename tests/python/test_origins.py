"""Exposed functions answer only the window's own pages: those it showed
from HTML text, those of the origins it loaded (and pages of those origins
reached by links), and origins the host allowed. A page of another origin,
a message a page made up, or one left over from a replaced page runs
nothing; an awaitable call takes its answer only from its own document."""

import asyncio

import pytest

import kivwebview
from kivwebview import JavaScriptError

from kivtest import PageServer, Recorder, capture_log

BOUND = 60  # seconds: generous, to catch hangs only

# A page of the host's: calls the exposed function once its api is ready,
# and reports what it got and its document's id.
OWN = """<p>NAME</p><a id=next href="NEXT">next</a><script>
addEventListener('kiv-api-ready', async () => {
  const got = await kiv.api.secret('NAME');
  kiv_send_event({page: 'NAME', got, doc: window[Symbol.for('kivwebview.api')].doc});
}, {once: true});
</script>"""

# A page of another origin, reached by a link: it looks for the api, then
# sends calls it made up: with the id of the host's page it came from
# (copied, as a leak would give it), with an id of its own invention, and
# through a call state of its own, whose promise must reject.
FOREIGN = """<p>foreign</p><script>
const copied = new URLSearchParams(location.search).get('doc');
let ready = false;
addEventListener('kiv-api-ready', () => { ready = true; });
const forge = (id, doc, who) => kiv_send_event({'kiv-api': {
  call: id, name: 'secret', args: JSON.stringify([who]), doc}});
const go = async () => {
  const state = window[Symbol.for('kivwebview.api')];
  forge(1, copied, 'copied id');
  forge(2, 'f'.repeat(32), 'made-up id');
  forge(3, state.doc, 'own id');
  let rejected = null;
  try { await state.call('secret', ['through its own state']); rejected = 'resolved'; }
  catch (e) { rejected = [e.name, e.message]; }
  kiv_send_event({foreign: [typeof window.kiv, ready], rejected});
};
// The host's page script runs here once the page has loaded; go on after it.
const wait = () => window[Symbol.for('kivwebview.api')] ? setTimeout(go, 200) : setTimeout(wait, 20);
wait();
</script>"""


def payloads(recorder, key):
    return [e.payload for e in recorder.named("js-evt") if key in e.payload]


def page_sent(recorder, key):
    assert kivwebview.run_until(lambda: payloads(recorder, key), BOUND), recorder.names()
    return payloads(recorder, key)[-1]


def own_page(name, next_url="#"):
    return OWN.replace("NAME", name).replace("NEXT", next_url)


def follow_link(window, url=None):
    """Navigates the page as a click on its link does (a navigation the
    page starts itself)."""
    if url is not None:
        window.run_js(f"document.getElementById('next').href = {url!r};")
    window.run_js("document.getElementById('next').click();")


@pytest.fixture
def servers():
    home, foreign = PageServer(), PageServer({"/help.html": FOREIGN})
    yield home, foreign
    home.close()
    foreign.close()


def exposing_window(**options):
    """A window exposing secret(who), which records who called; returns
    (window, recorder, calls)."""
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder, **options)
    calls = []

    @window.expose
    def secret(who):
        calls.append(who)
        return "s3cret"

    return window, recorder, calls


def test_own_pages_and_their_origin_call_and_a_foreign_origin_is_refused(servers):
    home, foreign = servers
    captured = capture_log()
    window, recorder, calls = exposing_window()
    home.pages.update({"/index.html": own_page("index", "/second.html"),
                       "/second.html": own_page("second")})

    # The host's own page, then a page of the same origin reached by a link.
    window.set_url(home.url("/index.html"))
    assert page_sent(recorder, "page")["got"] == "s3cret"
    follow_link(window)
    assert kivwebview.run_until(lambda: len(payloads(recorder, "page")) == 2, BOUND)
    second = payloads(recorder, "page")[-1]
    assert second["page"] == "second" and second["got"] == "s3cret"
    assert window.allowed_origins == [home.origin]

    # A link to a page of another origin: no api there, and nothing it
    # sends runs the function.
    follow_link(window, foreign.url(f"/help.html?doc={second['doc']}"))
    result = page_sent(recorder, "foreign")
    assert result["foreign"] == ["undefined", False]
    assert result["rejected"][0] == "SecurityError"
    assert foreign.origin in result["rejected"][1]
    kivwebview.run_until(lambda: False, 1.0)  # every forged call has been looked at
    assert calls == ["index", "second"]
    assert any("refused a call of kiv.api.secret from " + foreign.origin in warning
               for warning in captured.warnings())

    # The host's own HTML page still calls, after all that.
    window.set_html(own_page("html"))
    assert kivwebview.run_until(lambda: len(payloads(recorder, "page")) == 3, BOUND)
    assert payloads(recorder, "page")[-1]["got"] == "s3cret"
    assert calls == ["index", "second", "html"]


# Stores its document's id for the next page of its origin, then goes there.
FIRST = """<p>first</p><script>
addEventListener('kiv-api-ready', async () => {
  await kiv.api.secret('first');
  sessionStorage.setItem('doc', window[Symbol.for('kivwebview.api')].doc);
  location.href = '/later.html';
}, {once: true});
</script>"""

# Sends a call under the replaced page's id as soon as it runs, before the
# host has heard from it, then calls in its own name.
LATER = """<p>later</p><script>
kiv_send_event({'kiv-api': {call: 1, name: 'secret', args: '["stale"]',
                            doc: sessionStorage.getItem('doc')}});
addEventListener('kiv-api-ready', async () => {
  kiv_send_event({page: 'later', got: await kiv.api.secret('later')});
}, {once: true});
</script>"""


def test_an_allowed_origin_calls_and_a_replaced_pages_id_runs_nothing(servers):
    home, foreign = servers
    foreign.pages["/allowed.html"] = own_page("allowed")
    home.pages.update({"/first.html": FIRST, "/later.html": LATER})
    window, recorder, calls = exposing_window(allow_origins=[foreign.url("/any/path")])
    assert window.allowed_origins == [foreign.origin]
    for bad in ("127.0.0.1:8000", "not an origin", "mailto:x@example.org"):
        with pytest.raises(ValueError):
            window.allow_origin(bad)

    # The host's HTML page links to a page of the origin it allowed.
    window.set_html(own_page("html", foreign.url("/allowed.html")))
    assert page_sent(recorder, "page")["page"] == "html"
    follow_link(window)
    assert kivwebview.run_until(lambda: len(payloads(recorder, "page")) == 2, BOUND)
    assert payloads(recorder, "page")[-1] == {
        "page": "allowed", "got": "s3cret", "doc": payloads(recorder, "page")[-1]["doc"]}

    # A page of the same origin cannot call in the name of the page before it.
    window.set_url(home.url("/first.html"))
    assert kivwebview.run_until(lambda: "later" in calls, BOUND), calls
    kivwebview.run_until(lambda: False, 0.5)
    assert calls == ["html", "allowed", "first", "later"]

    # Every origin, explicitly: the origin the host never loaded calls too.
    everywhere, recorder, calls = exposing_window(allow_origins=["*"])
    everywhere.set_url(foreign.url("/allowed.html"))
    assert page_sent(recorder, "page")["got"] == "s3cret"
    assert everywhere.allowed_origins == ["*"]


# Starts the host's slow call's rival answers: the page makes up an answer for
# every awaitable call it sees waiting, in its own name (without the call's
# token), then, told to, moves on to a page of its origin that answers in
# the name of the page before it.
RIVAL = """<p>rival</p><script>
setInterval(() => {
  const state = window[Symbol.for('kivwebview.api')];
  if (!state) return;
  for (const id of state.sendLater) {
    if (window.forged && window.forged.has(id)) continue;
    (window.forged = window.forged || new Set()).add(id);
    kiv_send_event({'kiv-api': {js: id, doc: state.doc,
                                reply: JSON.stringify({ok: true, value: 'forged'})}});
    if (window.leave)
      location.href = '/rival2.html?id=' + id + '&doc=' + state.doc;
  }
}, 20);
</script>"""

RIVAL2 = """<p>rival two</p><script>
const q = new URLSearchParams(location.search);
kiv_send_event({'kiv-api': {js: Number(q.get('id')), doc: q.get('doc'), token: 'guessed',
                            reply: JSON.stringify({ok: true, value: 'forged'})}});
</script>"""


def test_an_awaitable_call_takes_its_answer_only_from_its_own_document(servers):
    home, _ = servers
    home.pages.update({"/rival.html": RIVAL, "/rival2.html": RIVAL2})
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder)
    window.set_url(home.url("/rival.html"))
    recorder.wait_for("page-loaded")

    async def main():
        real = await asyncio.wait_for(window.call_js_async(
            "await new Promise(r => setTimeout(r, 600)); return 'real';"), BOUND)
        window.run_js("window.leave = true;")
        with pytest.raises(JavaScriptError) as replaced:
            await asyncio.wait_for(window.call_js_async(
                "await new Promise(() => {}); return 'never';"), BOUND)
        return real, replaced.value

    real, replaced = asyncio.run(main())
    assert real == "real"
    assert "replaced" in replaced.exn
