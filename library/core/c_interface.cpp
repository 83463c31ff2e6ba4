// The exported C functions: each makes sure the central object exists on the
// library's thread and forwards to one method of it.
#include "kivwebview_qt.h"
#include "kivwebview_qt_class.h"

#include "clock.h"
#include "command.h"
#include "exit_shutdown.h"
#include "failure_codes.h"
#include "records.h"

#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

std::once_flag ownerOnce;
std::atomic<std::thread::id> owner {};

// The thread that made the first call owns the library; calls from any other
// thread must not touch the toolkit.
bool onLibraryThread()
{
    std::call_once(ownerOnce, [] { owner.store(std::this_thread::get_id()); });
    // Once the process has begun to exit and the library has shut down,
    // nothing may bring the toolkit back.
    return owner.load() == std::this_thread::get_id() && !libraryShutDown();
}

Kivwebview_qt *central()
{
    return Kivwebview_qt::instance();
}

const QByteArray wrongThread
    = QByteArrayLiteral("called from a thread other than the library's thread");

// The record of a call or dialog made from another thread: its failure
// code, and a text saying why.
kiv_js_result_t *wrongThreadCall()
{
    return newResultRecord(failureOf(cmd_call_js),
        "{\"exn\":\"" + wrongThread + "\",\"oke\":false,\"result\":false}");
}

kiv_js_result_t *wrongThreadDialog()
{
    return newResultRecord(failureOf(cmd_choose_dir), "{\"error\":\"" + wrongThread + "\"}");
}

} // namespace

extern "C" {

void kiv_webview_init(void)
{
    if (onLibraryThread())
        central();
}

int kiv_webview_create(int parent, kiv_event_callback_t callback)
{
    return onLibraryThread() ? central()->kivWebViewCreate(parent, callback) : 0;
}

void kiv_webview_close(int wv)
{
    if (onLibraryThread())
        central()->kivWebViewClose(wv);
}

result_t kiv_webview_set_url(int wv, const char *url)
{
    return onLibraryThread() ? central()->kivSetUrl(wv, url) : failureOf(cmd_set_url);
}

result_t kiv_webview_set_html(int wv, const char *html)
{
    return onLibraryThread() ? central()->kivSetHtml(wv, html) : failureOf(cmd_set_html);
}

result_t kiv_webview_run_js(int wv, const char *js)
{
    return onLibraryThread() ? central()->kivRunJs(wv, js) : failureOf(cmd_run_js);
}

kiv_js_result_t *kiv_webview_call_js(int wv, const char *js)
{
    return onLibraryThread() ? central()->kivCallJs(wv, js) : wrongThreadCall();
}

result_t kiv_webview_open_devtools(int wv)
{
    return onLibraryThread() ? central()->kivOpenDevtools(wv) : failureOf(cmd_open_devtools);
}

void kiv_webview_process_events(int ms)
{
    if (!onLibraryThread())
        return;
    Kivwebview_qt *c = central();
    const std::uint64_t end
        = current_ms() + static_cast<std::uint64_t>(static_cast<std::int64_t>(ms));
    while (current_ms() < end) {
        QThread::usleep(500);
        c->doEvents();
    }
}

int kiv_webview_destroy_event(kiv_event_t *event)
{
    freeRecord(event);
    return 0;
}

int kiv_webview_destroy_js_result(kiv_js_result_t *result)
{
    freeRecord(result);
    return 0;
}

result_t kiv_webview_move(int wv, int x, int y)
{
    return onLibraryThread() ? central()->kivMove(wv, x, y) : failureOf(cmd_move);
}

result_t kiv_webview_resize(int wv, int width, int height)
{
    return onLibraryThread() ? central()->kivResize(wv, width, height) : failureOf(cmd_resize);
}

bool kiv_webview_valid(int wv)
{
    return onLibraryThread() && central()->kivValid(wv);
}

result_t kiv_webview_hide(int wv)
{
    return onLibraryThread() ? central()->kivHideWindow(wv) : failureOf(cmd_hide);
}

result_t kiv_webview_show(int wv)
{
    return onLibraryThread() ? central()->kivShowWindow(wv) : failureOf(cmd_show);
}

result_t kiv_webview_present(int wv)
{
    return onLibraryThread() ? central()->kivPresentWindow(wv) : failureOf(cmd_present);
}

result_t kiv_webview_maximize(int wv)
{
    return onLibraryThread() ? central()->kivMaximizeWindow(wv) : failureOf(cmd_maximize);
}

result_t kiv_webview_minimize(int wv)
{
    return onLibraryThread() ? central()->kivMinimizeWindow(wv) : failureOf(cmd_minimize);
}

result_t kiv_webview_show_normal(int wv)
{
    return onLibraryThread() ? central()->kivShowNormalWindow(wv) : failureOf(cmd_show_normal);
}

window_state_t kiv_webview_window_state(int wv)
{
    return onLibraryThread() ? central()->kivWindowState(wv) : invalid;
}

result_t kiv_webview_set_title(int wv, const char *title)
{
    return onLibraryThread() ? central()->kivWindowSetTitle(wv, title) : failureOf(cmd_set_title);
}

kiv_js_result_t *kiv_webview_choose_dir(int wv, const char *title, const char *dir)
{
    return onLibraryThread() ? central()->kivChooseDir(wv, title, dir) : wrongThreadDialog();
}

kiv_js_result_t *kiv_webview_file_open(
    int wv, const char *title, const char *dir, const char *filter)
{
    return onLibraryThread() ? central()->kivFileOpen(wv, title, dir, filter) : wrongThreadDialog();
}

kiv_js_result_t *kiv_webview_file_save(
    int wv, const char *title, const char *dir, const char *filter)
{
    return onLibraryThread() ? central()->kivFileSave(wv, title, dir, filter) : wrongThreadDialog();
}

void kiv_webview_set_ou_token(int wv, const char *token)
{
    if (onLibraryThread())
        central()->kivSetOUToken(wv, token);
}

} // extern "C"
