"""A Python host that ends with sys.exit(5) while its windows are open.

By the time the library shuts the web engine down, the interpreter is gone:
no callback of this script may run then."""
import sys

import kivwebview

loaded = []
win = kivwebview.Window(on_event=lambda e: None)
win.on("page-loaded", lambda e: loaded.append(e))
win.set_html("<p>open at exit</p>")
kivwebview.run_until(lambda: loaded, timeout=30)
child = kivwebview.Window(parent=win)
child.set_html("<p>child</p>")
win.call_js("return 6 * 7;")
win.run_js("window.kiv_send_event({late: true});")
sys.exit(5)
