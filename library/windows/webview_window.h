// The top-level browser window that hosts one web view and reports what
// happens to it as events for the host.
#ifndef KIVWEBVIEW_WEBVIEW_WINDOW_H
#define KIVWEBVIEW_WEBVIEW_WINDOW_H

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <QWebEngineCertificateError>

class Kivwebview_qt;
class EventContainer;
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

    // Marks the window as closing and closes it: it sends "closed", leaves
    // the registry and deletes itself (with its developer tools) later.
    void closeView();
    bool windowCreated() const { return created; }
    // True once the window system has mapped the window where its manager
    // placed it, or when there is nothing to wait for (hidden, minimised).
    bool placedByWindowSystem() const;
    int moveCount() const { return moveCounter; }
    int resizeCount() const { return resizeCounter; }

    void setOUToken(const QString &token) { ouToken = token; }
    void openDevTools();
    QMainWindow *devTools() const { return devToolsWindow; }

    // How many polls of the page's queue have been started, and the call
    // number of the one that waits for the page (0: none).
    quint64 pollsStarted() const { return pollCount; }
    quint64 pollWaiting() const { return pollInFlight; }

    // Runs code in the page's main world, asking for no result.
    void runJs(const QString &code);
    // Runs code as a function body and completes the command with the
    // page's answer, or with a failure when the page can no longer answer.
    void callJs(const QString &code, Command *command);

public slots:
    // Takes the page's queued items and delivers them as "js-evt" events.
    void processJsEvents();

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void handleCertificate(const QWebEngineCertificateError &certificateError);
    void triggerResize();
    void triggerMove();

private:
    void send(const EventContainer &event);
    void loadStarted();
    void loadFinished(bool ok);
    void rendererTerminated(int status, int exitCode);
    void newWindowRequested(const QUrl &url);
    void completeCall(quint64 callId, const QVariant &answer);
    void failPendingCalls(const QString &reason);

    Kivwebview_qt *centralObject = nullptr;
    WebViewQt *webView = nullptr;
    QMainWindow *devToolsWindow = nullptr;
    WebviewWindow *parentWindow = nullptr;
    QTimer resizeTimer;
    QTimer moveTimer;
    int lastX = 0;
    int lastY = 0;
    int lastWidth = 0;
    int lastHeight = 0;
    bool closing = false;
    bool created = false;
    int moveCounter = 0;
    int resizeCounter = 0;
    QString ouToken;

    // JavaScript calls waiting for this window's page, by call number.
    QHash<quint64, Command *> pendingCalls;
    quint64 lastCallId = 0;
    // The page's renderer process has ended and no new load has started.
    bool rendererGone = false;

    // The poll of the page's queue: at most one waits for the page at a
    // time, since the next one would take whatever the first leaves. A load
    // may drop the document a poll went to, with its answer; while a load
    // runs, a poll that waited for lostPollTicks turns counts as lost.
    quint64 pollInFlight = 0; // its call number, 0 when none waits
    quint64 pollCount = 0;
    quint64 pollTicks = 0;
    quint64 pollSentAtTick = 0;
    bool loading = false;
    static constexpr quint64 lostPollTicks = 20;
};

#endif // KIVWEBVIEW_WEBVIEW_WINDOW_H
