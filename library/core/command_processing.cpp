// The executor of the command channel and the window registry.
#include "kivwebview_qt_class.h"

#include "../bridge/event_container.h"
#include "../windows/downloads.h"
#include "../windows/served_html.h"
#include "../windows/webview_qt.h"
#include "../windows/webview_window.h"
#include "command.h"
#include "window_title.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QUrl>

namespace {

// How long create waits for the window system to place a new window; a
// window that is not mapped by then (no window manager answering, a window
// hidden from its own "show" callback) is returned as it is.
constexpr int placementBoundMs = 5000;

bool namesWindow(int code)
{
    return code != cmd_quit && code != cmd_create;
}

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
    if (w->isMaximized())
        return w->isActiveWindow() ? maximized_active : maximized;
    if (w->isVisible())
        return w->isActiveWindow() ? normal_active : normal;
    return invalid;
}

} // namespace

void Kivwebview_qt::processCommand(Command *cmd)
{
    if (cmd->code < cmd_quit || cmd->code > cmd_set_ou_token) {
        cmd->result = false;
        cmd->done = true;
        return;
    }
    if (cmd->code == cmd_quit) {
        // Ends the running slice only: an application-wide quit would leave
        // every later event loop, and so the library, unable to run.
        sliceLoop->exit(0);
        cmd->done = true;
        return;
    }
    if (cmd->code == cmd_create) {
        createWindow(cmd);
        return;
    }

    const int handle = cmd->args.value(0).toInt();
    WebviewWindow *w = windows.value(handle, nullptr);
    if (namesWindow(cmd->code) && !w) {
        cmd->result = cmd->code == cmd_window_state ? QVariant(int(invalid)) : QVariant(false);
        if (returnsData(cmd->code))
            cmd->ok = false;
        cmd->done = true;
        return;
    }

    const QVariant &arg1 = cmd->args.value(1);
    const QVariant &arg2 = cmd->args.value(2);
    QVariant result = true;
    switch (cmd->code) {
    case cmd_close:
        closeHandle(handle, /*deferred=*/false);
        break;
    case cmd_set_url:
        w->view()->setUrl(QUrl(arg1.toString(), QUrl::TolerantMode));
        break;
    case cmd_set_html:
        result = servedHtml->show(handle, w->view()->page(), arg1.toString().toUtf8());
        break;
    case cmd_run_js:
        w->runJs(arg1.toString());
        break;
    case cmd_open_devtools:
        w->openDevTools();
        registerExitShutdown(firstDevTools);
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
    case cmd_call_js:
        w->callJs(arg1.toString(), cmd);
        return; // completed when the page answers
    case cmd_hide:
        w->hide();
        break;
    case cmd_show:
        w->show();
        break;
    case cmd_maximize:
        w->showMaximized();
        break;
    case cmd_minimize:
        w->showMinimized();
        break;
    case cmd_present:
        w->show();
        w->raise();
        w->activateWindow();
        break;
    case cmd_show_normal:
        w->showNormal();
        break;
    case cmd_window_state:
        result = int(stateOf(w));
        break;
    case cmd_set_title:
        w->setWindowTitle(boundedTitle(arg1.toString()));
        break;
    case cmd_choose_dir:
    case cmd_file_open:
    case cmd_file_save:
        executeDialog(cmd);
        registerExitShutdown(firstDialog);
        return;
    case cmd_set_ou_token:
        w->setOUToken(arg1.toString());
        break;
    }
    cmd->result = result;
    cmd->done = true;
}

void Kivwebview_qt::createWindow(Command *cmd)
{
    const int parentHandle = cmd->args.value(0).toInt();
    auto *callback = reinterpret_cast<void (*)(kiv_event_t *)>(cmd->args.value(1).value<void *>());
    WebviewWindow *parent = windows.value(parentHandle, nullptr);

    if (!downloads)
        downloads = new Downloads(this); // starts the web engine
    auto *w = new WebviewWindow(parent);
    auto *view = new WebViewQt(nextHandle(), w);
    w->addView(view, this);
    const int handle = view->id();

    // However a window goes, the registry forgets it: no handle outlives its
    // window. The close protocol has already sent "closed" and forgotten the
    // callback; a window destroyed any other way (with a parent the host's
    // own application object deletes) still ends its handle with "closed".
    connect(w, &QObject::destroyed, this, [this, handle] {
        windows.remove(handle);
        if (callbacks.contains(handle))
            triggerEvent(handle, EventContainer(QStringLiteral("closed")));
        callbacks.remove(handle);
        servedHtml->forget(handle);
    });

    windows.insert(handle, w);
    if (callback)
        callbacks.insert(handle, callback);
    // show() delivers the window's show event, and so its "show", before it
    // returns; no slice can run in here to wait for anything later.
    w->show();
    Q_ASSERT(w->windowCreated());
    cmd->result = handle;
    cmd->done = true;
}

int Kivwebview_qt::firstChildOf(const WebviewWindow *parent) const
{
    int first = 0;
    for (auto it = windows.cbegin(); it != windows.cend(); ++it) {
        if (it.value()->parentBrowserWindow() == parent && (first == 0 || it.key() < first))
            first = it.key();
    }
    return first;
}

void Kivwebview_qt::waitUntilPlaced(int handle)
{
    // show() only asks the window system to map the window. The window
    // manager then places it, and a move or resize that the host makes
    // before that can be overridden by the manager's own choice. Waiting
    // until the window is exposed (placed and mapped) makes the host's next
    // request the last word. Inside a callback no slice can run; the window
    // is then placed once the callback has returned.
    if (loopActive != 0)
        return;
    QDeadlineTimer deadline(placementBoundMs);
    for (;;) {
        WebviewWindow *w = windows.value(handle, nullptr);
        if (!w || w->placedByWindowSystem() || deadline.hasExpired())
            return;
        runSlice(nullptr);
    }
}

bool Kivwebview_qt::closeHandle(int handle, bool deferred)
{
    WebviewWindow *w = windows.value(handle, nullptr);
    if (!w)
        return false;

    // A child window is destroyed together with its parent; close each
    // registered child first, through the same protocol, so that it reports
    // "closed" and leaves the registry before the parent goes. A child's
    // "closed" callback may open another child of this window, so look again
    // until none is left.
    while (const int child = firstChildOf(w))
        closeHandle(child, deferred);

    windows.remove(handle);
    if (deferred)
        QMetaObject::invokeMethod(w, &WebviewWindow::closeView, Qt::QueuedConnection);
    else
        w->closeView();
    return true;
}

void Kivwebview_qt::removeView(int handle)
{
    windows.remove(handle);
    callbacks.remove(handle);
    servedHtml->forget(handle);
}
