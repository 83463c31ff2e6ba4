#include "blocked_close_requests.h"

#include "webview_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <xcb/xcb.h>
#endif

namespace {

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// The atoms of the close protocol (WM_PROTOCOLS, WM_DELETE_WINDOW), asked of
// the display connection the toolkit uses, once.
struct CloseAtoms
{
    xcb_atom_t protocols = XCB_ATOM_NONE;
    xcb_atom_t deleteWindow = XCB_ATOM_NONE;
};

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie
        = xcb_intern_atom(connection, 1, static_cast<uint16_t>(qstrlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

const CloseAtoms &closeAtoms()
{
    static const CloseAtoms atoms = [] {
        CloseAtoms found;
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (xcb_connection_t *connection = x11 ? x11->connection() : nullptr) {
            found.protocols = internAtom(connection, "WM_PROTOCOLS");
            found.deleteWindow = internAtom(connection, "WM_DELETE_WINDOW");
        }
        return found;
    }();
    return atoms;
}
#endif

} // namespace

void BlockedCloseRequests::install()
{
    static BlockedCloseRequests *filter = nullptr;
    if (filter || !qApp)
        return;
    filter = new BlockedCloseRequests;
    qApp->installNativeEventFilter(filter);
}

bool BlockedCloseRequests::blockedByDialog(const QWindow *window)
{
    // A browser window opened over another is a modal window too, and keeps
    // its parent's close button from working, as any window-modal window
    // does; only dialogs count here.
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        const QWindow *modal = widget->windowHandle();
        if (!modal || modal == window || !modal->isVisible()
            || qobject_cast<const WebviewWindow *>(widget))
            continue;
        if (modal->modality() == Qt::ApplicationModal)
            return true;
        if (modal->modality() == Qt::WindowModal) {
            for (const QWindow *over = modal->transientParent(); over; over = over->transientParent())
                if (over == window)
                    return true;
        }
    }
    return false;
}

bool BlockedCloseRequests::closeRequested(quintptr nativeWindow)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *browserWindow = qobject_cast<WebviewWindow *>(widget);
        if (!browserWindow || !browserWindow->windowHandle()
            || browserWindow->windowHandle()->winId() != nativeWindow)
            continue;
        if (!blockedByDialog(browserWindow->windowHandle()))
            return false; // the toolkit turns it into a close event itself
        browserWindow->askToClose();
        return true;
    }
    return false;
}

bool BlockedCloseRequests::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#if defined(Q_OS_WIN)
    if (eventType == "windows_generic_MSG") {
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_CLOSE)
            return closeRequested(reinterpret_cast<quintptr>(msg->hwnd));
    }
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (eventType == "xcb_generic_event_t") {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
        const CloseAtoms &atoms = closeAtoms();
        if (client->format == 32 && atoms.protocols != XCB_ATOM_NONE
            && client->type == atoms.protocols && client->data.data32[0] == atoms.deleteWindow)
            return closeRequested(client->window);
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}
