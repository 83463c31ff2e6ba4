#include "webview_window.h"

#include "../bridge/event_container.h"
#include "../bridge/page_bridge.h"
#include "../bridge/page_scripts.h"
#include "../core/window_title.h"
#include "certificate_issuer.h"
#include "full_screen.h"
#include "kivwebview_qt_class.h"
#include "login_dialog.h"
#include "page_permissions.h"
#include "page_printing.h"
#include "web_page.h"
#include "webview_qt.h"

#include <QAuthenticator>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QSslCertificate>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWindow>
#include <QWindowStateChangeEvent>

WebviewWindow::WebviewWindow(WebviewWindow *parent)
    : QMainWindow(parent)
    , parentWindow(parent)
{
    if (parent) {
        setWindowModality(Qt::WindowModal);
        setWindowFlag(Qt::Dialog, true);
    }
    resizeTimer.setSingleShot(true);
    moveTimer.setSingleShot(true);
    connect(&resizeTimer, &QTimer::timeout, this, &WebviewWindow::triggerResize);
    connect(&moveTimer, &QTimer::timeout, this, &WebviewWindow::triggerMove);
}

WebviewWindow::~WebviewWindow()
{
    // The developer-tools windows are children that the base class destroys
    // after this window's own parts are gone: their "destroyed" handlers
    // must not run on it then.
    for (QObject *child : children())
        disconnect(child, &QObject::destroyed, this, nullptr);
    // A window destroyed without its close event (by a host that deletes
    // the toolkit's widgets itself) still ends its handle, after those of
    // its child windows, as the close protocol does.
    if (!closeDone && centralObject && webView) {
        const QList<WebviewWindow *> children
            = findChildren<WebviewWindow *>(Qt::FindDirectChildrenOnly);
        for (WebviewWindow *child : children)
            delete child;
        closeDone = true;
        centralObject->windowClosed(webView->id(), this);
    }
    // A page answers its outstanding scripts (with nothing) while it is
    // destroyed. Destroy it here, while this window and its members still
    // exist, with its signals cut off and its bridge detached, so that those
    // answers are ignored; left to the base class, they would reach a
    // window already destroyed.
    if (bridge)
        bridge->detach();
    if (webView) {
        webView->page()->disconnect(this);
        centralObject = nullptr;
        delete webView;
        webView = nullptr;
    }
}

void WebviewWindow::addView(WebViewQt *view, Kivwebview_qt *central)
{
    centralObject = central;
    webView = view;
    setCentralWidget(view);

    QWebEnginePage *page = view->page();
    bridge = new PageBridge(
        page,
        [this](const QByteArray &eventText) {
            if (centralObject)
                centralObject->deliverEvent(webView->id(), eventText);
        },
        this);
    installBridgeScript();
    connect(page, &QWebEnginePage::loadFinished, this, &WebviewWindow::loadFinished);
    connect(page, &QWebEnginePage::loadStarted, this, &WebviewWindow::loadStarted);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
            rendererTerminated(status, exitCode);
        });
    connect(page, &QWebEnginePage::certificateError, this, &WebviewWindow::handleCertificate);
    connect(page, &QWebEnginePage::newWindowRequested, this,
        [this](QWebEngineNewWindowRequest &request) {
            // Answered from an event of its own, outside the engine's task,
            // so that the host's callback may run a dialog.
            const QUrl url = request.requestedUrl();
            const bool userInitiated = request.isUserInitiated();
            QMetaObject::invokeMethod(
                this, [this, url, userInitiated] { newWindowRequested(url, userInitiated); },
                Qt::QueuedConnection);
        });

    // What else the page asks of its window.
    connect(page, &QWebEnginePage::titleChanged, this, &WebviewWindow::followPageTitle);
    connect(page, &QWebEnginePage::urlChanged, this, &WebviewWindow::pageUrlChanged);
    connect(page, &QWebEnginePage::windowCloseRequested, this, [this] {
        // window.close(): the same question as the close button's, asked
        // outside the engine's task.
        QMetaObject::invokeMethod(this, &WebviewWindow::askToClose, Qt::QueuedConnection);
    });
    connect(page, &QWebEnginePage::authenticationRequired, this,
        [this](const QUrl &url, QAuthenticator *authenticator) {
            LoginDialog::answer(this, url, authenticator, QString());
        });
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this,
        [this](const QUrl &url, QAuthenticator *authenticator, const QString &proxyHost) {
            LoginDialog::answer(this, url, authenticator, proxyHost);
        });
    // The clipboard as a browser gives it: a page may write to it
    // (navigator.clipboard.writeText, document.execCommand("copy")); reading
    // it is refused at once.
    page->settings()->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, true);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    new PagePermissions(this);
    new PagePrinting(this);
    fullScreen = new FullScreen(this);
    followPageTitle();
}

