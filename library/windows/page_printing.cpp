#include "page_printing.h"

#include "../bridge/event_container.h"
#include "../core/file_dialog.h"
#include "page_dialogs.h"
#include "web_page.h"
#include "webview_qt.h"
#include "webview_window.h"

#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <QWebEnginePage>

PagePrinting::PagePrinting(WebviewWindow *window)
    : QObject(window)
    , window(window)
{
    QWebEnginePage *page = window->view()->page();
    connect(page, &QWebEnginePage::printRequested, this, &PagePrinting::requested);
    connect(page, &QWebEnginePage::pdfPrintingFinished, this, &PagePrinting::finished);
}

void PagePrinting::requested()
{
    if (asking || printing)
        return;
    if (askedBefore && window->userGestures() == gesturesWhenAsked)
        return; // no click or key of the user's since the last dialog
    asking = true;
    // Asked from an event of its own, outside the engine's task.
    QMetaObject::invokeMethod(this, &PagePrinting::ask, Qt::QueuedConnection);
}

void PagePrinting::ask()
{
    QPointer<PagePrinting> self(this);
    askedBefore = true;
    gesturesWhenAsked = window->userGestures();
    auto *page = static_cast<WebPage *>(window->view()->page());
    QString name = page->ownTitle();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (name.isEmpty())
        name = QStringLiteral("page");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    FileDialog dialog(window, QStringLiteral("Print to PDF"),
        QDir(folder).filePath(name.left(200) + QStringLiteral(".pdf")), QStringLiteral("PDF (*.pdf)"),
        QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    const bool chosen = runPageDialog(window, *dialog.get()) == QDialog::Accepted;
    const QString path = chosen && dialog.get() ? dialog->selectedFiles().value(0) : QString();
    if (!self)
        return;
    asking = false;
    if (path.isEmpty() || window->isClosing())
        return;
    printing = true;
    page->printToPdf(path);
}

void PagePrinting::finished(const QString &path, bool ok)
{
    if (!printing)
        return;
    printing = false;
    EventContainer event(QStringLiteral("print-finished"));
    event[QStringLiteral("oke")] = ok;
    event[QStringLiteral("path")] = path;
    window->deliverLater(event);
}
