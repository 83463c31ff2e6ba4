#!/usr/bin/env python3
"""Runs the demo console program on a virtual display of its own and checks
what it prints along its timeline.

Usage: check_demo_output.py WITH_DISPLAY_SCRIPT DEMO_PROGRAM

Every failed check is reported; the demo's output follows on failure.
"""
import json
import os
import re
import subprocess
import sys

WAITING = re.compile(r"^Waiting\.\.\.(-?\d+)$")
RESULT = re.compile(r"^kiv_js_result: (-?\d+): (.*)$")
EVENT = re.compile(r"^event: (.*)$")

FIRST_RESULT = '{"exn":false,"oke":true,"result":42}'
THIRD_RESULT = '{"exn":false,"oke":true,"result":"<h1>Hi!</h1>"}'


def parse(lines):
    """Each line as (kind, payload, pass): the pass is the counter of the
    last waiting line before it, -1 before the first."""
    parsed = []
    current = -1
    problems = []
    for number, line in enumerate(lines, 1):
        m = WAITING.match(line)
        if m:
            current = int(m.group(1))
            parsed.append(("waiting", current, current))
            continue
        m = RESULT.match(line)
        if m:
            parsed.append(("result", (int(m.group(1)), m.group(2)), current))
            continue
        m = EVENT.match(line)
        if m:
            try:
                event = json.loads(m.group(1))
            except ValueError as exc:
                problems.append(f"line {number}: event text is not JSON ({exc}): {line}")
                continue
            if not isinstance(event, dict) or not isinstance(event.get("event"), str):
                problems.append(f"line {number}: event is not an object named by 'event': {line}")
                continue
            parsed.append(("event", event, current))
            continue
        problems.append(f"line {number}: neither a waiting, result nor event line: {line!r}")
    return parsed, problems


def check(parsed):
    problems = []
    waits = [p for kind, p, _ in parsed if kind == "waiting"]
    if waits != list(range(35)):
        problems.append(f"waiting lines count {waits}, expected 0..34 in order")

    results = [(p, at) for kind, p, at in parsed if kind == "result"]
    if [at for _, at in results] != [3, 4, 6]:
        problems.append(f"result lines after waiting lines {[at for _, at in results]}, "
                        "expected exactly one after each of 3, 4 and 6")
    else:
        (c0, v0), (c1, v1), (c2, v2) = (p for p, _ in results)
        if (c0, v0) != (0, FIRST_RESULT):
            problems.append(f"first result is {c0}: {v0}, expected 0: {FIRST_RESULT}")
        # The page has no element with the id hi: the script throws.
        try:
            second = json.loads(v1)
            if c1 != 3 or second.get("oke") is not False or not isinstance(second.get("exn"), str):
                problems.append(f"second result is {c1}: {v1}, expected a thrown script (3)")
        except (ValueError, AttributeError):
            problems.append(f"second result text is not a JSON object: {v1}")
        if (c2, v2) != (0, THIRD_RESULT):
            problems.append(f"third result is {c2}: {v2}, expected 0: {THIRD_RESULT}")

    events = [(e, at) for kind, e, at in parsed if kind == "event"]
    named = lambda name: [(e, at) for e, at in events if e["event"] == name]

    # Window 1 is shown while it is created, before the loop; window 2 while
    # it is created in pass 10.
    shows = [at for _, at in named("show")]
    if shows != [-1, 10]:
        problems.append(f"'show' events in passes {shows}, expected one before the loop "
                        "(first window) and one in pass 10 (second window)")

    # The second window: moved to (400, 200) and closed in pass 24, and
    # nothing of it after its "closed".
    moves = [(e.get("x"), e.get("y"), at) for e, at in named("move")]
    second_moves = [at for x, y, at in moves if (x, y) == (400, 200)]
    if len(second_moves) != 1 or not 10 <= second_moves[0] < 25:
        problems.append(f"moves {moves}: expected one to (400, 200) between passes 10 and 24")
    if (200, 300) not in [(x, y) for x, y, _ in moves]:
        problems.append(f"moves {moves}: expected the first window's move to (200, 300)")
    closed = [at for _, at in named("closed")]
    if closed != [24]:
        problems.append(f"'closed' events in passes {closed}, expected exactly one, in pass 24")
    else:
        index = next(i for i, (e, _) in enumerate(events) if e["event"] == "closed")
        later = [e for e, _ in events[index + 1:] if e["event"] != "js-evt"]
        if later:
            problems.append(f"events other than the first page's after 'closed': {later}")
        between = [e["event"] for e, at in events[:index + 1] if 10 <= at < 25
                   and e["event"] not in ("js-evt",)]
        if between[:1] != ["show"]:
            problems.append(f"second window's events {between} do not start with 'show'")

    # The first page's events: one per pass from 11 on, each after the pass
    # that sent it, in order, each at most once.
    sent = []
    for e, at in named("js-evt"):
        body = e.get("js-evt")
        if not isinstance(body, dict) or body.get("e") != "test" or not isinstance(body.get("i"), int):
            problems.append(f"js-evt event with an unexpected body: {e}")
            continue
        i = body["i"]
        if not 11 <= i <= 34:
            problems.append(f"js-evt with i={i}, outside 11..34")
        if at < i:
            problems.append(f"js-evt with i={i} printed in pass {at}, before it was sent")
        sent.append(i)
    if any(b <= a for a, b in zip(sent, sent[1:])):
        problems.append(f"js-evt i values {sent} do not strictly increase")
    if len(sent) < 12:
        problems.append(f"only {len(sent)} js-evt events arrived ({sent}), expected most of 11..34")
    return problems


def main():
    with_display, demo = sys.argv[1], sys.argv[2]
    env = dict(os.environ)
    # A display of its own, so that nothing else draws over or clicks on the
    # demo's windows.
    env.pop("DISPLAY", None)
    try:
        run = subprocess.run([with_display, demo], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=220)
    except subprocess.TimeoutExpired as exc:
        print("demo did not finish within 220 s; its output so far:")
        print((exc.stdout or b"").decode("utf-8", "replace"))
        return 1
    out = run.stdout.decode("utf-8")
    problems = []
    if run.returncode != 0:
        problems.append(f"exit status {run.returncode}, expected 0")
    parsed, parse_problems = parse(out.splitlines())
    problems += parse_problems + check(parsed)
    if problems:
        print("FAILED:\n  " + "\n  ".join(problems))
        print("--- demo output ---\n" + out)
        print("--- end of demo stderr ---\n" + run.stderr.decode("utf-8", "replace")[-3000:])
        return 1
    print(f"demo timeline ok: {len(out.splitlines())} lines")
    return 0


if __name__ == "__main__":
    sys.exit(main())
