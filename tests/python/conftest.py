"""Runs every test of this directory in a process of its own.

The library's central object lives until its process ends, so each test
needs a fresh process: here pytest (the parent) runs each test by starting
another pytest (the child) for that one test, on a private virtual display,
and reports the child's outcome as the test's own. Nothing in the parent
loads the library.
"""

import json
import os
import signal
import subprocess
import sys
import tempfile

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CHILD = "KIV_PYTEST_CHILD"  # in the child: the file to write the outcome to
TIMEOUT = float(os.environ.get("KIV_PYTHON_TEST_TIMEOUT", "300"))

# The package from the source tree, unless the tests check an installed one.
if not os.environ.get("KIV_PYTHON_TEST_INSTALLED"):
    sys.path.insert(0, os.path.join(ROOT, "bindings", "python", "src"))
sys.path.insert(0, HERE)


def _start_private_display() -> None:
    # The script prints the display number and stops the display once this
    # process has ended.
    script = os.path.join(ROOT, "tests", "support", "private-display.sh")
    # It says on standard error why a start failed, and closes its streams
    # once the display is up: they must not keep the parent's pipe open, as
    # the parent waits for that pipe's end before it reaps this process.
    helper = subprocess.Popen([script, str(os.getpid())], stdout=subprocess.PIPE, text=True,
                              stdin=subprocess.DEVNULL, start_new_session=True)
    line = helper.stdout.readline().strip()
    helper.stdout.close()
    if line == "no-window-manager":
        raise RuntimeError("the window manager did not start on the private display")
    if not line.isdigit():
        raise RuntimeError("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + line
    os.environ.pop("WAYLAND_DISPLAY", None)
    os.environ["QT_QPA_PLATFORM"] = "xcb"


def pytest_configure(config):
    if os.environ.get(CHILD):
        if os.geteuid() == 0:
            # Chromium refuses to start as root with its sandbox on.
            os.environ["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        # No session bus on a virtual display: an address that fails at once
        # keeps the D-Bus library from forking to launch one (a fork that can
        # hang under the sanitizers; see tests/support/test_main.cpp).
        os.environ.setdefault(
            "DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kivtest-no-session-bus")
        if not os.environ.get("KIV_TEST_SHARED_DISPLAY"):
            _start_private_display()


_outcome = {"outcome": "passed", "text": ""}


def pytest_runtest_logreport(report):
    if not os.environ.get(CHILD):
        return
    if report.failed:
        text = report.longreprtext + "\n"
        for name, content in report.sections:
            text += f"----- {name} -----\n{content[-3000:]}\n"
        _outcome.update(outcome="failed", text=_outcome["text"] + text)
    elif report.skipped and _outcome["outcome"] == "passed":
        reason = report.longrepr[2] if isinstance(report.longrepr, tuple) else str(report.longrepr)
        _outcome.update(outcome="skipped", text=reason)
    _outcome["ran"] = True


def pytest_sessionfinish(session, exitstatus):
    path = os.environ.get(CHILD)
    if path:
        with open(path, "w") as f:
            json.dump(_outcome, f)



@pytest.hookimpl(tryfirst=True)
def pytest_pyfunc_call(pyfuncitem):
    if os.environ.get(CHILD):
        return None  # run the test here
    config = pyfuncitem.config
    with tempfile.TemporaryDirectory(prefix="kivpytest.") as tmp:
        result_file = os.path.join(tmp, "outcome.json")
        env = dict(os.environ, **{CHILD: result_file})
        command = [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                   "--rootdir", str(config.rootpath), pyfuncitem.nodeid]
        # Output goes to a file, not a pipe: processes the test leaves behind
        # (the display, the engine's helpers) must not hold the parent up.
        log_path = os.path.join(tmp, "output.txt")
        with open(log_path, "wb") as log:
            child = subprocess.Popen(command, cwd=str(config.rootpath), env=env,
                                     stdin=subprocess.DEVNULL, stdout=log,
                                     stderr=subprocess.STDOUT, start_new_session=True)
            try:
                child.wait(timeout=TIMEOUT)
                timed_out = False
            except subprocess.TimeoutExpired:
                os.killpg(child.pid, signal.SIGKILL)
                child.wait()
                timed_out = True
        with open(log_path, "rb") as log:
            output = log.read()
        if timed_out:
            pytest.fail(f"the test's process did not end within {TIMEOUT:.0f} s\n"
                        + output.decode("utf-8", "replace")[-6000:], pytrace=False)
        text = output.decode("utf-8", "replace")
        try:
            with open(result_file) as f:
                outcome = json.load(f)
        except (OSError, ValueError):
            outcome = {}
    if not outcome.get("ran"):
        pytest.fail(f"the test's process (exit {child.returncode}) ran no test\n"
                    + text[-6000:], pytrace=False)
    if outcome["outcome"] == "skipped":
        pytest.skip(outcome["text"])
    if outcome["outcome"] == "failed" or child.returncode != 0:
        pytest.fail(f"in the test's own process (exit {child.returncode}):\n"
                    + (outcome.get("text") or text[-6000:]), pytrace=False)
    return True
