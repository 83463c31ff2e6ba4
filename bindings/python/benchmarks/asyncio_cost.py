#!/usr/bin/env python3
"""What pumping the library from asyncio costs, against the plain loop.

One process, one window; each figure is measured under the plain loop
(run_until, or the call that pumps by itself) and under asyncio
(run_async, awaitable calls), in alternating rounds of the same run:

- a page's call of an exposed function, page to host and back, timed in
  the page;
- a JavaScript call with a result: call_js against await call_js_async;
- work handed over from another thread with call_soon, until it runs (and
  asyncio's own call_soon_threadsafe under run_async);
- how late a coroutine's 5 ms timer fires while run_async pumps, against
  the same asyncio loop with nothing else to do;
- idle CPU of the process and the web engine's processes, 1 window.

Needs a display and the library:

    KIVWEBVIEW_LIBRARY=build/library/libkivwebview_qt.so \\
        scripts/with-display.sh python3 bindings/python/benchmarks/asyncio_cost.py [--quick]
"""

import argparse
import asyncio
import os
import statistics
import sys
import threading
import time
from typing import Callable, Dict, List

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "src"))

import kivwebview  # noqa: E402

PAGE = """<p>benchmark</p><script>
window.bench = async (n) => {
  const times = [];
  for (let i = 0; i < n; ++i) {
    const start = performance.now();
    await kiv.api.echo(i);
    times.push(performance.now() - start);
  }
  return times;
};
</script>"""


def summary(values: List[float]) -> Dict[str, float]:
    values = sorted(values)

    def at(q: float) -> float:
        return values[min(len(values) - 1, int(q * len(values)))]

    return {"median": statistics.median(values), "p10": at(0.1), "p90": at(0.9)}


