"""Event handlers through the Python package: records always freed, a raising
handler reported while the loop goes on, the re-entrancy and thread rules."""

import logging

import kivwebview
from kivwebview import ReentrancyError, WrongThreadError

from kivtest import in_thread, window_with_html


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


def test_waiting_calls_inside_a_handler_raise_and_the_allowed_ones_work():
    window, recorder = window_with_html("<p>page</p>")
    outcomes = {}

    def attempt(name, call):
        try:
            outcomes[name] = ("returned", call())
        except ReentrancyError as error:
            outcomes[name] = ("refused", str(error))
        except Exception as error:  # noqa: BLE001 - recorded for the assertion
            outcomes[name] = ("other", repr(error))

    def on_page_event(event):
        w = event.window
        attempt("in_handler", kivwebview.in_handler)
        attempt("is_open", lambda: w.is_open)
        attempt("process_events", lambda: kivwebview.process_events(5))
        attempt("set_url", lambda: w.set_url("about:blank"))
        attempt("set_html", lambda: w.set_html("<p>other</p>"))
        attempt("run_js", lambda: w.run_js("1"))
        attempt("call_js", lambda: w.call_js("return 1;"))
        attempt("move", lambda: w.move(5, 5))
        attempt("resize", lambda: w.resize(300, 300))
        attempt("hide", w.hide)
        attempt("state", lambda: w.state)
        attempt("title", lambda: setattr(w, "title", "inside"))
        attempt("open_devtools", w.open_devtools)
        attempt("choose_dir", lambda: w.choose_dir("never", "/"))
        attempt("file_open", lambda: w.file_open("never", "/"))
        attempt("file_save", lambda: w.file_save("never", "/"))
        attempt("close", w.close)
        attempt("Window", kivwebview.Window)
        attempt("init", kivwebview.init)
        attempt("run_until", lambda: kivwebview.run_until(lambda: True, 1))

    window.on("js-evt", on_page_event)
    window.run_js("kiv_send_event({go: 1});")
    recorder.wait_for("js-evt")

    allowed = {"in_handler": True, "is_open": True, "process_events": None}
    for name, value in allowed.items():
        assert outcomes.pop(name) == ("returned", value), name
    assert len(outcomes) == 17
    for name, (kind, detail) in outcomes.items():
        assert kind == "refused", (name, kind, detail)
        assert "event handler" in detail and "call_soon" in detail
    # None of the refused calls reached the library.
    assert window.is_open
    assert window.title is None
    assert window.call_js("return location.href;") != "about:blank"
    assert window.state != kivwebview.WindowState.hidden
    assert [w.handle for w in kivwebview.open_windows()] == [window.handle]
    assert not kivwebview.in_handler()


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