void WebviewWindow::installBridgeScript()
{
    // Every document of the page has the bridge from its first line on, so
    // that its own start-up code can send. Its first line keeps a queue that
    // exists, so the run after each finished load loses nothing.
    QWebEngineScript script;
    script.setName(QStringLiteral("kiv_webview_event_handling"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(QString::fromUtf8(PageScripts::bridge));
    webView->page()->scripts().insert(script);
}

void WebviewWindow::newWindowRequested(const QUrl &url, bool userInitiated)
{
    // A link with a target, window.open(): the host hears of it, and a web
    // address goes to the desktop's browser (a mail address to its mail
    // program), keeping this window's page. Where the desktop has no browser,
    // a web address is shown in this window instead. Anything else (an empty
    // window, a blob or data URL) is left to the host.
    //
    // Only a request that follows a click or a key of the user's counts:
    // the engine marks a request so when a gesture gave it (one request per
    // gesture), as a browser's popup blocking does. Any other is only
    // reported, and nothing opens.
    if (!userInitiated) {
        EventContainer blocked(QStringLiteral("popup-blocked"));
        blocked[QStringLiteral("url")] = url.toString();
        deliver(blocked);
        return;
    }
    EventContainer event(QStringLiteral("new-window"));
    event[QStringLiteral("url")] = url.toString();
    deliver(event);
    if (closing || !centralObject->kivValid(webView->id()))
        return;
    const QString scheme = url.scheme();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (!web && scheme != QLatin1String("mailto"))
        return;
    if (!QDesktopServices::openUrl(url) && web)
        webView->setUrl(url);
}

void WebviewWindow::loadStarted()
{
    bridge->loadStarted();
    centralObject->onPageLoad(webView->id());
}

void WebviewWindow::loadFinished(bool ok)
{
    bridge->loadFinished();
    centralObject->pageLoaded(webView->id(), ok);
}

void WebviewWindow::rendererTerminated(int status, int exitCode)
{
    // Nothing answers in this page until its next load: the bridge stops
    // polling it and ends the calls that wait for it; the host is told.
    bridge->rendererTerminated();
    static const char *const reasons[] = {"normal", "abnormal", "crashed", "killed"};
    EventContainer event(QStringLiteral("renderer-gone"));
    event[QStringLiteral("reason")]
        = QString::fromLatin1(status >= 0 && status < 4 ? reasons[status] : "abnormal");
    event[QStringLiteral("exit-code")] = exitCode;
    deliverLater(event);
}

void WebviewWindow::runJs(const QString &code)
{
    bridge->run(code);
}

void WebviewWindow::callJs(const QString &code, Command *command)
{
    bridge->call(code, command);
}

void WebviewWindow::endPendingCalls(const QString &reason)
{
    bridge->failCalls(reason);
}

void WebviewWindow::processJsEvents()
{
    bridge->poll();
}

void WebviewWindow::deliver(const EventContainer &event)
{
    if (centralObject && webView)
        centralObject->deliverEvent(webView->id(), mkEventJson(event));
}

void WebviewWindow::deliverLater(const EventContainer &event)
{
    QMetaObject::invokeMethod(this, [this, event] { deliver(event); }, Qt::QueuedConnection);
}

bool WebviewWindow::placedByWindowSystem() const
{
    if (!isVisible() || isMinimized())
        return true;
    const QWindow *native = windowHandle();
    return native && native->isExposed();
}

void WebviewWindow::startClosing()
{
    closing = true;
    if (pageDialogsOpen()) {
        endPageDialogs();
        return; // closes once they are off the stack (pageDialogClosed)
    }
    close();
}

// ---------------------------------------------------------------------------
// The page's dialogs: modal to this window, but never in the way of its
// close protocol (blocked_close_requests.h, page_dialogs.h).
// ---------------------------------------------------------------------------

void WebviewWindow::pageDialogOpened(QDialog *dialog)
{
    pageDialogs << dialog;
}

void WebviewWindow::pageDialogClosed(QDialog *dialog)
{
    pageDialogs.removeAll(dialog);
    pageDialogs.removeAll(nullptr);
    // The window, or an ancestor waiting for it, may go now.
    for (WebviewWindow *w = this; w; w = w->parentWindow) {
        if (w->closing && !w->pageDialogsOpen())
            w->closeOncePageDialogsEnd();
    }
}

bool WebviewWindow::pageDialogsOpen() const
{
    for (const QPointer<QDialog> &dialog : pageDialogs) {
        if (dialog)
            return true;
    }
    // A child window is destroyed with this one.
    const QList<WebviewWindow *> children = findChildren<WebviewWindow *>(Qt::FindDirectChildrenOnly);
    for (const WebviewWindow *child : children) {
        if (child->pageDialogsOpen())
            return true;
    }
    return false;
}

void WebviewWindow::endPageDialogs()
{
    const QList<QPointer<QDialog>> open = pageDialogs;
    for (const QPointer<QDialog> &dialog : open) {
        if (dialog)
            dialog->reject();
    }
    const QList<WebviewWindow *> children = findChildren<WebviewWindow *>(Qt::FindDirectChildrenOnly);
    for (WebviewWindow *child : children)
        child->endPageDialogs();
}

void WebviewWindow::closeOncePageDialogsEnd()
{
    // Queued: the dialog that just ended is still on the stack, inside the
    // engine's task for this page, which must return before the page goes.
    QPointer<WebviewWindow> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self && self->closing && !self->closeDone && !self->pageDialogsOpen())
                self->close();
        },
        Qt::QueuedConnection);
}

