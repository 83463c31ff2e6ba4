#!/usr/bin/env python3
"""Notes: a small text editor in a browser window.

The page (notes.html beside this file, plain HTML and JavaScript) holds the
text; it opens, saves and closes through functions this program exposes to
it, which show the file dialogs. When the user closes a window with unsaved
changes, the page asks first.

    KIVWEBVIEW_LIBRARY=build/library/libkivwebview_qt.so \\
        python3 examples/python/notes/notes.py [FILE]

It prints one line per thing it does (ready, edited, saved PATH, ...).
"""

import argparse
import os
import pathlib
import sys
from typing import Optional

import kivwebview

PAGE = pathlib.Path(__file__).resolve().with_name("notes.html")
FILTERS = "Text files (*.txt);;All files (*)"


def say(*words: object) -> None:
    print(*words, flush=True)


class Notes:
    """One window editing one file."""

    def __init__(self, path: Optional[str]) -> None:
        self.path = os.path.abspath(path) if path else None
        self.dirty = False
        self.window = kivwebview.Window()
        self.window.resize(800, 600)
        self.update_title()

        # What the page may call, as window.kiv.api.<name>(...).
        for function in (self.first_note, self.open_note, self.save, self.save_as,
                         self.close_window):
            self.window.expose(function)

        self.window.on("page-loaded", lambda event: say("ready"))
        self.window.on("js-evt", self.page_event)
        self.window.on("can-close?", self.close_requested)
        self.window.set_url(PAGE.as_uri())

    def update_title(self) -> None:
        name = os.path.basename(self.path) if self.path else "untitled"
        self.window.title = f"Notes - {name}{' *' if self.dirty else ''}"

    def folder(self) -> str:
        return os.path.dirname(self.path) if self.path else os.getcwd()

    # -- event handlers: they run nested in the event loop ---------------

    def page_event(self, event: kivwebview.Event) -> None:
        if "dirty" in event.payload:
            self.dirty = bool(event.payload["dirty"])
            say("edited" if self.dirty else "unchanged")
            self.update_title()  # window calls work inside handlers

    def close_requested(self, event: kivwebview.Event) -> None:
        if self.dirty:
            say("asking")
            self.window.run_js("askBeforeClose();")
        else:
            self.window.close()  # closes right after this handler

    # -- exposed functions: they run outside handlers, so dialogs work ----

    def first_note(self) -> Optional[dict]:
        """The file named on the command line, if any."""
        return self.read(self.path) if self.path and os.path.exists(self.path) else None

    def open_note(self) -> Optional[dict]:
        choice = self.window.file_open("Open a note", self.folder(), FILTERS)
        if choice is None:
            return None
        note = self.read(choice.path)
        self.path = choice.path
        self.dirty = False
        self.update_title()
        say("opened", choice.path)
        return note

    def save(self, text: str) -> Optional[str]:
        if self.path is None:
            return self.save_as(text)
        return self.write(self.path, text)

    def save_as(self, text: str) -> Optional[str]:
        choice = self.window.file_save("Save the note", self.folder(), FILTERS)
        if choice is None:
            return None
        return self.write(choice.path, text)

    def close_window(self) -> None:
        self.window.close()

    # -- files --------------------------------------------------------------

    @staticmethod
    def read(path: str) -> dict:
        with open(path, encoding="utf-8", errors="replace", newline="") as f:
            return {"name": os.path.basename(path), "text": f.read()}

    def write(self, path: str, text: str) -> str:
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        self.path = path
        self.dirty = False
        self.update_title()
        say("saved", path)
        return os.path.basename(path)


def main() -> int:
    parser = argparse.ArgumentParser(description="A small text editor in a browser window.")
    parser.add_argument("file", nargs="?", help="the file to edit")
    parser.add_argument("--library", help="the kivwebview_qt library file")
    args = parser.parse_args()
    if args.library:
        kivwebview.load_library(args.library)

    notes = Notes(args.file)
    kivwebview.run_until(lambda: notes.window.closed)
    say("closed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
