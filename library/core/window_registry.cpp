// The window registry: creating and placing browser windows, and the tables
// that name them by handle. How they go is in close_protocol.cpp.
#include "kivwebview_qt_class.h"

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