void WebviewWindow::askToClose()
{
    if (!closing)
        deliver(EventContainer(QStringLiteral("can-close?")));
}

// ---------------------------------------------------------------------------
// The title and the address the page shows
// ---------------------------------------------------------------------------

void WebviewWindow::setTitleFromHost(const QString &title)
{
    titleFromHost = true;
    setWindowTitle(boundedTitle(title));
}

void WebviewWindow::followPageTitle()
{
    if (titleFromHost || !webView)
        return;
    // The page's own title; without one, where it comes from: its host, a
    // local file's name, else "Untitled". Never the toolkit's own default,
    // the application's name.
    const auto *page = static_cast<const WebPage *>(webView->page());
    QString title = page->ownTitle();
    const QUrl url = page->url();
    if (title.isEmpty())
        title = url.host();
    if (title.isEmpty() && url.isLocalFile())
        title = QFileInfo(url.toLocalFile()).fileName();
    if (title.isEmpty())
        title = QStringLiteral("Untitled");
    setWindowTitle(boundedTitle(title));
}

void WebviewWindow::pageUrlChanged(const QUrl &url)
{
    followPageTitle();
    // A text shown from HTML travels as a data URL as long as the text
    // itself: the host hears of it as kiv-html:HANDLE/SERIAL, the serial of
    // its kiv_webview_set_html. The first data URL after the call is that
    // text's; going back to it later finds it again.
    QString reported = url.toString();
    // The engine shows a web address with no path with its root path: so is
    // it reported, also when the load starts from the host's own spelling.
    if (url.path().isEmpty() && url.isValid() && !url.host().isEmpty()) {
        QUrl rooted = url;
        rooted.setPath(QStringLiteral("/"));
        reported = rooted.toString();
    }
    if (url.scheme() == QLatin1String("kiv-html"))
        pendingHtmlSerial = 0; // the text is served under its own address
    if (url.scheme() == QLatin1String("data")) {
        // Known by the text, whatever fragment the page moved to since.
        const size_t key = qHash(url.toString(QUrl::RemoveFragment));
        if (pendingHtmlSerial != 0) {
            htmlSerials.insert(key, pendingHtmlSerial);
            pendingHtmlSerial = 0;
        }
        const auto found = htmlSerials.constFind(key);
        if (found != htmlSerials.cend()) {
            reported = QStringLiteral("kiv-html:%1/%2").arg(webView->id()).arg(*found);
            if (url.hasFragment())
                reported += QLatin1Char('#') + url.fragment(QUrl::FullyEncoded);
        }
    }
    if (reported == reportedUrl || reported.isEmpty())
        return;
    reportedUrl = reported;
    EventContainer event(QStringLiteral("url-changed"));
    event[QStringLiteral("url")] = reported;
    deliver(event);
}

