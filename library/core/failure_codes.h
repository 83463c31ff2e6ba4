// The failure codes that differ between the Windows build and the others.
#ifndef KIVWEBVIEW_FAILURE_CODES_H
#define KIVWEBVIEW_FAILURE_CODES_H

#include "kivwebview_qt.h"

// kiv_webview_set_html: set_html_failed, or set_url_failed on Windows.
result_t setHtmlFailure();
// The show/hide family and set_title: window_action_failed, or
// resize_window_failed on Windows.
result_t windowActionFailure();

#endif // KIVWEBVIEW_FAILURE_CODES_H
