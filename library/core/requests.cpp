// The waiting methods behind the C interface: each says its command code and
// arguments; the one request path posts the command, waits for it and turns
// its outcome into the method's result, or the failure value of its code.
#include "kivwebview_qt_class.h"

#include "command.h"
#include "failure_codes.h"
#include "records.h"

#include <cstring>

namespace {

// Invalid UTF-8 becomes U+FFFD; a null pointer is the empty string.
QString text(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8, static_cast<qsizetype>(std::strlen(utf8))) : QString();
}

// A command's result as the host reads it: its UTF-8 JSON text, or "false"
// when the handle named no window.
QByteArray resultText(const QVariant &result)
{
    if (result.typeId() == QMetaType::QByteArray)
        return result.toByteArray();
    return result.toString().toUtf8();
}

} // namespace

QVariant Kivwebview_qt::requestValue(int code, QList<QVariant> args)
{
    Command cmd(code, std::move(args));
    postAndWait(cmd);
    return cmd.result;
}

result_t Kivwebview_qt::requestStatus(int code, QList<QVariant> args)
{
    return requestValue(code, std::move(args)).toBool() ? oke : failureOf(code);
}

kiv_js_result_t *Kivwebview_qt::requestRecord(int code, QList<QVariant> args)
{
    Command cmd(code, std::move(args));
    postAndWait(cmd);
    return newResultRecord(cmd.ok ? oke : failureOf(code), resultText(cmd.result));
}

int Kivwebview_qt::kivWebViewCreate(int parent, void (*callback)(kiv_event_t *))
{
    const int handle = requestValue(
        cmd_create, {parent, QVariant::fromValue(reinterpret_cast<void *>(callback))})
                           .toInt();
    waitUntilPlaced(handle);
    registerExitShutdown(firstWindow);
    return handle;
}

void Kivwebview_qt::kivWebViewClose(int handle)
{
    requestValue(cmd_close, {handle});
}

result_t Kivwebview_qt::kivSetUrl(int handle, const char *url)
{
    return requestStatus(cmd_set_url, {handle, text(url)});
}

result_t Kivwebview_qt::kivSetHtml(int handle, const char *html)
{
    return requestStatus(cmd_set_html, {handle, text(html)});
}

result_t Kivwebview_qt::kivRunJs(int handle, const char *js)
{
    return requestStatus(cmd_run_js, {handle, text(js)});
}

result_t Kivwebview_qt::kivWindowSetTitle(int handle, const char *title)
{
    return requestStatus(cmd_set_title, {handle, text(title)});
}

kiv_js_result_t *Kivwebview_qt::kivCallJs(int handle, const char *js)
{
    return requestRecord(cmd_call_js, {handle, text(js)});
}

kiv_js_result_t *Kivwebview_qt::kivChooseDir(int handle, const char *title, const char *dir)
{
    return requestRecord(cmd_choose_dir, {handle, text(title), text(dir)});
}

kiv_js_result_t *Kivwebview_qt::kivFileOpen(
    int handle, const char *title, const char *dir, const char *filter)
{
    return requestRecord(cmd_file_open, {handle, text(title), text(dir), text(filter)});
}

kiv_js_result_t *Kivwebview_qt::kivFileSave(
    int handle, const char *title, const char *dir, const char *filter)
{
    return requestRecord(cmd_file_save, {handle, text(title), text(dir), text(filter)});
}

result_t Kivwebview_qt::kivOpenDevtools(int handle)
{
    return requestStatus(cmd_open_devtools, {handle});
}

result_t Kivwebview_qt::kivHideWindow(int handle)
{
    return requestStatus(cmd_hide, {handle});
}

result_t Kivwebview_qt::kivShowWindow(int handle)
{
    return requestStatus(cmd_show, {handle});
}

result_t Kivwebview_qt::kivPresentWindow(int handle)
{
    return requestStatus(cmd_present, {handle});
}

result_t Kivwebview_qt::kivMaximizeWindow(int handle)
{
    return requestStatus(cmd_maximize, {handle});
}

result_t Kivwebview_qt::kivMinimizeWindow(int handle)
{
    return requestStatus(cmd_minimize, {handle});
}

result_t Kivwebview_qt::kivShowNormalWindow(int handle)
{
    return requestStatus(cmd_show_normal, {handle});
}

result_t Kivwebview_qt::kivMove(int handle, int x, int y)
{
    return requestStatus(cmd_move, {handle, x, y});
}

result_t Kivwebview_qt::kivResize(int handle, int width, int height)
{
    return requestStatus(cmd_resize, {handle, width, height});
}

bool Kivwebview_qt::kivValid(int handle)
{
    return windows.contains(handle);
}

window_state_t Kivwebview_qt::kivWindowState(int handle)
{
    return static_cast<window_state_t>(requestValue(cmd_window_state, {handle}).toInt());
}

void Kivwebview_qt::kivSetOUToken(int handle, const char *token)
{
    requestValue(cmd_set_ou_token, {handle, text(token)});
}

void Kivwebview_qt::kivQuit()
{
    const QList<int> handles = windows.keys();
    for (int handle : handles)
        kivWebViewClose(handle);
    requestValue(cmd_quit, {});
}
