// HTML texts too large for a data URL, served to their windows from memory.
#ifndef KIVWEBVIEW_SERVED_HTML_H
#define KIVWEBVIEW_SERVED_HTML_H

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineLoadingInfo;
class QWebEnginePage;

// The web engine shows a text given to QWebEnginePage::setHtml as a
// percent-encoded data URL, and refuses URLs longer than 2 MiB: a larger
// page fails to load and the old one stays. ServedHtml shows a text larger
// than one piece of the engine's stream (below) instead under a URL of the
// library's own scheme, "kiv-html:", answered from memory. Each window keeps
// the text of its newest such page until it shows another one or closes, so
// that a reload finds it.
//
// The engine hands a scheme handler's reply to the page's renderer through
// a stream of 64 KiB, where a file URL's goes through one of 2 MiB. The
// renderer takes one piece at a time and, between two pieces, draws the
// part of the page it has so far; each drawing costs in proportion to what
// is there, so a page of many pieces took a multiple of its file's time
// (16 MiB: minutes). A served page is therefore kept from drawing (the page
// is hidden from the engine) from the moment its text is requested until it
// has loaded, and drawn whole once. (A large data URL was slower still: the
// URL itself costs, percent-encoded and carried through the navigation.)
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
    struct Served
    {
        quint64 serial = 0;
        QByteArray text;
        QPointer<QWebEnginePage> page;
    };

    // Keeps page from drawing until its load of the served url ends.
    void holdDrawing(QWebEnginePage *page, const QUrl &url);
    void loadingChanged(QWebEnginePage *page, const QWebEngineLoadingInfo &info);
    void releaseDrawing(QWebEnginePage *page);

    bool installed = false;
    quint64 lastSerial = 0;
    // Per window handle: the serial in its URL, the text and the page.
    QHash<int, Served> texts;
    // Pages kept from drawing, and the served URL each one waits for.
    QHash<QWebEnginePage *, QUrl> held;
};

#endif // KIVWEBVIEW_SERVED_HTML_H
