"""Window lifecycle through the Python package: creation, window actions and
their events, states, closing, and the failures on a closed window."""

import kivwebview
from kivwebview import ResultCode, ResultError, WindowState

from kivtest import Recorder, in_thread, request_close, window_with_html


def test_lifecycle_actions_states_and_events():
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder)
    # The window shows before the constructor returns, and its handler,
    # given to the constructor, sees that first. (Other events, such as the
    # window manager's first placement, may follow it before the return.)
    assert window.handle == 1
    assert recorder.names()[:1] == ["show"]
    assert "show" not in recorder.names()[1:]
    assert recorder.events[0].window is window
    assert window.is_open and not window.closed
    assert window in kivwebview.open_windows()

    assert window.title is None
    window.title = "Lifecycle ü"
    assert window.title == "Lifecycle ü"

    window.resize(420, 310)
    # The window's first placement may report a size of its own first.
    sized = {"event": "resize", "w": 420, "h": 310}
    assert kivwebview.run_until(lambda: sized in [e.data for e in recorder.named("resize")], 60)
    window.move(150, 120)
    moved = recorder.wait_for("move")[-1]
    assert moved.data["event"] == "move" and isinstance(moved.data["x"], int)

    window.present()
    assert kivwebview.run_until(lambda: window.state.active, 30), window.state
    assert window.state == WindowState.normal_active

    window.hide()
    recorder.wait_for("hide")
    assert window.state == WindowState.hidden
    window.show()
    recorder.wait_for("show", count=2)
    window.maximize()
    assert kivwebview.run_until(lambda: window.state.base == WindowState.maximized, 30)
    window.show_normal()
    assert kivwebview.run_until(lambda: window.state.base == WindowState.normal, 30)
    window.minimize()
    assert kivwebview.run_until(lambda: window.state == WindowState.minimized, 30)
    window.show_normal()

    second = kivwebview.Window()
    assert second.handle == 2
    second.close()
    assert second.closed

    window.close()
    assert window.closed and not window.is_open
    assert recorder.names()[-1] == "closed"
    assert recorder.names().count("closed") == 1
    assert kivwebview.open_windows() == []
    assert window.state == WindowState.invalid
    window.close()  # closing again does nothing


def test_calls_on_a_closed_window_raise_with_the_code():
    window, _ = window_with_html("<p>x</p>")
    window.close()
    expected = {
        "set_url": (lambda: window.set_url("about:blank"), ResultCode.set_url_failed),
        "run_js": (lambda: window.run_js("1"), ResultCode.eval_js_failed),
        "open_devtools": (window.open_devtools, ResultCode.eval_js_failed),
        "move": (lambda: window.move(1, 2), ResultCode.move_window_failed),
        "resize": (lambda: window.resize(300, 200), ResultCode.resize_window_failed),
        "hide": (window.hide, ResultCode.window_action_failed),
        "show": (window.show, ResultCode.window_action_failed),
        "present": (window.present, ResultCode.window_action_failed),
        "maximize": (window.maximize, ResultCode.window_action_failed),
        "minimize": (window.minimize, ResultCode.window_action_failed),
        "show_normal": (window.show_normal, ResultCode.window_action_failed),
    }
    for name, (call, code) in expected.items():
        try:
            call()
        except ResultError as error:
            assert error.code == code, name
            assert error.code_name == code.name
            assert error.handle == window.handle
            assert error.function == "kiv_webview_" + name
            assert code.name in str(error)
        else:
            raise AssertionError(f"{name} on a closed window did not raise")
    # set_html fails with set_html_failed (set_url_failed on builds with the
    # Windows codes); either way a ResultError naming the code.
    try:
        window.set_html("<p>y</p>")
        raise AssertionError("set_html on a closed window did not raise")
    except ResultError as error:
        assert error.code in (ResultCode.set_html_failed, ResultCode.set_url_failed)
    try:
        window.title = "never"
        raise AssertionError("setting the title of a closed window did not raise")
    except ResultError as error:
        assert error.code in (ResultCode.window_action_failed, ResultCode.resize_window_failed)
    assert window.title is None


def test_close_request_reaches_the_handler_and_a_deferred_close_answers_it():
    window = kivwebview.Window()
    window.title = "Close me"
    requests = []

    def on_can_close(event):
        requests.append(event)
        kivwebview.call_soon(event.window.close)

    window.on("can-close?", on_can_close)
    asked = []
    user = in_thread(lambda: asked.append(request_close("Close me")))
    assert kivwebview.run_until(lambda: window.closed, 60)
    user.join(60)
    assert asked == [True]
    assert len(requests) == 1 and requests[0].raw == '{"event":"can-close?"}'


def test_child_window_closes_before_its_parent_and_devtools_open():
    parent_events, child_events, order = Recorder(), Recorder(), []
    parent = kivwebview.Window(on_event=parent_events)
    child = kivwebview.Window(parent, on_event=child_events)
    parent.on("closed", lambda e: order.append("parent"))
    child.on("closed", lambda e: order.append("child"))
    parent.open_devtools()
    parent.close()
    assert order == ["child", "parent"]
    assert child.closed and parent.closed
