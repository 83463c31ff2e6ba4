// HTML texts too large for a data URL, served to their windows from memory.
#ifndef KIVWEBVIEW_SERVED_HTML_H
#define KIVWEBVIEW_SERVED_HTML_H

#include <QByteArray>
#include <QHash>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEnginePage;

// The web engine shows a text given to QWebEnginePage::setHtml as a
// percent-encoded data URL, and refuses URLs longer than 2 MiB: a larger
// page fails to load and the old one stays. ServedHtml shows such a text
// instead under a URL of the library's own scheme, "kiv-html:", answered
// from memory. Each window keeps the text of its newest such page until it
// shows another one or closes, so that a reload finds it.
class ServedHtml : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    // Registers the scheme with the web engine. Must run before the engine
    // starts (before the first page exists); false when it is too late.
    static bool registerScheme();

    explicit ServedHtml(QObject *parent = nullptr);

    // The serial of the next text to show: the N of its kiv-html:HANDLE/N.
    quint64 nextSerial() { return ++lastSerial; }
    // Shows the UTF-8 text in page, as setHtml would with no base URL,
    // under the serial taken from nextSerial(). False when the text cannot
    // be shown: too long for a data URL while the scheme could not be
    // registered.
    bool show(int handle, QWebEnginePage *page, const QByteArray &utf8, quint64 serial);
    // Forgets the text kept for a closed window.
    void forget(int handle) { texts.remove(handle); }

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    bool installed = false;
    quint64 lastSerial = 0;
    // Per window handle: the serial in its URL and the text.
    QHash<int, QPair<quint64, QByteArray>> texts;
};

#endif // KIVWEBVIEW_SERVED_HTML_H
