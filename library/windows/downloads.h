// Downloads that pages start: the user chooses where each one is saved.
#ifndef KIVWEBVIEW_DOWNLOADS_H
#define KIVWEBVIEW_DOWNLOADS_H

#include <QObject>

class EventContainer;
class Kivwebview_qt;
class QWebEngineDownloadRequest;

// Watches the web engine's default profile. Each download that a page of a
// browser window starts is offered to the user in the library's save dialog,
// modal to that window and proposing the engine's file name in the user's
// download folder: accepted, it is saved where the user chose, and the window
// reports "download-started" and, once done, "download-finished"; cancelled,
// the download is cancelled and nothing is written or reported.
class Downloads : public QObject
{
    Q_OBJECT

public:
    explicit Downloads(Kivwebview_qt *central);

private:
    void requested(QWebEngineDownloadRequest *download);
    void report(int handle, const EventContainer &event);

    Kivwebview_qt *central;
};

#endif // KIVWEBVIEW_DOWNLOADS_H
