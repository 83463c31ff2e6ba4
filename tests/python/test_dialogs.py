"""The file and directory dialogs through the Python package, answered by a
user at the display (xdotool) while the call waits."""

import json
import os
import tempfile

import kivwebview
from kivwebview import ResultCode, ResultError

from kivtest import User, window_with_html

FILTERS = "Text (*.txt);;Images (*.png)"

# The page keeps sending events while a dialog is open: the call pumps.
TICKING = "<p>owner</p><script>setInterval(() => kiv_send_event({tick: 1}), 100);</script>"


def owner():
    window, recorder = window_with_html(TICKING)
    window.title = "dialog owner"
    return window, recorder


def test_file_open_returns_the_chosen_file_and_events_flow_meanwhile():
    directory = tempfile.mkdtemp()
    for name in ("a.txt", "b.png"):
        with open(os.path.join(directory, name), "w") as f:
            f.write("x\n")
    window, recorder = owner()
    ticks_before = len(recorder.named("js-evt"))
    user = User("Open a text", [["type", "--delay", "30", os.path.join(directory, "a.txt")],
                                ["key", "Return"]], hold=2.0)
    choice = window.file_open("Open a text", directory, FILTERS)
    user.finish()
    assert user.found and user.gone
    assert choice == kivwebview.FileChoice(os.path.join(directory, "a.txt"), "Text (*.txt)",
                                           choice.raw)
    assert json.loads(choice.raw) == {"file": os.path.join(directory, "a.txt"),
                                      "state": "choosen", "used-filter": "Text (*.txt)"}
    # Held open two seconds, ticking every 100 ms.
    assert len(recorder.named("js-evt")) - ticks_before >= 5


def test_file_save_returns_a_new_name():
    directory = tempfile.mkdtemp()
    target = os.path.join(directory, "new.txt")
    window, _ = owner()
    user = User("Save it", [["type", "--delay", "30", target], ["key", "Return"]])
    choice = window.file_save("Save it", directory, FILTERS)
    user.finish()
    assert user.found
    assert choice is not None and choice.path == target
    assert choice.used_filter == "Text (*.txt)"
    assert not os.path.exists(target)


def test_cancelled_dialogs_return_none_and_the_raw_answer_stays_reachable():
    directory = tempfile.mkdtemp()
    window, _ = owner()
    user = User("Pick a folder", [["key", "Escape"]])
    assert window.choose_dir("Pick a folder", directory) is None
    user.finish()
    assert user.found and user.gone

    user = User("Pick a file", [["key", "Escape"]])
    raw = window.file_open_raw("Pick a file", directory, FILTERS)
    user.finish()
    assert user.found
    assert raw.code == ResultCode.oke
    assert raw.decoded() == {"file": "", "state": "canceled", "used-filter": ""}


def test_a_dialog_for_a_closed_window_raises_dialog_failed():
    window, _ = owner()
    window.close()
    for call in (lambda: window.choose_dir("never", "/"),
                 lambda: window.file_open("never", "/", FILTERS),
                 lambda: window.file_save("never", "/", FILTERS)):
        try:
            call()
            raise AssertionError("a dialog for a closed window did not raise")
        except ResultError as error:
            assert error.code == ResultCode.dialog_failed
            assert error.code_name == "dialog_failed"
