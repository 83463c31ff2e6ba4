#include "served_html.h"

#include <QBuffer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

namespace {

const QByteArray schemeName = QByteArrayLiteral("kiv-html");
// What the engine shows a setHtml text as, before the text itself.
const QByteArray dataUrlPrefix = QByteArrayLiteral("data:text/html;charset=UTF-8,");
// What the engine's stream to a renderer holds at once for a scheme
// handler's reply (the default capacity of its data pipes). A text of at
// most this size would reach the renderer in one piece anyway, and goes as
// a data URL (whose percent-encoded form, at most three times as long,
// stays well below the engine's 2 MiB limit on URLs).
constexpr qsizetype streamPiece = 64 * 1024;

// The engine's longest URL (url::kMaxURLChars).
constexpr qsizetype maxUrlLength = 2 * 1024 * 1024;

bool schemeRegistered = false;

// The length of the data URL that setHtml makes of the text: unreserved
// characters stay as they are, every other byte becomes %XX.
qsizetype dataUrlLength(const QByteArray &utf8)
{
    qsizetype length = dataUrlPrefix.size();
    for (const char c : utf8) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
            || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        length += unreserved ? 1 : 3;
    }
    return length;
}

bool isServedUrl(const QUrl &url)
{
    return url.scheme().toLatin1() == schemeName;
}

} // namespace

bool ServedHtml::registerScheme()
{
    if (!schemeRegistered) {
        QWebEngineUrlScheme scheme(schemeName);
        // No flags: like a setHtml page, it is no secure context and may
        // not load local files.
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
        QWebEngineUrlScheme::registerScheme(scheme);
        schemeRegistered = QWebEngineUrlScheme::schemeByName(schemeName).name() == schemeName;
    }
    return schemeRegistered;
}

ServedHtml::ServedHtml(QObject *parent)
    : QWebEngineUrlSchemeHandler(parent)
{
}

bool ServedHtml::show(int handle, QWebEnginePage *page, const QByteArray &utf8, quint64 serial)
{
    if (utf8.size() <= streamPiece || !schemeRegistered) {
        // Small: exactly what setHtml does. (Without the scheme, a larger
        // text goes the same way while its data URL is short enough.)
        if (utf8.size() > streamPiece && dataUrlLength(utf8) > maxUrlLength)
            return false;
        texts.remove(handle);
        page->setContent(utf8, QStringLiteral("text/html;charset=UTF-8"), QUrl());
        return true;
    }
    if (!installed) {
        QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(schemeName, this);
        installed = true;
    }
    texts.insert(handle, Served {serial, utf8, page});
    const QUrl url(QStringLiteral("kiv-html:%1/%2").arg(handle).arg(serial));
    // Held after the load has begun: a page that has not loaded anything
    // yet takes no visibility until its first load, which shows it as its
    // view is.
    page->setUrl(url);
    holdDrawing(page, url);
    return true;
}

void ServedHtml::holdDrawing(QWebEnginePage *page, const QUrl &url)
{
    const bool holding = held.contains(page);
    held.insert(page, url);
    if (holding)
        return;
    page->setVisible(false);
    connect(page, &QWebEnginePage::loadingChanged, this,
        [this, page](const QWebEngineLoadingInfo &info) { loadingChanged(page, info); });
    connect(page, &QObject::destroyed, this, [this, page] { held.remove(page); });
}

void ServedHtml::loadingChanged(QWebEnginePage *page, const QWebEngineLoadingInfo &info)
{
    // The hold ends when the load of the awaited served text has ended
    // (loaded, stopped or failed), or when the page has gone on to load
    // anything else. An earlier served load that ends meanwhile (replaced
    // by a newer text) does not end it.
    const QWebEngineLoadingInfo::LoadStatus status = info.status();
    const bool started = status == QWebEngineLoadingInfo::LoadStartedStatus;
    bool ended = started;
    if (isServedUrl(info.url())) {
        ended = status == QWebEngineLoadingInfo::LoadSucceededStatus
            || (!started && info.url() == held.value(page));
    }
    if (ended)
        releaseDrawing(page);
}

void ServedHtml::releaseDrawing(QWebEnginePage *page)
{
    if (!held.remove(page))
        return;
    disconnect(page, nullptr, this, nullptr);
    // Visible again as the view is: the view shows or hides its page with
    // itself.
    const QWebEngineView *view = QWebEngineView::forPage(page);
    page->setVisible(view ? view->isVisible() : true);
}

void ServedHtml::requestStarted(QWebEngineUrlRequestJob *job)
{
    // kiv-html:HANDLE/SERIAL names the newest text of a window; an older
    // serial (a page left since) is gone.
    const QStringList parts = job->requestUrl().path().split(QLatin1Char('/'));
    bool handleOk = false;
    bool serialOk = false;
    const int handle = parts.value(0).toInt(&handleOk);
    const quint64 serial = parts.value(1).toULongLong(&serialOk);
    const auto found = texts.constFind(handle);
    if (parts.size() != 2 || !handleOk || !serialOk || found == texts.cend()
        || found->serial != serial) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // A reload, or a return through the history: not drawn until whole
    // either.
    if (found->page)
        holdDrawing(found->page, job->requestUrl());
    // The engine reads the device on another thread until the job goes; the
    // buffer shares the text, which nothing writes to.
    auto *buffer = new QBuffer;
    buffer->setData(found->text);
    buffer->open(QIODevice::ReadOnly);
    connect(job, &QObject::destroyed, buffer, &QObject::deleteLater);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
}
