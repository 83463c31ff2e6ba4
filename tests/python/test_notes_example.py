"""The notes example (examples/python/notes), run as its own program and
used as a person would: xdotool clicks its page's buttons and types into it
and into the file dialogs, wmctrl asks the window manager to close it."""

import os
import queue
import signal
import subprocess
import sys
import tempfile
import threading
import time

import kivwebview

from kivtest import TIMEOUT, User, find_window, managed_windows

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
NOTES = os.path.join(ROOT, "examples", "python", "notes", "notes.py")

# Where the page's controls are, in window coordinates (notes.html places
# them at fixed positions).
TEXT = (400, 300)
OPEN, SAVE = (60, 20), (170, 20)
ASK_SAVE, ASK_DISCARD, ASK_CANCEL = (95, 20), (275, 20), (455, 20)


class App:
    """The example running in a process of its own on this test's display."""

    def __init__(self, folder, *args):
        env = dict(os.environ)
        # The package this test imported: the source tree or an installed one.
        env["PYTHONPATH"] = os.path.dirname(os.path.dirname(kivwebview.__file__))
        self.process = subprocess.Popen(
            [sys.executable, NOTES, *args], cwd=folder, env=env, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
            start_new_session=True)
        self.lines = queue.Queue()
        self.said = []
        threading.Thread(target=self.read, daemon=True).start()
        self.window = None

    def read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def expect(self, line):
        """Waits for the program to print ``line`` (skipping other lines)."""
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            try:
                said = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                break
            if said is None:
                break
            self.said.append(said)
            if said == line:
                return
        raise AssertionError(f"the program did not print {line!r}; it printed {self.said}")

    def find(self, title):
        self.window = find_window(title)
        assert self.window, f"no window titled {title!r}"
        deadline = time.monotonic() + TIMEOUT
        while int(self.window) not in managed_windows():
            assert time.monotonic() < deadline, "the window manager did not take the window"
            time.sleep(0.05)
        self.xdo("windowactivate", "--sync", self.window)

    def xdo(self, *args):
        subprocess.run(["xdotool", *args], check=True, timeout=TIMEOUT)

    def click(self, where):
        self.xdo("windowactivate", "--sync", self.window)
        self.xdo("mousemove", "--window", self.window, str(where[0]), str(where[1]), "click", "1")

    def type(self, text):
        self.xdo("type", "--delay", "30", text)

    def key(self, name):
        self.xdo("key", name)

    def request_close(self):
        # What the window's close button does: the window manager asks.
        subprocess.run(["wmctrl", "-i", "-c", self.window], check=True, timeout=TIMEOUT)

    def finish(self):
        try:
            return self.process.wait(TIMEOUT)
        finally:
            if self.process.poll() is None:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()


def contents(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def ended(app):
    """The program printed its last line and ended."""
    app.expect("closed")
    code = app.finish()
    assert code == 0, f"exit status {code}"


def test_a_user_writes_saves_reopens_and_closes_a_note():
    folder = tempfile.mkdtemp(prefix="notes.")
    note = os.path.join(folder, "note.txt")
    apps = []
    try:
        # A new note: typed, saved through the save dialog (the page's Save
        # button calls the host, which opens the dialog), edited again, and
        # saved by the question the page asks when the user closes it.
        app = App(folder)
        apps.append(app)
        app.expect("ready")
        app.find("Notes - untitled")
        app.click(TEXT)
        app.type("first line")
        app.expect("edited")
        user = User("Save the note", [["type", "--delay", "30", note], ["key", "Return"]],
                    hold=0.5)
        app.click(SAVE)
        app.expect(f"saved {note}")
        user.finish()
        assert user.found and user.gone
        app.expect("unchanged")
        assert contents(note) == "first line"
        app.click(TEXT)
        app.type(", then more")
        app.expect("edited")
        app.request_close()
        app.expect("asking")
        app.click(ASK_SAVE)
        app.expect(f"saved {note}")
        ended(app)
        assert contents(note) == "first line, then more"

        # The note opened with the Open button: what the page shows is the
        # file, as the next save proves. A close with changes is asked
        # about; Cancel keeps the window, "Close without saving" drops them.
        app = App(folder)
        apps.append(app)
        app.expect("ready")
        app.find("Notes - untitled")
        user = User("Open a note", [["type", "--delay", "30", note], ["key", "Return"]],
                    hold=0.5)
        app.click(OPEN)
        app.expect(f"opened {note}")
        user.finish()
        assert user.found and user.gone
        app.click(TEXT)
        app.key("ctrl+End")
        app.type("!")
        app.expect("edited")
        app.click(SAVE)  # the file is known now: no dialog
        app.expect(f"saved {note}")
        assert contents(note) == "first line, then more!"
        app.click(TEXT)
        app.type(" unsaved")
        app.expect("edited")
        app.request_close()
        app.expect("asking")
        app.click(ASK_CANCEL)
        app.click(TEXT)
        app.type("?")
        app.request_close()
        app.expect("asking")
        app.click(ASK_DISCARD)
        ended(app)
        assert contents(note) == "first line, then more!"

        # Named on the command line, unchanged: the close request closes it
        # at once, from inside the program's "can-close?" handler.
        app = App(folder, note)
        apps.append(app)
        app.expect("ready")
        app.find("Notes - note.txt")
        app.request_close()
        ended(app)
        assert "asking" not in app.said
    finally:
        for app in apps:
            app.stop()
