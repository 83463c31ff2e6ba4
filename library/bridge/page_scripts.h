// The JavaScript that the library runs in pages, exactly as the page gets it.
#ifndef KIVWEBVIEW_PAGE_SCRIPTS_H
#define KIVWEBVIEW_PAGE_SCRIPTS_H

#include <QString>

namespace PageScripts {

// Run in every page each time it finishes loading: defines the page's event
// queue (kept when it exists) and the functions that fill and take it.
inline const QString bridge
    = QStringLiteral("if (window.kiv_event_queue === undefined) { window.kiv_event_queue = []; }\n"
                     "window.kiv_send_event = function(obj) {\n"
                     "    console.log('Sending event: ' + obj);\n"
                     "    window.kiv_event_queue.push(obj);\n"
                     "};\n"
                     "window.kiv_get_events = function() {\n"
                     "    let q = window.kiv_event_queue;\n"
                     "    window.kiv_event_queue = [];\n"
                     "    let json_q = JSON.stringify(q);\n"
                     "    return json_q;\n"
                     "};\n");

// Takes the page's queued items as JSON text; "[]" in a page without bridge.
inline const QString poll = QStringLiteral(
    "if (window.kiv_get_events) { window.kiv_get_events(); } else { JSON.stringify([]); }");

// Wraps the host's code as a function body; the script's value tells
// whether it returned (and what) or threw (and why).
inline QString callWrapper(const QString &code)
{
    return QStringLiteral("{\n"
                          "  let f = function() {\n"
                          "    ")
        + code
        + QStringLiteral("\n"
                         "  };\n"
                         "  try {\n"
                         "     let obj = { oke: true, result: f(), exn: false };\n"
                         "     obj;\n"
                         "  } catch(e) {\n"
                         "     let obj = { oke: false, result: false, exn: e.message };\n"
                         "     obj;\n"
                         "  }\n"
                         "}");
}

} // namespace PageScripts

#endif // KIVWEBVIEW_PAGE_SCRIPTS_H