// ---------------------------------------------------------------------------
// Geometry: a run of move or resize events becomes one notification, 500 ms
// after the last of them, carrying the last position or size.
// ---------------------------------------------------------------------------

void WebviewWindow::moveEvent(QMoveEvent *)
{
    // The position of the frame, as kiv_webview_move takes it. The event's
    // own position is the frame's for a move the program made, but the
    // client area's for one the window system reports (a user dragging the
    // window, a hidden window placed when shown), which would put a window
    // off by its frame each time a host restored a reported position.
    lastX = pos().x();
    lastY = pos().y();
    moveTimer.start(500);
}

void WebviewWindow::resizeEvent(QResizeEvent *event)
{
    lastWidth = event->size().width();
    lastHeight = event->size().height();
    resizeTimer.start(500);
}

void WebviewWindow::triggerMove()
{
    EventContainer event(QStringLiteral("move"));
    event[QStringLiteral("x")] = lastX;
    event[QStringLiteral("y")] = lastY;
    deliver(event);
}

void WebviewWindow::triggerResize()
{
    EventContainer event(QStringLiteral("resize"));
    event[QStringLiteral("w")] = lastWidth;
    event[QStringLiteral("h")] = lastHeight;
    deliver(event);
}

// ---------------------------------------------------------------------------
// Visibility and the close protocol: the user's close request only asks the
// host ("can-close?"); the window closes when the host closes its handle.
// ---------------------------------------------------------------------------

void WebviewWindow::showEvent(QShowEvent *)
{
    deliver(EventContainer(QStringLiteral("show")));
}

void WebviewWindow::hideEvent(QHideEvent *)
{
    if (!closing)
        deliver(EventContainer(QStringLiteral("hide")));
}

void WebviewWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange) {
        hostStateRequests.stateChanged(static_cast<QWindowStateChangeEvent *>(event)->oldState());
        if (fullScreen)
            fullScreen->windowStateChanged();
    }
    QMainWindow::changeEvent(event);
}

void WebviewWindow::closeEvent(QCloseEvent *event)
{
    if (!closing) {
        event->setAccepted(false);
        askToClose();
        return;
    }
    closeDone = true;
    moveTimer.stop();
    resizeTimer.stop();
    centralObject->windowClosed(webView->id(), this);
    deleteLater();
    if (devToolsWindow)
        devToolsWindow->deleteLater();
}

// ---------------------------------------------------------------------------
// Developer tools
// ---------------------------------------------------------------------------

void WebviewWindow::openDevTools()
{
    auto *tools = new QMainWindow(this);
    devToolsWindow = tools;
    auto *toolsView = new QWebEngineView(tools);
    tools->setCentralWidget(toolsView);
    tools->resize(800, 600);
    tools->show();
    webView->page()->setDevToolsPage(toolsView->page());
    connect(tools, &QObject::destroyed, this, [this, tools] {
        if (devToolsWindow == tools)
            devToolsWindow = nullptr;
    });
}

// ---------------------------------------------------------------------------
// Certificate acceptance by organisational-unit token
// ---------------------------------------------------------------------------

void WebviewWindow::handleCertificate(const QWebEngineCertificateError &certificateError)
{
    const QList<QSslCertificate> chain = certificateError.certificateChain();
    for (const QSslCertificate &certificate : chain) {
        if (!certificate.isSelfSigned())
            continue;
        const QStringList units = issuerOrganizationalUnits(certificate.toDer());
        if (units.isEmpty())
            continue;
        const QString &first = units.first();
        if (!first.isEmpty() && first == ouToken) {
            QWebEngineCertificateError error = certificateError;
            error.acceptCertificate();
            return;
        }
    }
    // No match: the engine's default refuses the certificate.
}
