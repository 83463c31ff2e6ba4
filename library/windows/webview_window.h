// The top-level browser window that hosts one web view and reports what
// happens to it as events for the host.
#ifndef KIVWEBVIEW_WEBVIEW_WINDOW_H
#define KIVWEBVIEW_WEBVIEW_WINDOW_H

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <QWebEngineCertificateError>

class Kivwebview_qt;
class EventContainer;
class PageBridge;
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

    void setOUToken(const QString &token) { ouToken = token; }
    void openDevTools();

    // The page's JavaScript, through its bridge (bridge/page_bridge.h).
    void runJs(const QString &code);
    void callJs(const QString &code, Command *command);
    const PageBridge *pageBridge() const { return bridge; }

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
    // Sends from an event of its own: for what the engine reports inside
    // its own tasks, where a callback that runs a dialog would hold the
    // engine up.
    void sendLater(const EventContainer &event);
    void installBridgeScript();
    void loadStarted();
    void loadFinished(bool ok);
    void rendererTerminated(int status, int exitCode);
    void newWindowRequested(const QUrl &url);

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
    bool created = false;
    QString ouToken;
};

#endif // KIVWEBVIEW_WEBVIEW_WINDOW_H
