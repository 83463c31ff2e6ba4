"""Finding the library: an explicit path, then $KIVWEBVIEW_LIBRARY, then the
system's library path; and the package installed with pip running the
example."""

import os
import subprocess
import sys
import tempfile

import kivwebview
from kivwebview import ENV_VARIABLE, KivWebviewError, LibraryNotFoundError

from kivtest import library_path

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SOURCE = os.path.join(ROOT, "bindings", "python", "src")


def test_explicit_path_beats_the_environment_and_one_library_per_process():
    real = library_path()
    os.environ[ENV_VARIABLE] = "/nonexistent/libkivwebview_qt.so"
    try:
        kivwebview.load_library()
        raise AssertionError("a missing library named by the environment loaded")
    except LibraryNotFoundError as error:
        assert ENV_VARIABLE in str(error) and "/nonexistent/" in str(error)
    lib = kivwebview.load_library(real)
    assert lib.path == real
    # Loaded: later calls get the same library, whatever the environment says.
    assert kivwebview.load_library() is lib
    same = os.path.join(os.path.dirname(real), ".", os.path.basename(real))
    assert kivwebview.load_library(same) is lib
    try:
        kivwebview.load_library("/elsewhere/libkivwebview_qt.so")
        raise AssertionError("a second library file was accepted")
    except KivWebviewError as error:
        assert real in str(error)
    window = kivwebview.Window()
    assert window.call_js("return 'loaded';") == "loaded"


def _python(code, env):
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                          timeout=120)


def test_the_system_library_path_is_used_without_a_path_or_environment():
    env = {k: v for k, v in os.environ.items() if k != ENV_VARIABLE}
    env["PYTHONPATH"] = SOURCE
    env["LD_LIBRARY_PATH"] = os.path.dirname(library_path())
    found = _python("import kivwebview\n"
                    "w = kivwebview.Window()\n"
                    "print(kivwebview.load_library().path, w.call_js('return 7;'))", env)
    assert found.returncode == 0, found.stderr[-3000:]
    path, value = found.stdout.split()[-2:]
    assert path.startswith("libkivwebview_qt.so") and value == "7"

    env.pop("LD_LIBRARY_PATH")
    missing = _python("import kivwebview\n"
                      "try:\n"
                      "    kivwebview.Window()\n"
                      "except kivwebview.LibraryNotFoundError as e:\n"
                      "    print('not found:', e)\n", env)
    assert missing.returncode == 0, missing.stderr[-3000:]
    if "not found:" not in missing.stdout:
        # Only when a copy is installed system-wide.
        import ctypes.util
        assert ctypes.util.find_library("kivwebview_qt"), missing.stdout
    else:
        assert "system's library path" in missing.stdout


def test_pip_installs_the_package_offline_and_the_example_runs():
    work = tempfile.mkdtemp(prefix="kivpip.")
    venv = os.path.join(work, "venv")
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", venv], check=True)
    python = os.path.join(venv, "bin", "python")
    # This interpreter's pip installs into the environment: with build
    # isolation, and without any package index.
    installed = subprocess.run(
        [sys.executable, "-m", "pip", "--python", python, "install", "--no-index",
         os.path.join(ROOT, "bindings", "python")],
        capture_output=True, text=True, timeout=300, cwd=work)
    assert installed.returncode == 0, installed.stdout[-3000:] + installed.stderr[-3000:]

    env = dict(os.environ)
    env.pop("PYTHONPATH", None)
    where = subprocess.run([python, "-c", "import kivwebview; print(kivwebview.__file__)"],
                           capture_output=True, text=True, env=env, cwd=work)
    assert where.stdout.startswith(venv), where.stdout + where.stderr

    example = subprocess.run([python, os.path.join(ROOT, "examples", "python", "hello.py")],
                             capture_output=True, text=True, env=env, cwd=work, timeout=240)
    assert example.returncode == 0, example.stdout + example.stderr[-3000:]
    lines = example.stdout.splitlines()
    assert 'window 1: {"event":"show"}' in lines
    assert 'window 1: {"event":"page-loaded","oke":true}' in lines
    assert "result: 42" in lines
    assert 'window 1: {"event":"js-evt","js-evt":{"clicked":true}}' in lines
    assert "clicked: {'clicked': True}" in lines
    assert lines[-1] == 'window 1: {"event":"closed"}'

    # The installed package has its page script: a page calls the host.
    script = os.path.join(work, "expose_check.py")
    with open(script, "w") as f:
        f.write("import kivwebview\n"
                "got = []\n"
                "win = kivwebview.Window()\n"
                "win.on('js-evt', lambda e: got.append(e.payload['sum']))\n"
                "win.expose(lambda a, b: a + b, name='add')\n"
                "win.set_html(\"<script>addEventListener('kiv-api-ready', async () =>\"\n"
                "             \" kiv_send_event({sum: await kiv.api.add(2, 3)}))</script>\")\n"
                "assert kivwebview.run_until(lambda: got, 60)\n"
                "print('sum', got[0], kivwebview.__file__, flush=True)\n")
    checked = subprocess.run([python, script], capture_output=True, text=True, env=env, cwd=work,
                             timeout=240)
    assert checked.stdout.startswith(f"sum 5 {venv}"), checked.stdout + checked.stderr[-3000:]

