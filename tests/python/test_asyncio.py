"""asyncio: run_async pumps the library while the loop's other coroutines
(here a web server on loopback) keep running; awaitable JavaScript calls;
async exposed functions; work handed over from other threads."""

import asyncio
import json
import threading
import time

import kivwebview
from kivwebview import JavaScriptError, WrongThreadError

from kivtest import Recorder, capture_log, in_thread, window_with_html

BOUND = 60  # seconds: generous, to catch hangs only

PAGE = """<!doctype html><p id=p>served</p><script>
fetch('/data').then(r => r.json()).then(data => kiv_send_event({data}));
</script>"""


async def serve(requests):
    """A small HTTP server on loopback, run by the test's own asyncio loop."""

    async def handle(reader, writer):
        line = (await reader.readline()).decode()
        while (await reader.readline()) not in (b"\r\n", b""):
            pass
        path = line.split()[1] if len(line.split()) > 1 else "/"
        requests.append(path)
        if path == "/data":
            body, kind = json.dumps({"served": path}).encode(), "application/json"
        else:
            body, kind = PAGE.encode(), "text/html; charset=utf-8"
        writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: " + kind.encode()
                     + b"\r\nContent-Length: " + str(len(body)).encode()
                     + b"\r\nConnection: close\r\n\r\n" + body)
        await writer.drain()
        writer.close()

    return await asyncio.start_server(handle, "127.0.0.1", 0)


def test_run_async_pumps_while_the_loop_serves_the_page_and_ends_when_windows_close():
    recorder = Recorder()
    requests, ticks, closer = [], [], []

    async def ticker():
        while True:
            await asyncio.sleep(0.01)
            ticks.append(1)

    async def main():
        server = await serve(requests)
        port = server.sockets[0].getsockname()[1]
        ticking = asyncio.create_task(ticker())
        window = kivwebview.Window(on_event=recorder)
        window.set_url(f"http://127.0.0.1:{port}/")

        # The page, its script and its fetch are all served by this loop
        # while run_async pumps the library.
        def data():
            return [e.payload["data"] for e in recorder.named("js-evt")]

        # The ticker keeps ticking as well: run_async could not return otherwise.
        assert await kivwebview.run_async(lambda: data() and len(ticks) >= 3, timeout=BOUND)
        assert recorder.named("page-loaded")[0].data["oke"] is True
        assert data() == [{"served": "/data"}] and requests[:2] == ["/", "/data"]
        assert await window.call_js_async("return document.getElementById('p').textContent;") \
            == "served"

        # Without a condition, run_async returns once every window has
        # closed; another thread asks for the close through call_soon.
        asked = threading.Event()
        window.on("js-evt", lambda e: e.payload.get("close") and asked.set())

        def worker():
            asked.wait(BOUND)

            def close_here():
                closer.append(threading.current_thread() is threading.main_thread())
                window.close()

            kivwebview.call_soon(close_here)

        in_thread(worker)
        window.run_js("kiv_send_event({close: 1});")
        assert await kivwebview.run_async(timeout=BOUND) is True
        assert window.closed and kivwebview.open_windows() == []
        assert closer == [True]
        ticking.cancel()
        server.close()
        await server.wait_closed()
        # Nothing is open: it returns at once.
        assert await kivwebview.run_async() is True

    asyncio.run(main())


