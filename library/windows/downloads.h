// Downloads that pages start: the user chooses where each one is saved.
#ifndef KIVWEBVIEW_DOWNLOADS_H
#define KIVWEBVIEW_DOWNLOADS_H

#include <QHash>
#include <QObject>

class EventContainer;
class Kivwebview_qt;
class QWebEngineDownloadRequest;

// Watches the web engine's default profile. Each download that a page of a
// browser window starts is offered to the user in the library's save dialog,
// modal to that window and proposing the engine's file name in the user's
// download folder: accepted, it is saved where the user chose, and the window
// reports "download-started" and, once done, "download-finished"; cancelled,
// the download is cancelled and nothing is written or reported. After a
// save dialog, a window's next one needs a click or a key of the user's on
// its page in between: a download asked for without one is cancelled and
// reported as "download-blocked".
class Downloads : public QObject
{
    Q_OBJECT

public:
    explicit Downloads(Kivwebview_qt *central);

private:
    void requested(QWebEngineDownloadRequest *download);
    void deliverLater(int handle, const EventContainer &event);

    Kivwebview_qt *central;
    // Per window handle: its user gesture count when its last save dialog
    // opened.
    QHash<int, quint64> gesturesAtLastDialog;
};

#endif // KIVWEBVIEW_DOWNLOADS_H
