#include "served_html.h"

#include <QBuffer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace {

const QByteArray schemeName = QByteArrayLiteral("kiv-html");
// What the engine shows a setHtml text as, before the text itself.
const QByteArray dataUrlPrefix = QByteArrayLiteral("data:text/html;charset=UTF-8,");
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
    if (dataUrlLength(utf8) <= maxUrlLength) {
        // Small enough: exactly what setHtml does.
        texts.remove(handle);
        page->setContent(utf8, QStringLiteral("text/html;charset=UTF-8"), QUrl());
        return true;
    }
    if (!schemeRegistered)
        return false;
    if (!installed) {
        QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(schemeName, this);
        installed = true;
    }
    texts.insert(handle, qMakePair(serial, utf8));
    page->setUrl(QUrl(QStringLiteral("kiv-html:%1/%2").arg(handle).arg(serial)));
    return true;
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
        || found->first != serial) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The engine reads the device on another thread until the job goes; the
    // buffer shares the text, which nothing writes to.
    auto *buffer = new QBuffer;
    buffer->setData(found->second);
    buffer->open(QIODevice::ReadOnly);
    connect(job, &QObject::destroyed, buffer, &QObject::deleteLater);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
}
