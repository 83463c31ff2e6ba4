// Close requests that reach a browser window while a dialog blocks it.
#ifndef KIVWEBVIEW_BLOCKED_CLOSE_REQUESTS_H
#define KIVWEBVIEW_BLOCKED_CLOSE_REQUESTS_H

#include <QAbstractNativeEventFilter>

class QWindow;

// While a modal dialog is open over a window (a page's alert, a login or a
// permission question), the toolkit drops the window system's close
// requests for that window before they become close events: its close
// button does nothing, and a page that keeps opening dialogs would hold the
// window for good. This filter sees those requests first and hands each one
// to the browser window it is for, as its close button's request, so that
// the host hears "can-close?" whatever is open. Requests for windows no
// dialog blocks go their usual way. It understands the X11 (xcb) and
// Windows window systems; elsewhere it lets everything through.
class BlockedCloseRequests : public QAbstractNativeEventFilter
{
public:
    // Installs the one filter of the process, once.
    static void install();

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // True when a modal dialog blocks window: an application-modal one, or
    // a window-modal one over it.
    static bool blockedByDialog(const QWindow *window);

private:
    BlockedCloseRequests() = default;
    bool closeRequested(quintptr nativeWindow);
};

#endif // KIVWEBVIEW_BLOCKED_CLOSE_REQUESTS_H
