#!/usr/bin/env python3
"""A minimal Python host: opens a window with a button, clicks it from a
script (so the example also runs unattended), prints every event and the
result of a JavaScript call, and exits.

    KIVWEBVIEW_LIBRARY=build/library/libkivwebview_qt.so python3 examples/python/hello.py

The library is found through $KIVWEBVIEW_LIBRARY, the first argument, or the
system's library path.
"""

import sys

import kivwebview


def main() -> int:
    if len(sys.argv) > 1:
        kivwebview.load_library(sys.argv[1])

    clicked = []
    loaded = []

    def on_event(event: kivwebview.Event) -> None:
        print(f"window {event.handle}: {event.raw}")

    win = kivwebview.Window(on_event=on_event)
    win.on("page-loaded", lambda event: loaded.append(event.data["oke"]))
    win.on("js-evt", lambda event: clicked.append(event.payload))
    win.title = "Hello from Python"
    win.set_html('<button id="hello" onclick="kiv_send_event({clicked: true})">'
                 "Click me</button>")
    if not kivwebview.run_until(lambda: loaded, timeout=60):
        print("the page did not load", file=sys.stderr)
        return 1

    print("result:", win.call_js("return 6 * 7;"))  # 42

    win.run_js("document.getElementById('hello').click();")
    if not kivwebview.run_until(lambda: clicked, timeout=60):
        print("the click did not arrive", file=sys.stderr)
        return 1
    print("clicked:", clicked[0])  # {'clicked': True}

    win.close()  # the "closed" event is printed before this returns
    return 0


if __name__ == "__main__":
    sys.exit(main())