def test_call_js_async_awaits_the_page_and_reports_failures():
    window, _ = window_with_html("<p>page</p>")

    async def main():
        # No run_async: the awaiting coroutine pumps the library itself.
        assert await window.call_js_async("return 6 * 7;") == 42
        assert await window.call_js_async(
            "return await new Promise(r => setTimeout(() => r('later'), 30));") == "later"
        assert await window.call_js_async("let x = 1;") is None
        assert await window.call_js_async("return ['é\u2028', {a: [1, null]}];") \
            == ["é\u2028", {"a": [1, None]}]
        # The outcome travels as JSON text: even a lone surrogate comes back
        # as it was, whether the script settled at once or later.
        assert await window.call_js_async("return 'a\\ud800b';") == "a\ud800b"
        assert await window.call_js_async(
            "return await new Promise(r => setTimeout(() => r('\\udfff'), 20));") == "\udfff"
        # Several at once, each answered on its own; with run_async running.
        stop = []
        pumping = asyncio.create_task(kivwebview.run_async(lambda: stop))
        values = await asyncio.gather(*(window.call_js_async(
            f"return await new Promise(r => setTimeout(() => r({n}), {40 - 10 * n}));")
            for n in (1, 2, 3)))
        assert values == [1, 2, 3]

        failures = {
            "throw new Error('boom');": "the script failed: boom",
            "throw 'plain';": "the script failed: plain",
            "await Promise.reject(new TypeError('rejected'));": "the script failed: rejected",
            "const o = {}; o.o = o; return o;": "cannot be sent as JSON",
            "return (;": "did not compile",
        }
        for script, expected in failures.items():
            try:
                await window.call_js_async(script)
                raise AssertionError(f"{script!r} did not raise")
            except JavaScriptError as error:
                assert expected in str(error), (script, str(error))
                assert error.code_name == "eval_js_failed"
        try:
            await window.call_js_async("return '\0';")
            raise AssertionError("a NUL was passed on")
        except ValueError:
            pass

        # Cancelled while the page is still working: nothing is left over.
        try:
            await asyncio.wait_for(window.call_js_async("await new Promise(() => {});"), 0.3)
            raise AssertionError("a script that never answers answered")
        except asyncio.TimeoutError:
            pass
        assert len(window._page_api.script_calls) == 0

        # The page is replaced, then the window closes, while calls wait.
        waiting = asyncio.create_task(window.call_js_async("await new Promise(() => {});"))
        await asyncio.sleep(0.05)
        window.set_html("<p>replacement</p>")
        try:
            await asyncio.wait_for(waiting, BOUND)
            raise AssertionError("a call of a replaced page answered")
        except JavaScriptError as error:
            assert "replaced" in error.exn
        assert await window.call_js_async("return document.body.textContent;") == "replacement"
        waiting = asyncio.create_task(window.call_js_async("await new Promise(() => {});"))
        await asyncio.sleep(0.05)
        window.close()
        try:
            await asyncio.wait_for(waiting, BOUND)
            raise AssertionError("a call of a closed window answered")
        except JavaScriptError as error:
            assert "closed" in error.exn
        try:
            await window.call_js_async("return 1;")
            raise AssertionError("a call on a closed window answered")
        except JavaScriptError as error:
            assert error.raw_json == "false"
        stop.append(True)
        await asyncio.wait_for(pumping, BOUND)

    asyncio.run(main())


ASYNC_PAGE = """<p>async</p><script>
addEventListener('kiv-api-ready', async () => {
  kiv.api.forgotten().then(v => kiv_send_event({forgotten: v}));
  const values = await Promise.all([kiv.api.slow(1), kiv.api.slow(2), kiv.api.release()]);
  kiv_send_event({values});
}, {once: true});
</script>"""

NEXT_PAGE = """<p>next</p><script>
addEventListener('kiv-api-ready', () => kiv_send_event({ready: 1}), {once: true});
</script>"""


