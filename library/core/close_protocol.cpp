// The close protocol: how a browser window goes, whoever asks for it
// (kiv_webview_close, a callback, kivQuit, the shutdown at exit). In three
// steps:
//
// 1. closeHandle: the window's registered children go first, each through
//    the same steps; then the handle leaves the registry (removeView), so
//    kiv_webview_valid is false from here on, and the window is asked to
//    close: at once, or once the loop runs again when the request comes from
//    inside a callback.
// 2. WebviewWindow::startClosing: while dialogs of its page are open the
//    window cannot go (they run inside the engine's own task for the page);
//    they are cancelled, and the window closes once the last is off the
//    stack. The user's close button never gets here: it only asks the host
//    ("can-close?").
// 3. windowClosed, from the window's close event, or from its destructor
//    for a window destroyed any other way (with a parent that the host's own
//    application object deletes): the page's pending calls end, "closed" is
//    sent as the handle's last event, and the handle's callback and served
//    HTML are forgotten.
#include "kivwebview_qt_class.h"

#include "../bridge/event_container.h"
#include "../windows/served_html.h"
#include "../windows/webview_window.h"

bool Kivwebview_qt::closeHandle(int handle, bool deferred)
{
    WebviewWindow *w = windows.value(handle, nullptr);
    if (!w)
        return false;

    // A child window is destroyed together with its parent: each registered
    // child goes first, so that it reports "closed" before the parent does.
    // A child's "closed" callback may open another child of this window, so
    // look again until none is left.
    while (const int child = firstChildOf(w))
        closeHandle(child, deferred);

    // The handle's callback stays until the window has sent "closed".
    removeView(handle);
    if (deferred)
        QMetaObject::invokeMethod(w, &WebviewWindow::startClosing, Qt::QueuedConnection);
    else
        w->startClosing();
    return true;
}

void Kivwebview_qt::removeView(int handle)
{
    windows.remove(handle);
}

void Kivwebview_qt::windowClosed(int handle, WebviewWindow *w)
{
    removeView(handle);
    w->endPendingCalls(QStringLiteral("the window was closed before the page answered"));
    if (callbacks.contains(handle))
        deliverEvent(handle, mkEventJson(EventContainer(QStringLiteral("closed"))));
    callbacks.remove(handle);
    servedHtml->forget(handle);
}
