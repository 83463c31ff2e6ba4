// The top-level browser window that hosts one web view and reports what
// happens to it as events for the host.
#ifndef KIVWEBVIEW_WEBVIEW_WINDOW_H
#define KIVWEBVIEW_WEBVIEW_WINDOW_H

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWebEngineCertificateError>

#include "window_state_requests.h"

class Kivwebview_qt;
class EventContainer;
class FullScreen;
class PageBridge;
class QDialog;
class WebViewQt;
struct Command;

class WebviewWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit WebviewWindow(WebviewWindow *parent = nullptr);
    ~WebviewWindow() override;

    void addView(WebViewQt *view, Kivwebview_qt *central);
    WebViewQt *view() { return webView; }
    WebviewWindow *parentBrowserWindow() const { return parentWindow; }

    // The close protocol's second step (core/close_protocol.cpp): marks the
    // window as closing and closes it; it then deletes itself (with its
    // developer tools) later. While a dialog of its page (or of a child
    // window's page) is open, the window cannot go yet: the dialog runs
    // inside the engine's own task for that page. The dialogs are then
    // cancelled, and the window closes as soon as the last of them is off
    // the stack.
    void startClosing();
    bool isClosing() const { return closing; }
    // True once the window system has mapped the window where its manager
    // placed it, or when there is nothing to wait for (hidden, minimised).
    bool placedByWindowSystem() const;

    void setOUToken(const QString &token) { ouToken = token; }
    void openDevTools();

    // The page's JavaScript, through its bridge (bridge/page_bridge.h).
    void runJs(const QString &code);
    void callJs(const QString &code, Command *command);
    const PageBridge *pageBridge() const { return bridge; }
    // Ends every call still waiting for the page, with reason.
    void endPendingCalls(const QString &reason);

    // Hands an event of this window to the host: at once, or from an event
    // of its own, for what the engine reports inside its own tasks (where a
    // callback that runs a dialog would hold the engine up).
    void deliver(const EventContainer &event);
    void deliverLater(const EventContainer &event);

    // The page's dialogs (page_dialogs.h).
    bool showsPageDialogs() const { return !closing; }
    void pageDialogOpened(QDialog *dialog);
    void pageDialogClosed(QDialog *dialog);
    // The user asked to close the window (its close button, also while a
    // page dialog blocks it; window.close()): the host is asked.
    void askToClose();

    // The host's requests for minimised, maximised or neither.
    WindowStateRequests &stateRequests() { return hostStateRequests; }

    // The title: the page's own until the host sets one.
    void setTitleFromHost(const QString &title);
    // A text shown with kiv_webview_set_html: its page's address is reported
    // as kiv-html:HANDLE/SERIAL.
    void htmlShown(quint64 serial) { pendingHtmlSerial = serial; }

    // Clicks and keys of the user on the page (user_gestures.h).
    quint64 userGestures() const { return gestureCount; }
    void noteUserGesture() { ++gestureCount; }

public slots:
    // Takes the page's queued items and delivers them as "js-evt" events.
    void processJsEvents();

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    void handleCertificate(const QWebEngineCertificateError &certificateError);
    void triggerResize();
    void triggerMove();

private:
    void installBridgeScript();
    void followPageTitle();
    void pageUrlChanged(const QUrl &url);
    bool pageDialogsOpen() const;
    void endPageDialogs();
    void closeOncePageDialogsEnd();
    void loadStarted();
    void loadFinished(bool ok);
    void rendererTerminated(int status, int exitCode);
    void newWindowRequested(const QUrl &url, bool userInitiated);

    Kivwebview_qt *centralObject = nullptr;
    WebViewQt *webView = nullptr;
    PageBridge *bridge = nullptr;
    QMainWindow *devToolsWindow = nullptr;
    WebviewWindow *parentWindow = nullptr;
    QTimer resizeTimer;
    QTimer moveTimer;
    int lastX = 0;
    int lastY = 0;
    int lastWidth = 0;
    int lastHeight = 0;
    bool closing = false;
    bool closeDone = false;
    QString ouToken;

    QList<QPointer<QDialog>> pageDialogs;
    FullScreen *fullScreen = nullptr;
    WindowStateRequests hostStateRequests {this};
    bool titleFromHost = false;
    QString reportedUrl;
    // Addresses of texts shown from HTML (by hash) to their serials.
    QHash<size_t, quint64> htmlSerials;
    quint64 pendingHtmlSerial = 0;
    quint64 gestureCount = 0;
};

#endif // KIVWEBVIEW_WEBVIEW_WINDOW_H
