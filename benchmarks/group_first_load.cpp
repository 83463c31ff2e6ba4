// Groups "first-lib" and "first-qt": the first page-loaded in a fresh
// process, through the library and in a plain Qt program.
#include "groups.h"
#include "library_host.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QWebEngineView>

namespace bench {

QJsonObject runFirstLib(const GroupOptions &)
{
    // The first call of the process creates the application object.
    const int wv = kiv_webview_create(0, onEvent);
    const int before = host.pageLoaded;
    kiv_webview_set_html(wv, pageHtml);
    pumpUntil([&] { return host.pageLoaded > before; }, 120000, "the first page-loaded");
    const double ms = host.pageLoadedAt;
    kiv_webview_close(wv);
    return QJsonObject {{"ms", ms}, {"loads_before_html", before}};
}

QJsonObject runFirstQt(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QMainWindow window;
    auto *view = new QWebEngineView(&window);
    window.setCentralWidget(view);
    window.show();
    double loadedAt = 0;
    QEventLoop loop;
    QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&](bool) {
        loadedAt = nowMs();
        loop.quit();
    });
    view->setHtml(QString::fromUtf8(pageHtml));
    loop.exec();
    return QJsonObject {{"ms", loadedAt}};
}

} // namespace bench