class Bench:
    def __init__(self, rounds: int, calls: int, idle_s: float) -> None:
        self.rounds, self.calls, self.idle_s = rounds, calls, idle_s
        self.results: Dict[str, List[float]] = {}
        self.window = kivwebview.Window()
        self.window.expose(lambda value: value, name="echo")
        self.page_events: List[dict] = []
        self.window.on("js-evt", lambda event: self.page_events.append(event.payload))
        loaded: List[bool] = []
        self.window.on("page-loaded", lambda event: loaded.append(True))
        self.window.set_html(PAGE)
        assert kivwebview.run_until(lambda: loaded, 60), "the page did not load"
        kivwebview.run_until(lambda: False, 0.5)

    def add(self, name: str, values: List[float]) -> None:
        self.results.setdefault(name, []).extend(values)

    # -- page to host and back ---------------------------------------------

    def start_page_calls(self) -> Callable[[], bool]:
        self.page_events.clear()
        self.window.run_js(
            f"bench({self.calls}).then(times => kiv_send_event({{times}}));")
        return lambda: any("times" in e for e in self.page_events)

    def page_times(self) -> List[float]:
        return next(e["times"] for e in self.page_events if "times" in e)

    def page_calls_plain(self) -> None:
        done = self.start_page_calls()
        assert kivwebview.run_until(done, 120)
        self.add("page call, run_until", self.page_times())

    async def page_calls_async(self) -> None:
        done = self.start_page_calls()
        assert await kivwebview.run_async(done, timeout=120)
        self.add("page call, run_async", self.page_times())

    # -- host to page and back -----------------------------------------------

    def call_js_plain(self) -> None:
        times = []
        for i in range(self.calls):
            start = time.perf_counter()
            self.window.call_js(f"return {i};")
            times.append((time.perf_counter() - start) * 1000)
        self.add("call_js", times)

    async def call_js_async(self) -> None:
        stop: List[bool] = []
        pumping = asyncio.create_task(kivwebview.run_async(lambda: stop))
        times = []
        for i in range(self.calls):
            start = time.perf_counter()
            await self.window.call_js_async(f"return {i};")
            times.append((time.perf_counter() - start) * 1000)
        stop.append(True)
        await pumping
        self.add("await call_js_async (run_async running)", times)

    # -- other threads ----------------------------------------------------------

    def handed_over(self, hand: Callable[[Callable[[], None]], None]) -> Callable[[], bool]:
        """Another thread hands over self.calls jobs, each timed until it runs."""
        self.latencies: List[float] = []

        def worker() -> None:
            for i in range(self.calls):
                start = time.perf_counter()
                hand(lambda start=start: self.latencies.append(
                    (time.perf_counter() - start) * 1000))
                time.sleep(0.003 + (i % 7) * 0.002)

        threading.Thread(target=worker, daemon=True).start()
        return lambda: len(self.latencies) == self.calls

    def thread_plain(self) -> None:
        assert kivwebview.run_until(self.handed_over(kivwebview.call_soon), 120)
        self.add("call_soon from a thread, run_until", self.latencies)

    async def thread_async(self) -> None:
        assert await kivwebview.run_async(self.handed_over(kivwebview.call_soon), timeout=120)
        self.add("call_soon from a thread, run_async", self.latencies)
        loop = asyncio.get_running_loop()
        assert await kivwebview.run_async(self.handed_over(loop.call_soon_threadsafe),
                                          timeout=120)
        self.add("loop.call_soon_threadsafe from a thread, run_async", self.latencies)

    # -- other coroutines ---------------------------------------------------------

    async def timer_lateness(self, pumped: bool) -> None:
        lateness: List[float] = []

        async def timers() -> None:
            for _ in range(self.calls):
                start = time.perf_counter()
                await asyncio.sleep(0.005)
                lateness.append((time.perf_counter() - start) * 1000 - 5)

        if pumped:
            task = asyncio.create_task(timers())
            assert await kivwebview.run_async(task.done, timeout=120)
            await task
            self.add("5 ms timer lateness, run_async pumping", lateness)
        else:
            await timers()
            self.add("5 ms timer lateness, asyncio alone", lateness)

    # -- idle CPU -------------------------------------------------------------------

    @staticmethod
    def tree_cpu_seconds() -> float:
        """CPU seconds used so far by this process and its descendants."""
        parents: Dict[int, int] = {}
        used: Dict[int, float] = {}
        tick = os.sysconf("SC_CLK_TCK")
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            parents[int(entry)] = int(fields[1])
            used[int(entry)] = (int(fields[11]) + int(fields[12])) / tick
        tree, grown = {os.getpid()}, True
        while grown:
            grown = False
            for pid, parent in parents.items():
                if parent in tree and pid not in tree:
                    tree.add(pid)
                    grown = True
        return sum(used.get(pid, 0.0) for pid in tree)

    def idle_plain(self) -> None:
        start_cpu, start = self.tree_cpu_seconds(), time.monotonic()
        kivwebview.run_until(lambda: False, self.idle_s)
        self.add("idle CPU, run_until (% of a core)",
                 [100 * (self.tree_cpu_seconds() - start_cpu) / (time.monotonic() - start)])

    async def idle_async(self) -> None:
        start_cpu, start = self.tree_cpu_seconds(), time.monotonic()
        await kivwebview.run_async(lambda: False, timeout=self.idle_s)
        self.add("idle CPU, run_async (% of a core)",
                 [100 * (self.tree_cpu_seconds() - start_cpu) / (time.monotonic() - start)])

    # -- the run ----------------------------------------------------------------------

    def run(self) -> None:
        for n in range(self.rounds):
            print(f"round {n + 1} of {self.rounds}", file=sys.stderr, flush=True)
            self.page_calls_plain()
            asyncio.run(self.page_calls_async())
            self.call_js_plain()
            asyncio.run(self.call_js_async())
            self.thread_plain()
            asyncio.run(self.thread_async())
            asyncio.run(self.timer_lateness(pumped=False))
            asyncio.run(self.timer_lateness(pumped=True))
            self.idle_plain()
            asyncio.run(self.idle_async())

    def report(self) -> None:
        pairs = [
            ("page call, run_until", "page call, run_async"),
            ("call_js", "await call_js_async (run_async running)"),
            ("call_soon from a thread, run_until", "call_soon from a thread, run_async"),
            ("call_soon from a thread, run_until",
             "loop.call_soon_threadsafe from a thread, run_async"),
            ("5 ms timer lateness, asyncio alone", "5 ms timer lateness, run_async pumping"),
            ("idle CPU, run_until (% of a core)", "idle CPU, run_async (% of a core)"),
        ]
        print(f"{'Measure':58} {'median':>8} {'p10':>8} {'p90':>8}")
        for baseline, measured in pairs:
            for name in (baseline, measured):
                s = summary(self.results[name])
                unit = "" if "CPU" in name else " ms"
                print(f"{name:58} {s['median']:8.2f} {s['p10']:8.2f} {s['p90']:8.2f}{unit}")
            a = statistics.median(self.results[baseline])
            b = statistics.median(self.results[measured])
            print(f"{'  difference of the medians':58} {b - a:+8.2f}")
        print(f"\n{self.rounds} rounds of {self.calls} calls each; idle over "
              f"{self.idle_s:.0f} s per round; run_async step {kivwebview._asyncio.DEFAULT_STEP_MS}"
              " ms, run_until step 10 ms. Load average "
              + " ".join(f"{x:.1f}" for x in os.getloadavg()) + ".")


def main() -> int:
    parser = argparse.ArgumentParser(description="asyncio's cost against the plain loop")
    parser.add_argument("--quick", action="store_true", help="fewer and shorter rounds")
    parser.add_argument("--library", help="the kivwebview_qt library file")
    args = parser.parse_args()
    if args.library:
        kivwebview.load_library(args.library)
    bench = Bench(rounds=1 if args.quick else 3, calls=50 if args.quick else 200,
                  idle_s=3.0 if args.quick else 10.0)
    bench.run()
    bench.report()
    sys.stdout.flush()
    # The web engine can crash in its static destructors at exit; the
    # figures are out, so end here.
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
