#include "floor_host.h"

#include "bench_common.h"
#include "bridge/page_scripts.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QThread>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <cmath>

namespace bench {

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) { }

char appName[] = "kiv_floor";
char engineArgs[] = "--webEngineArgs";
char noLogging[] = "--disable-logging";
char logLevel[] = "--log-level=3";
int floorArgc = 4;
char *floorArgv[] = {appName, engineArgs, noLogging, logLevel, nullptr};

// Shows the page in a view and waits until it is loaded.
void loadPage(QWebEngineView *view, QEventLoop &loop)
{
    bool loaded = false;
    const auto c = QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&](bool) {
        loaded = true;
        loop.quit();
    });
    view->setHtml(QString::fromUtf8(pageHtml));
    while (!loaded)
        loop.exec();
    QObject::disconnect(c);
}

} // namespace

QApplication *makeFloorApplication()
{
    if (!qEnvironmentVariableIsSet("QT_WIDGETS_RHI"))
        qputenv("QT_WIDGETS_RHI", "1");
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    qInstallMessageHandler(dropMessage);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto *app = new QApplication(floorArgc, floorArgv);
    app->setQuitOnLastWindowClosed(false);
    return app;
}

FloorView::FloorView()
    : view(new QWebEngineView(&window))
{
    window.setCentralWidget(view);
    window.show();
    loadPage(view, loop);
}

double FloorView::run(const QString &script)
{
    const double t0 = nowMs();
    view->page()->runJavaScript(script, [this](const QVariant &v) {
        answer = v;
        loop.quit();
    });
    loop.exec();
    return nowMs() - t0;
}

struct FloorPoller::Page
{
    QMainWindow window;
    QWebEngineView *view = new QWebEngineView(&window);
};

FloorPoller::FloorPoller()
{
    connect(&timer, &QTimer::timeout, this, &FloorPoller::poll);
    timer.start(5);
    sliceEnd.setSingleShot(true);
    connect(&sliceEnd, &QTimer::timeout, &loop, [this] { loop.exit(0); });
}

FloorPoller::~FloorPoller() = default;

void FloorPoller::open()
{
    auto page = std::make_unique<Page>();
    page->window.setCentralWidget(page->view);
    QWebEngineScript bridge;
    bridge.setName(QStringLiteral("kiv_webview_event_handling"));
    bridge.setInjectionPoint(QWebEngineScript::DocumentCreation);
    bridge.setWorldId(QWebEngineScript::MainWorld);
    bridge.setRunsOnSubFrames(false);
    bridge.setSourceCode(PageScripts::bridge);
    page->view->page()->scripts().insert(bridge);
    page->window.show();
    loadPage(page->view, loop);
    page->view->page()->runJavaScript(PageScripts::bridge, QWebEngineScript::MainWorld, {});
    pages.push_back(std::move(page));
}

void FloorPoller::poll()
{
    for (const auto &page : pages) {
        page->view->page()->runJavaScript(PageScripts::poll, [this](const QVariant &answer) {
            const QString text = answer.toString();
            if (text == QLatin1String("[]"))
                return;
            const QJsonArray items = QJsonDocument::fromJson(text.toUtf8()).array();
            if (itemsDelivered == 0 && !items.isEmpty())
                firstItemAt = nowMs();
            itemsDelivered += static_cast<int>(items.size());
        });
    }
}

void FloorPoller::runFor(double ms)
{
    if (sliced) {
        const double end = nowMs() + ms;
        while (nowMs() < end) {
            QThread::usleep(500);
            sliceEnd.start(2);
            loop.exec();
            sliceEnd.stop();
        }
        return;
    }
    QTimer::singleShot(
        static_cast<int>(std::lround(ms)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool FloorPoller::runUntil(const std::function<bool()> &pred, double timeoutMs)
{
    const double end = nowMs() + timeoutMs;
    while (!pred()) {
        if (nowMs() > end)
            return false;
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void FloorPoller::runScript(int page, const QString &script)
{
    pages.at(static_cast<size_t>(page))
        ->view->page()
        ->runJavaScript(script, QWebEngineScript::MainWorld, {});
}

} // namespace bench