def test_async_exposed_functions_run_as_tasks_while_later_calls_go_on():
    captured = capture_log()
    recorder = Recorder()
    window = kivwebview.Window(on_event=recorder)
    events = []

    def sent(key):
        return [e.payload[key] for e in recorder.named("js-evt") if key in e.payload]

    async def main():
        gate, let_go = asyncio.Event(), asyncio.Event()

        @window.expose
        async def slow(n):
            events.append(("start", n))
            await gate.wait()  # only a later call opens it
            text = await window.call_js_async("return document.querySelector('p').textContent;")
            events.append(("end", n))
            return f"{text} {n}"

        @window.expose
        def release():
            events.append(("release",))
            gate.set()
            return "released"

        @window.expose
        async def forgotten():
            await let_go.wait()
            events.append(("forgotten",))
            return "too late"

        window.set_html(ASYNC_PAGE)
        assert await kivwebview.run_async(lambda: sent("values"), timeout=BOUND)
        assert sent("values") == [["async 1", "async 2", "released"]]
        # The async calls did not hold back release(), which came after them
        # and let them finish; they started in the order the page made them.
        assert sorted(events) == [("end", 1), ("end", 2), ("release",), ("start", 1),
                                  ("start", 2)]
        assert events.index(("start", 1)) < events.index(("start", 2))

        # forgotten() still runs when its page goes; its answer is dropped.
        window.set_html(NEXT_PAGE)
        assert await kivwebview.run_async(lambda: sent("ready"), timeout=BOUND)
        let_go.set()
        assert await kivwebview.run_async(lambda: ("forgotten",) in events, timeout=BOUND)
        assert await kivwebview.run_async(lambda: not kivwebview._runtime.state.page_tasks,
                                          timeout=BOUND)
        assert await window.call_js_async(
            "return window[Symbol.for('kivwebview.api')].pending.size;") == 0

    asyncio.run(main())
    assert sent("forgotten") == [] and captured.warnings() == []

    # Without an asyncio loop an async function cannot run: its call is
    # rejected, saying what is needed.
    window.set_html("""<p>plain</p><script>
      addEventListener('kiv-api-ready', () => kiv.api.slow(3).catch(
        e => kiv_send_event({rejected: [e.name, e.message]})), {once: true});</script>""")
    assert kivwebview.run_until(lambda: sent("rejected"), BOUND)
    name, message = sent("rejected")[0]
    assert name == "RuntimeError" and "run_async" in message
    assert ("start", 3) not in events


def test_other_threads_hand_work_to_the_library_thread():
    window, _ = window_with_html("<p>threads</p>")
    ran = []

    # A waiting run_until runs what other threads hand over, on its thread.
    def job(n):
        ran.append((n, threading.current_thread() is threading.main_thread(),
                    window.call_js(f"return {n} + 1;")))

    def worker(first):
        for n in range(first, first + 25):
            kivwebview.call_soon(job, n)
            if n % 5 == 0:
                time.sleep(0.01)

    threads = [in_thread(lambda first=first: worker(first)) for first in (0, 100, 200, 300)]
    assert kivwebview.run_until(lambda: len(ran) == 100, BOUND), len(ran)
    for thread in threads:
        thread.join(BOUND)
    assert all(on_main and value == n + 1 for n, on_main, value in ran)
    for first in (0, 100, 200, 300):  # each thread's jobs in the order it gave them
        assert [n for n, _, _ in ran if first <= n < first + 25] == list(range(first, first + 25))

    # Direct calls from another thread are refused, naming the way out.
    errors = []

    def direct():
        try:
            window.call_js("return 1;")
        except WrongThreadError as error:
            errors.append(str(error))

    in_thread(direct).join(BOUND)
    assert len(errors) == 1 and "kivwebview.call_soon" in errors[0]

    # Under run_async, call_soon and the loop's own call_soon_threadsafe
    # both reach the library's thread.
    async def main():
        loop = asyncio.get_running_loop()
        got = []

        def from_thread():
            kivwebview.call_soon(lambda: got.append(("call_soon", window.call_js("return 'a';"))))
            loop.call_soon_threadsafe(lambda: got.append(("threadsafe", threading.current_thread()
                                                         is threading.main_thread())))

        in_thread(from_thread)
        assert await kivwebview.run_async(lambda: len(got) == 2, timeout=BOUND)
        assert sorted(got) == [("call_soon", "a"), ("threadsafe", True)]

    asyncio.run(main())

    # An asyncio loop on another thread cannot pump the library.
    outcome = []

    def other_loop():
        try:
            asyncio.run(kivwebview.run_async(lambda: True))
            outcome.append("ran")
        except WrongThreadError:
            outcome.append("refused")

    in_thread(other_loop).join(BOUND)
    assert outcome == ["refused"]
