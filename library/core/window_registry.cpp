// The window registry: creating, placing and closing browser windows, and
// the tables that name them by handle.
#include "kivwebview_qt_class.h"

#include "../bridge/event_container.h"
#include "../windows/blocked_close_requests.h"
#include "../windows/downloads.h"
#include "../windows/notifications.h"
#include "../windows/served_html.h"
#include "../windows/user_gestures.h"
#include "../windows/webview_qt.h"
#include "../windows/webview_window.h"
#include "command.h"

#include <QDeadlineTimer>

namespace {

// How long create waits for the window system to place a new window; a
// window that is not mapped by then (no window manager answering, a window
// hidden from its own "show" callback) is returned as it is.
constexpr int placementBoundMs = 5000;

} // namespace

void Kivwebview_qt::createWindow(Command *cmd)
{
    const int parentHandle = cmd->args.value(0).toInt();
    auto *callback = reinterpret_cast<void (*)(kiv_event_t *)>(cmd->args.value(1).value<void *>());
    WebviewWindow *parent = windows.value(parentHandle, nullptr);

    if (!downloads) {
        downloads = new Downloads(this); // starts the web engine
        new Notifications(this);
        BlockedCloseRequests::install();
        UserGestures::install();
    }
    auto *w = new WebviewWindow(parent);
    auto *view = new WebViewQt(nextHandle(), w);
    w->addView(view, this);
    const int handle = view->id();

    // However a window goes, the registry forgets it: no handle outlives its
    // window. The close protocol has already sent "closed" and forgotten the
    // callback; a window destroyed any other way (with a parent the host's
    // own application object deletes) still ends its handle with "closed".
    connect(w, &QObject::destroyed, this, [this, handle] {
        if (callbacks.contains(handle))
            triggerEvent(handle, EventContainer(QStringLiteral("closed")));
        removeView(handle);
    });

    windows.insert(handle, w);
    if (callback)
        callbacks.insert(handle, callback);
    // show() delivers the window's show event, and so its "show", before it
    // returns; no slice can run in here to wait for anything later.
    w->show();
    cmd->complete(handle);
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

int Kivwebview_qt::firstChildOf(const WebviewWindow *parent) const
{
    int first = 0;
    for (auto it = windows.cbegin(); it != windows.cend(); ++it) {
        if (it.value()->parentBrowserWindow() == parent && (first == 0 || it.key() < first))
            first = it.key();
    }
    return first;
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

    // From here on the handle names no open window; its callback stays
    // until the window has sent "closed".
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
