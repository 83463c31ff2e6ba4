#include "web_page.h"

#include "../core/window_title.h"

#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QWebEngineView>

namespace {

// The dialogs go over the page's view; the message is shown as the page
// wrote it, never read as markup.
QWidget *dialogParent(QWebEnginePage *page)
{
    return QWebEngineView::forPage(page);
}

} // namespace

WebPage::WebPage(QObject *parent)
    : QWebEnginePage(parent)
{
}

QString WebPage::dialogTitle(const QString &plainWord) const
{
    const QString pageTitle = title().simplified();
    // A page without a title of its own reports its URL as its title, with
    // or without the scheme ("about:blank" for a page shown from HTML text).
    const bool ownTitle = !pageTitle.isEmpty() && pageTitle != QLatin1String("about:blank")
        && !url().toString().endsWith(pageTitle);
    if (ownTitle)
        return boundedTitle(pageTitle);
    const QString host = url().host();
    return host.isEmpty() ? plainWord : boundedTitle(host);
}

void WebPage::javaScriptAlert(const QUrl &, const QString &message)
{
    QMessageBox box(QMessageBox::Information, dialogTitle(QStringLiteral("Alert")), message,
        QMessageBox::Ok, dialogParent(this));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool WebPage::javaScriptConfirm(const QUrl &, const QString &message)
{
    QMessageBox box(QMessageBox::Question, dialogTitle(QStringLiteral("Confirm")), message,
        QMessageBox::Ok | QMessageBox::Cancel, dialogParent(this));
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok;
}

bool WebPage::javaScriptPrompt(
    const QUrl &, const QString &message, const QString &defaultValue, QString *result)
{
    QInputDialog dialog(dialogParent(this));
    dialog.setWindowTitle(dialogTitle(QStringLiteral("Prompt")));
    dialog.setLabelText(message);
    dialog.setTextValue(defaultValue);
    for (QLabel *label : dialog.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted && result)
        *result = dialog.textValue();
    return accepted;
}
