// The executor of the command channel: every command runs here, inside a
// slice, by family: the registry's, the window's, the page's, the dialogs.
#include "kivwebview_qt_class.h"

#include "../windows/served_html.h"
#include "../windows/webview_qt.h"
#include "../windows/webview_window.h"
#include "command.h"

#include <QEventLoop>
#include <QUrl>

namespace {

bool returnsData(int code)
{
    return code == cmd_call_js || code == cmd_choose_dir || code == cmd_file_open
        || code == cmd_file_save;
}

window_state_t stateOf(const WebviewWindow *w)
{
    if (w->isHidden())
        return hidden;
    if (w->isMinimized())
        return minimized;
    // A window on the whole screen (a page's full screen) counts as
    // maximised.
    if (w->isMaximized() || w->isFullScreen())
        return w->isActiveWindow() ? maximized_active : maximized;
    if (w->isVisible())
        return w->isActiveWindow() ? normal_active : normal;
    return invalid;
}

} // namespace

void Kivwebview_qt::processCommand(Command *cmd)
{
    if (cmd->code < cmd_quit || cmd->code > cmd_set_ou_token) {
        cmd->complete(false); // not a command at all
        return;
    }
    if (cmd->code == cmd_quit) {
        // Ends the running slice only: an application-wide quit would leave
        // every later event loop, and so the library, unable to run.
        sliceLoop->exit(0);
        cmd->complete({});
        return;
    }
    if (cmd->code == cmd_create) {
        createWindow(cmd);
        return;
    }

    WebviewWindow *w = windows.value(cmd->args.value(0).toInt(), nullptr);
    if (!w) {
        // The handle names no open window: nothing is touched.
        cmd->complete(cmd->code == cmd_window_state ? QVariant(int(invalid)) : QVariant(false),
            !returnsData(cmd->code));
        return;
    }
    switch (cmd->code) {
    case cmd_choose_dir:
    case cmd_file_open:
    case cmd_file_save:
        executeDialog(cmd, w);
        registerExitShutdown(firstDialog);
        return;
    case cmd_call_js:
    case cmd_set_url:
    case cmd_set_html:
    case cmd_run_js:
    case cmd_open_devtools:
    case cmd_set_ou_token:
        executePageCommand(cmd, w);
        return;
    default:
        executeWindowCommand(cmd, w);
        return;
    }
}

void Kivwebview_qt::executeWindowCommand(Command *cmd, WebviewWindow *w)
{
    const QVariant &arg1 = cmd->args.value(1);
    const QVariant &arg2 = cmd->args.value(2);
    switch (cmd->code) {
    case cmd_close:
        closeHandle(cmd->args.value(0).toInt(), /*deferred=*/false);
        break;
    case cmd_move:
        // A visible window whose position really changes receives its move
        // event inside move(); an unchanged position or a hidden window gets
        // none, and no slice can run here to wait for one, so the command
        // completes once the window has been asked.
        w->move(QPoint(arg1.toInt(), arg2.toInt()));
        break;
    case cmd_resize:
        w->resize(QSize(arg1.toInt(), arg2.toInt()));
        break;
    case cmd_hide:
        w->hide();
        break;
    case cmd_show:
        w->show();
        break;
    case cmd_maximize:
        w->stateRequests().maximize();
        break;
    case cmd_minimize:
        w->stateRequests().minimize();
        break;
    case cmd_present:
        w->show();
        w->raise();
        w->activateWindow();
        break;
    case cmd_show_normal:
        w->stateRequests().showNormal();
        break;
    case cmd_window_state:
        cmd->complete(int(stateOf(w)));
        return;
    case cmd_set_title:
        w->setTitleFromHost(arg1.toString());
        break;
    }
    cmd->complete(true);
}

void Kivwebview_qt::executePageCommand(Command *cmd, WebviewWindow *w)
{
    const int handle = cmd->args.value(0).toInt();
    const QString text = cmd->args.value(1).toString();
    switch (cmd->code) {
    case cmd_call_js:
        w->callJs(text, cmd);
        return; // completed when the page answers
    case cmd_set_url:
        w->view()->setUrl(QUrl(text, QUrl::TolerantMode));
        break;
    case cmd_set_html: {
        // The window learns the text's serial first: the engine may report
        // the new address while the load is being started.
        const quint64 serial = servedHtml->nextSerial();
        w->htmlShown(serial);
        cmd->complete(servedHtml->show(handle, w->view()->page(), text.toUtf8(), serial));
        return;
    }
    case cmd_run_js:
        w->runJs(text);
        break;
    case cmd_open_devtools:
        w->openDevTools();
        registerExitShutdown(firstDevTools);
        break;
    case cmd_set_ou_token:
        w->setOUToken(text);
        break;
    }
    cmd->complete(true);
}
