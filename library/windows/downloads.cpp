#include "downloads.h"

#include "../bridge/event_container.h"
#include "../core/file_dialog.h"
#include "kivwebview_qt_class.h"
#include "page_dialogs.h"
#include "webview_qt.h"
#include "webview_window.h"

#include <QDir>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

namespace {

EventContainer downloadEvent(
    const QString &name, const QWebEngineDownloadRequest *download, const QString &path)
{
    EventContainer event(name);
    event[QStringLiteral("path")] = path;
    event[QStringLiteral("url")] = download->url().toString();
    return event;
}

} // namespace

void Downloads::deliverLater(int handle, const EventContainer &event)
{
    // The engine reports downloads from inside its own tasks; the host hears
    // of them from an event of their own, where its callback may run a dialog.
    QMetaObject::invokeMethod(
        this, [this, handle, event] { central->deliverEvent(handle, mkEventJson(event)); },
        Qt::QueuedConnection);
}

Downloads::Downloads(Kivwebview_qt *central)
    : QObject(central)
    , central(central)
{
    connect(QWebEngineProfile::defaultProfile(), &QWebEngineProfile::downloadRequested, this,
        &Downloads::requested);
}

void Downloads::requested(QWebEngineDownloadRequest *download)
{
    // The engine asks while it waits: the download is accepted (with its
    // path) or cancelled before this returns, so the dialog runs here.
    auto *view = qobject_cast<WebViewQt *>(QWebEngineView::forPage(download->page()));
    WebviewWindow *window = view ? view->wvWin() : nullptr;
    if (!window || !central->kivValid(view->id())) {
        download->cancel(); // not a page of an open browser window
        return;
    }
    const int handle = view->id();
    // A page may not ask again without the user: after a save dialog, the
    // next one needs a click or a key of the user's on the page in between.
    // A download asked for without one is refused, and reported.
    const auto asked = gesturesAtLastDialog.constFind(handle);
    if (asked != gesturesAtLastDialog.cend() && *asked == window->userGestures()) {
        EventContainer event(QStringLiteral("download-blocked"));
        event[QStringLiteral("url")] = download->url().toString();
        download->cancel();
        deliverLater(handle, event);
        return;
    }
    gesturesAtLastDialog.insert(handle, window->userGestures());
    const QString proposed = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
    FileDialog dialog(
        window, QStringLiteral("Save download"), proposed, QString(), QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    const bool chosen = runPageDialog(window, *dialog.get()) == QDialog::Accepted && dialog.get();
    const QString path = chosen ? dialog->selectedFiles().value(0) : QString();
    if (path.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    download->accept();
    deliverLater(handle, downloadEvent(QStringLiteral("download-started"), download, path));

    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this,
        [this, download, handle, path] {
            if (!download->isFinished())
                return;
            EventContainer event
                = downloadEvent(QStringLiteral("download-finished"), download, path);
            event[QStringLiteral("oke")]
                = download->state() == QWebEngineDownloadRequest::DownloadCompleted;
            deliverLater(handle, event);
        });
}
