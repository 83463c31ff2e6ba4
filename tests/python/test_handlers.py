"""Event handlers through the Python package: records always freed, a raising
handler reported while the loop goes on, what works inside a handler (closing,
dialogs, window calls) and what is refused, unknown events, the thread rule."""

import asyncio
import ctypes
import logging
import tempfile

import kivwebview
from kivwebview import ReentrancyError, WrongThreadError
from kivwebview._native import Record

from kivtest import Recorder, User, in_thread, request_close, window_with_html


class Captured(logging.Handler):
    def __init__(self):
        super().__init__()
        self.records = []

    def emit(self, record):
        self.records.append(record)


def test_a_raising_handler_is_reported_its_record_freed_and_the_loop_goes_on():
    lib = kivwebview.load_library()
    freed = []
    destroy = lib.destroy_event

    def counting_destroy(record):
        freed.append(record.contents.text)
        return destroy(record)

    lib.destroy_event = counting_destroy
    captured = Captured()
    logging.getLogger("kivwebview").addHandler(captured)

    window, recorder = window_with_html("<p>page</p>")
    raised = []

    def fragile(event):
        raised.append(event.payload["n"])
        if event.payload["n"] % 2:
            raise ValueError(f"odd {event.payload['n']}")

    window.on("js-evt", fragile)
    window.run_js("for (let n = 1; n <= 4; ++n) kiv_send_event({n});")
    recorder.wait_for("js-evt", count=4)
    assert raised == [1, 2, 3, 4]
    # The catch-all recorder runs after the raising handler, for every event.
    assert [e.payload["n"] for e in recorder.named("js-evt")] == [1, 2, 3, 4]
    errors = [r for r in captured.records if r.exc_info]
    assert [str(r.exc_info[1]) for r in errors] == ["odd 1", "odd 3"]
    assert all(r.levelno == logging.ERROR for r in errors)
    # The loop and the window go on.
    assert window.call_js("return 'alive';") == "alive"
    window.close()
    # Every record given to the package was freed exactly once, raising
    # handler or not: one free per event received.
    assert len(freed) == len(recorder.events)
    assert [t.decode() for t in freed] == [e.raw for e in recorder.events]


def test_inside_a_handler_every_call_works_but_the_ones_that_wait_for_the_page():
    window, recorder = window_with_html("<p>page</p>")
    outcomes = {}
    made = {}

    def attempt(name, call):
        try:
            outcomes[name] = ("returned", call())
        except ReentrancyError as error:
            outcomes[name] = ("refused", str(error))
        except Exception as error:  # noqa: BLE001 - recorded for the assertion
            outcomes[name] = ("other", repr(error))

    def new_window():
        shown = Recorder()
        made["window"] = kivwebview.Window(on_event=shown)
        # Its "show" came, nested, before the constructor returned.
        return shown.names()

    def on_page_event(event):
        w = event.window
        attempt("in_handler", kivwebview.in_handler)
        attempt("is_open", lambda: w.is_open)
        attempt("process_events", lambda: kivwebview.process_events(5))
        attempt("init", kivwebview.init)
        attempt("title", lambda: setattr(w, "title", "set inside"))
        attempt("run_js", lambda: w.run_js("window.ranInside = 'yes';"))
        attempt("resize", lambda: w.resize(333, 222))
        attempt("hide", w.hide)
        attempt("state", lambda: w.state)
        attempt("show", w.show)
        attempt("Window", new_window)
        attempt("set_html", lambda: made["window"].set_html("<p>made inside</p>"))
        attempt("call_js", lambda: w.call_js("return 1;"))
        attempt("call_js_raw", lambda: w.call_js_raw("return 1;"))
        attempt("call_js_async", lambda: asyncio.run(w.call_js_async("return 1;")))
        attempt("run_until", lambda: kivwebview.run_until(lambda: True, 1))
        attempt("run_async", lambda: asyncio.run(kivwebview.run_async(lambda: True)))

    window.on("js-evt", on_page_event)
    window.run_js("kiv_send_event({go: 1});")
    recorder.wait_for("js-evt")

    assert outcomes.pop("in_handler") == ("returned", True)
    assert outcomes.pop("is_open") == ("returned", True)
    assert outcomes.pop("state") == ("returned", kivwebview.WindowState.hidden)
    assert outcomes.pop("Window") == ("returned", ["show"])
    for name in ("process_events", "init", "title", "run_js", "resize", "hide", "show",
                 "set_html"):
        assert outcomes.pop(name) == ("returned", None), name
    # What is left waits for the page or for the loop: refused, naming the fix.
    assert sorted(outcomes) == ["call_js", "call_js_async", "call_js_raw", "run_async",
                                "run_until"]
    for name, (kind, detail) in outcomes.items():
        assert kind == "refused", (name, kind, detail)
        assert "event handler" in detail and "kivwebview.call_soon" in detail, detail

    # The allowed calls took effect.
    assert window.title == "set inside"
    assert window.call_js("return window.ranInside;") == "yes"
    assert kivwebview.run_until(lambda: {"event": "resize", "w": 333, "h": 222}
                                in [e.data for e in recorder.named("resize")], 60)
    assert recorder.names().count("hide") == 1 and window.state != kivwebview.WindowState.hidden
    inner = made["window"]
    assert inner.is_open and inner.handle == window.handle + 1
    assert kivwebview.run_until(
        lambda: inner.call_js("return document.body.textContent;") == "made inside", 60)
    assert [w.handle for w in kivwebview.open_windows()] == [window.handle, inner.handle]
    assert not kivwebview.in_handler()


