"""JavaScript through the Python package: call_js values and errors, page
events reaching handlers by name."""

import json

from kivwebview import JavaScriptError, ResultCode

from kivtest import window_with_html


def test_call_js_values_raw_answers_and_errors():
    window, _ = window_with_html("<p id=p>text</p>")
    assert window.call_js("return 6 * 7;") == 42
    assert window.call_js("return 'é€ ' + 'ok';") == "é€ ok"
    assert window.call_js("return [1, 2.5, true, null, {a: 'b'}];") == [1, 2.5, True, None,
                                                                        {"a": "b"}]
    assert window.call_js("return document.getElementById('p').textContent;") == "text"
    assert window.call_js("let x = 1;") is None  # no return: no value
    raw = window.call_js_raw("return {n: 1};")
    assert raw.code == ResultCode.oke
    assert json.loads(raw.text) == {"exn": False, "oke": True, "result": {"n": 1}}

    try:
        window.call_js("throw new Error('boom');")
        raise AssertionError("a throwing script did not raise")
    except JavaScriptError as error:
        assert error.code == ResultCode.eval_js_failed and error.code_name == "eval_js_failed"
        assert "boom" in error.exn
        assert json.loads(error.raw_json)["oke"] is False
        assert "boom" in str(error)

    try:
        window.call_js("return (;")
        raise AssertionError("a script that does not compile did not raise")
    except JavaScriptError as error:
        assert error.exn is None
        assert error.data == {"oke": None}
        assert "compile" in str(error)

    # The page keeps working after the failures.
    assert window.call_js("return 1 + 1;") == 2
    try:
        window.call_js("return '\0';")
        raise AssertionError("a NUL in the script was passed on")
    except ValueError:
        pass

    window.close()
    try:
        window.call_js("return 1;")
        raise AssertionError("call_js on a closed window did not raise")
    except JavaScriptError as error:
        assert error.raw_json == "false" and error.exn is None


PAGE = """<button id=b onclick="kiv_send_event({clicked: 'ü', n: 1})">b</button>"""


def test_page_events_reach_handlers_by_name():
    window, recorder = window_with_html(PAGE)
    order = []
    window.on("js-evt", lambda e: order.append(("js-evt", e.payload)))

    @window.on("js-evt")
    def second(event):
        order.append(("second", event.payload["n"]))

    window.on("page-loaded", lambda e: order.append(("loaded", None)))
    window.run_js("document.getElementById('b').click();")
    event = recorder.wait_for("js-evt")[-1]
    assert event.payload == {"clicked": "ü", "n": 1}
    assert event.raw == '{"event":"js-evt","js-evt":{"clicked":"ü","n":1}}'
    assert event.window is window and event.handle == window.handle
    # Named handlers in registration order; the catch-all recorder came
    # first in registration but runs after them.
    assert order == [("js-evt", {"clicked": "ü", "n": 1}), ("second", 1)]

    window.off("js-evt", second)
    window.run_js("kiv_send_event(5); kiv_send_event({n: 2});")
    recorder.wait_for("js-evt", count=3)
    assert [e.payload for e in recorder.named("js-evt")][1:] == [{}, {"n": 2}]
    assert order[2:] == [("js-evt", {}), ("js-evt", {"n": 2})]
