// The JavaScript that the library runs in pages, exactly as the page gets it.
#ifndef KIVWEBVIEW_PAGE_SCRIPTS_H
#define KIVWEBVIEW_PAGE_SCRIPTS_H

#include <QString>

namespace PageScripts {

// Run in every document when it is created and again each time it finishes
// loading: defines the page's event queue (kept when it exists) and the
// functions that fill and take it.
inline constexpr char bridge[] = R"js(if (window.kiv_event_queue === undefined) { window.kiv_event_queue = []; }
window.kiv_send_event = function(obj) {
    console.log('Sending event: ' + obj);
    window.kiv_event_queue.push(obj);
};
window.kiv_get_events = function() {
    let q = window.kiv_event_queue;
    window.kiv_event_queue = [];
    let json_q = JSON.stringify(q);
    return json_q;
};
)js";

// Takes the page's queued items as JSON text; "[]" in a page without bridge.
inline constexpr char poll[]
    = R"js(if (window.kiv_get_events) { window.kiv_get_events(); } else { JSON.stringify([]); })js";

// The host's code goes between these two as the body of a function; the
// script's value tells whether it returned (and what) or threw (and why).
// The prefix ends with the four spaces that indent the host's code.
inline constexpr char callPrefix[] = R"js({
  let f = function() {
    )js";
inline constexpr char callSuffix[] = R"js(
  };
  try {
     let obj = { oke: true, result: f(), exn: false };
     obj;
  } catch(e) {
     let obj = { oke: false, result: false, exn: e.message };
     obj;
  }
})js";

// The call wrapper around the host's code.
inline QString callWrapper(const QString &code)
{
    static const QString prefix = QString::fromUtf8(callPrefix);
    static const QString suffix = QString::fromUtf8(callSuffix);
    return prefix + code + suffix;
}

} // namespace PageScripts

#endif // KIVWEBVIEW_PAGE_SCRIPTS_H
