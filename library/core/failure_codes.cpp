#include "failure_codes.h"

// Windows builds report these two failures with the codes of neighbouring
// operations; KIVWEBVIEW_WINDOWS_FAILURE_CODES selects that table on any
// platform so that it can be tested everywhere.
#if defined(_WIN32) && !defined(KIVWEBVIEW_WINDOWS_FAILURE_CODES)
#define KIVWEBVIEW_WINDOWS_FAILURE_CODES 1
#endif

#if KIVWEBVIEW_WINDOWS_FAILURE_CODES
result_t setHtmlFailure()
{
    return set_url_failed;
}
result_t windowActionFailure()
{
    return resize_window_failed;
}
#else
result_t setHtmlFailure()
{
    return set_html_failed;
}
result_t windowActionFailure()
{
    return window_action_failed;
}
#endif
