"""The reference docs/python.md is generated from the package's docstrings
by scripts/gen-python-docs.py; the checked-in copy must be the one the
current docstrings give."""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SCRIPT = os.path.join(ROOT, "scripts", "gen-python-docs.py")
CHECKED_IN = os.path.join(ROOT, "docs", "python.md")


def test_the_checked_in_reference_is_the_generated_one():
    checked = subprocess.run([sys.executable, SCRIPT, "--check"], capture_output=True,
                             text=True, timeout=120)
    assert checked.returncode == 0, (
        "docs/python.md is stale; run scripts/gen-python-docs.py\n" + checked.stdout[-4000:]
        + checked.stderr[-2000:])

    # The check compares for real: a changed copy is reported stale.
    with open(CHECKED_IN, encoding="utf-8") as f:
        text = f.read()
    with tempfile.TemporaryDirectory() as work:
        stale = os.path.join(work, "python.md")
        with open(stale, "w", encoding="utf-8") as f:
            f.write(text.replace("## Event handlers", "## Handlers of events", 1))
        checked = subprocess.run([sys.executable, SCRIPT, "--check", "--output", stale],
                                 capture_output=True, text=True, timeout=120)
        assert checked.returncode == 1 and "stale" in checked.stdout

    # What the reference must show: every public name, the event catalogue,
    # the thread and handler rules, and examples.
    import kivwebview
    for name in kivwebview.__all__:
        assert f'<a id="{name.lower()}"></a>' in text, name
    for event in ("show", "page-loaded", "js-evt", "move", "resize", "hide", "can-close?",
                  "closed"):
        assert f'| "{event}" |' in text, event
    for section in ("## The thread and the event loop", "## Event handlers",
                    "## Finding the library"):
        assert section in text
    for example in ("@win.expose", "await kivwebview.run_async()", "await win.call_js_async(",
                    "kivwebview.call_soon(", "win.file_open(", '@win.on("can-close?")'):
        assert example in text, example
