#include "failure_codes.h"

#include "command.h"

// Windows builds report two failures with the codes of neighbouring
// operations; KIVWEBVIEW_WINDOWS_FAILURE_CODES selects that table on any
// platform so that it can be tested everywhere.
#if defined(_WIN32) && !defined(KIVWEBVIEW_WINDOWS_FAILURE_CODES)
#define KIVWEBVIEW_WINDOWS_FAILURE_CODES 1
#endif

namespace {

#if KIVWEBVIEW_WINDOWS_FAILURE_CODES
constexpr result_t setHtmlFailed = set_url_failed;
constexpr result_t windowActionFailed = resize_window_failed;
#else
constexpr result_t setHtmlFailed = set_html_failed;
constexpr result_t windowActionFailed = window_action_failed;
#endif

} // namespace

result_t failureOf(int commandCode)
{
    switch (commandCode) {
    case cmd_set_url:
        return set_url_failed;
    case cmd_set_html:
        return setHtmlFailed;
    case cmd_run_js:
    case cmd_open_devtools:
    case cmd_call_js:
        return eval_js_failed;
    case cmd_move:
        return move_window_failed;
    case cmd_resize:
        return resize_window_failed;
    case cmd_hide:
    case cmd_show:
    case cmd_maximize:
    case cmd_minimize:
    case cmd_present:
    case cmd_show_normal:
    case cmd_set_title:
        return windowActionFailed;
    case cmd_choose_dir:
    case cmd_file_open:
    case cmd_file_save:
        return dialog_failed;
    default:
        return oke;
    }
}
