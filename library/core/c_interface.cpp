// The exported C functions: each runs on the library's thread through the
// boundary (c_boundary.h) and forwards to one method of the central object.
#include "kivwebview_qt.h"
#include "kivwebview_qt_class.h"

#include "c_boundary.h"
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

Kivwebview_qt *central()
{
    return Kivwebview_qt::instance();
}

// The failure value of a function that returns a status.
auto failing(int commandCode)
{
    return [commandCode](Refusal) noexcept { return failureOf(commandCode); };
}

// The failure value of a function that returns something else.
template <typename T>
auto returning(T value)
{
    return [value](Refusal) noexcept { return value; };
}

constexpr auto nothing = [](Refusal) noexcept {};

const QByteArray wrongThread
    = QByteArrayLiteral("called from a thread other than the library's thread");

// The record a failed call or dialog returns: from another thread, a text
// saying why; otherwise (memory exhausted) the plain {code, "false"}.
kiv_js_result_t *failedRecord(int commandCode, Refusal refusal, const QByteArray &wrongThreadText)
    noexcept
{
    const result_t status = failureOf(commandCode);
    kiv_js_result_t *record = nullptr;
    if (refusal == Refusal::wrongThread) {
        try {
            record = newResultRecord(status, wrongThreadText);
        } catch (...) {
        }
    }
    return record ? record : lastResortRecord(status);
}

auto failedCall = [](Refusal refusal) noexcept {
    return failedRecord(
        cmd_call_js, refusal, "{\"exn\":\"" + wrongThread + "\",\"oke\":false,\"result\":false}");
};

auto failedDialog = [](Refusal refusal) noexcept {
    return failedRecord(cmd_choose_dir, refusal, "{\"error\":\"" + wrongThread + "\"}");
};

} // namespace

// The thread that made the first call owns the library; calls from any other
// thread must not touch the toolkit.
bool onLibraryThread()
{
    std::call_once(ownerOnce, [] { owner.store(std::this_thread::get_id()); });
    // Once the process has begun to exit and the library has shut down,
    // nothing may bring the toolkit back.
    return owner.load() == std::this_thread::get_id() && !libraryShutDown();
}

extern "C" {

void kiv_webview_init(void)
{
    callFromHost([] { central(); }, nothing);
}

int kiv_webview_create(int parent, kiv_event_callback_t callback)
{
    return callFromHost(
        [&] { return central()->kivWebViewCreate(parent, callback); }, returning(0));
}

void kiv_webview_close(int wv)
{
    callFromHost([&] { central()->kivWebViewClose(wv); }, nothing);
}

result_t kiv_webview_set_url(int wv, const char *url)
{
    return callFromHost([&] { return central()->kivSetUrl(wv, url); }, failing(cmd_set_url));
}

result_t kiv_webview_set_html(int wv, const char *html)
{
    return callFromHost([&] { return central()->kivSetHtml(wv, html); }, failing(cmd_set_html));
}

result_t kiv_webview_run_js(int wv, const char *js)
{
    return callFromHost([&] { return central()->kivRunJs(wv, js); }, failing(cmd_run_js));
}

kiv_js_result_t *kiv_webview_call_js(int wv, const char *js)
{
    return callFromHost([&] { return central()->kivCallJs(wv, js); }, failedCall);
}

result_t kiv_webview_open_devtools(int wv)
{
    return callFromHost(
        [&] { return central()->kivOpenDevtools(wv); }, failing(cmd_open_devtools));
}

void kiv_webview_process_events(int ms)
{
    callFromHost(
        [&] {
            Kivwebview_qt *c = central();
            const std::uint64_t end
                = current_ms() + static_cast<std::uint64_t>(static_cast<std::int64_t>(ms));
            while (current_ms() < end) {
                QThread::usleep(500);
                c->doEvents();
            }
        },
        nothing);
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
    return callFromHost([&] { return central()->kivMove(wv, x, y); }, failing(cmd_move));
}

result_t kiv_webview_resize(int wv, int width, int height)
{
    return callFromHost(
        [&] { return central()->kivResize(wv, width, height); }, failing(cmd_resize));
}

bool kiv_webview_valid(int wv)
{
    return callFromHost([&] { return central()->kivValid(wv); }, returning(false));
}

result_t kiv_webview_hide(int wv)
{
    return callFromHost([&] { return central()->kivHideWindow(wv); }, failing(cmd_hide));
}

result_t kiv_webview_show(int wv)
{
    return callFromHost([&] { return central()->kivShowWindow(wv); }, failing(cmd_show));
}

result_t kiv_webview_present(int wv)
{
    return callFromHost([&] { return central()->kivPresentWindow(wv); }, failing(cmd_present));
}

result_t kiv_webview_maximize(int wv)
{
    return callFromHost([&] { return central()->kivMaximizeWindow(wv); }, failing(cmd_maximize));
}

result_t kiv_webview_minimize(int wv)
{
    return callFromHost([&] { return central()->kivMinimizeWindow(wv); }, failing(cmd_minimize));
}

result_t kiv_webview_show_normal(int wv)
{
    return callFromHost(
        [&] { return central()->kivShowNormalWindow(wv); }, failing(cmd_show_normal));
}

window_state_t kiv_webview_window_state(int wv)
{
    return callFromHost([&] { return central()->kivWindowState(wv); }, returning(invalid));
}

result_t kiv_webview_set_title(int wv, const char *title)
{
    return callFromHost(
        [&] { return central()->kivWindowSetTitle(wv, title); }, failing(cmd_set_title));
}

kiv_js_result_t *kiv_webview_choose_dir(int wv, const char *title, const char *dir)
{
    return callFromHost([&] { return central()->kivChooseDir(wv, title, dir); }, failedDialog);
}

kiv_js_result_t *kiv_webview_file_open(
    int wv, const char *title, const char *dir, const char *filter)
{
    return callFromHost(
        [&] { return central()->kivFileOpen(wv, title, dir, filter); }, failedDialog);
}

kiv_js_result_t *kiv_webview_file_save(
    int wv, const char *title, const char *dir, const char *filter)
{
    return callFromHost(
        [&] { return central()->kivFileSave(wv, title, dir, filter); }, failedDialog);
}

void kiv_webview_set_ou_token(int wv, const char *token)
{
    callFromHost([&] { central()->kivSetOUToken(wv, token); }, nothing);
}

} // extern "C"
