// The failure value of each request, written once: the waiting methods
// return it for a handle that names no open window, the C functions for a
// call from another thread.
#ifndef KIVWEBVIEW_FAILURE_CODES_H
#define KIVWEBVIEW_FAILURE_CODES_H

#include "kivwebview_qt.h"

// The result_t a request with this command code fails with (oke for the
// requests that report no failure). kiv_webview_set_html fails with
// set_html_failed, the window actions with window_action_failed; the
// Windows build reports them as set_url_failed and resize_window_failed.
result_t failureOf(int commandCode);

#endif // KIVWEBVIEW_FAILURE_CODES_H