def test_close_inside_a_can_close_handler_closes_the_window_after_the_handler():
    window = kivwebview.Window()
    window.title = "Close from the handler"
    recorder = Recorder()
    window.on("*", recorder)
    seen_inside = []

    @window.on("can-close?")
    def close_now(event):
        event.window.close()
        # Out of use at once; the "closed" event comes after this handler.
        seen_inside.append((event.window.is_open, event.window.closed, recorder.names()[-1:]))
        event.window.close()  # a second close does nothing

    asked = []
    user = in_thread(lambda: asked.append(request_close("Close from the handler")))
    assert kivwebview.run_until(lambda: window.closed, 60), recorder.names()
    user.join(60)
    assert asked == [True]
    assert seen_inside == [(False, False, [])]
    names = recorder.names()
    assert names[-2:] == ["can-close?", "closed"] and names.count("closed") == 1
    assert "hide" not in names
    assert kivwebview.open_windows() == [] and not window.is_open
    # The library goes on: a new window works.
    assert kivwebview.Window().call_js("return 'next';") == "next"


def test_a_dialog_opened_inside_a_handler_runs_in_place_and_no_event_is_lost():
    directory = tempfile.mkdtemp()
    window, recorder = window_with_html(
        "<p>owner</p><script>window.sent = 0;"
        "window.ticking = setInterval(() => kiv_send_event({tick: ++window.sent}), 50);"
        "</script>")
    answers = []

    @window.on("js-evt")
    def ask(event):
        if event.payload.get("ask"):
            answers.append(event.window.choose_dir("Asked in a handler", directory))

    user = User("Asked in a handler", [["key", "Escape"]], hold=1.0)
    window.run_js("kiv_send_event({ask: 1});")
    assert kivwebview.run_until(lambda: answers, 90)
    user.finish()
    assert user.found and user.gone
    assert answers == [None]  # cancelled
    # Every tick the page sent, before, during and after the dialog, arrives
    # once and in order.
    sent = window.call_js("clearInterval(window.ticking); return window.sent;")
    assert sent >= 20  # the page ticked all along the second the dialog was held

    def ticks():
        return [e.payload["tick"] for e in recorder.named("js-evt") if "tick" in e.payload]

    assert kivwebview.run_until(lambda: len(ticks()) >= sent, 60)
    assert ticks() == list(range(1, sent + 1))


def test_unknown_events_reach_the_catch_all_handlers_and_nothing_else():
    # A later library may send events this package does not know; they are
    # delivered like any other. The record is made as the library makes
    # them (malloc and strdup), so that the package frees it as usual.
    window, recorder = window_with_html("<p>page</p>")
    named = []
    window.on("js-evt", named.append)
    window.on("renderer-gone", named.append)
    libc = ctypes.CDLL(None)
    libc.malloc.restype = ctypes.c_void_p
    libc.malloc.argtypes = [ctypes.c_size_t]
    libc.strdup.restype = ctypes.c_void_p
    libc.strdup.argtypes = [ctypes.c_char_p]

    class Raw(ctypes.Structure):
        _fields_ = [("number", ctypes.c_int), ("text", ctypes.c_void_p)]

    def deliver(text):
        record = ctypes.cast(libc.malloc(ctypes.sizeof(Raw)), ctypes.POINTER(Raw))
        record.contents.number = window.handle
        record.contents.text = libc.strdup(text.encode())
        window._callback(ctypes.cast(record, ctypes.POINTER(Record)))

    with_calls = len(recorder.events)
    deliver('{"event":"download-started","url":"http://127.0.0.1/x"}')
    deliver('{"event":"renderer-gone","reason":"crashed"}')
    deliver('{"event":"js-evt","js-evt":{"kiv-api":"not a message"}}')
    added = recorder.events[with_calls:]
    assert [e.name for e in added] == ["download-started", "renderer-gone"]
    assert added[0].data["url"] == "http://127.0.0.1/x" and added[0].payload is None
    assert [e.name for e in named] == ["renderer-gone"]
    assert window.call_js("return 'still fine';") == "still fine"


def test_an_interrupt_in_a_handler_reaches_the_pumping_caller():
    window, recorder = window_with_html("<p>page</p>")

    def interrupt(event):
        if event.payload.get("stop"):
            raise KeyboardInterrupt

    window.on("js-evt", interrupt)
    window.run_js("kiv_send_event({stop: 1}); kiv_send_event({after: 1});")
    try:
        kivwebview.run_until(lambda: False, 60)
        raise AssertionError("the interrupt did not reach the caller")
    except KeyboardInterrupt:
        pass
    # The other handlers ran; the loop still works afterwards.
    recorder.wait_for("js-evt", count=2)
    assert window.call_js("return 3;") == 3


def test_calls_from_another_thread_raise():
    kivwebview.init()
    window = kivwebview.Window()
    errors = []

    def elsewhere():
        for call in (kivwebview.Window, lambda: kivwebview.process_events(1),
                     lambda: window.set_html("<p>x</p>"), lambda: window.is_open):
            try:
                call()
                errors.append(None)
            except WrongThreadError as error:
                errors.append(error)

    in_thread(elsewhere).join(60)
    assert len(errors) == 4 and all(isinstance(e, WrongThreadError) for e in errors)
    assert [w.handle for w in kivwebview.open_windows()] == [window.handle]
