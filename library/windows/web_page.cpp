#include "web_page.h"

#include "../core/window_title.h"
#include "page_dialogs.h"
#include "webview_window.h"

#include <QCheckBox>
#include <QCoreApplication>
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
    connect(this, &QWebEnginePage::loadStarted, this, &WebPage::documentMayChange);
    connect(this, &QWebEnginePage::urlChanged, this, &WebPage::urlChanged);
    connect(this, &QWebEnginePage::loadFinished, this, [this] { navigationStarted = false; });
}

QString WebPage::ownTitle() const
{
    const QString pageTitle = title().simplified();
    // A page without a title of its own reports its URL as its title, with
    // or without the scheme ("about:blank" for a page shown from HTML text).
    const bool own = !pageTitle.isEmpty() && pageTitle != QLatin1String("about:blank")
        && !url().toString().endsWith(pageTitle);
    return own ? pageTitle : QString();
}

QString WebPage::dialogTitle(const QString &plainWord) const
{
    const QString pageTitle = ownTitle();
    if (!pageTitle.isEmpty())
        return boundedTitle(pageTitle);
    const QString host = url().host();
    return host.isEmpty() ? plainWord : boundedTitle(host);
}

void WebPage::documentMayChange()
{
    // A navigation started; whether a new document comes of it shows when
    // the page's address changes (one that is answered with no document
    // leaves the address, and the page, as they were).
    navigationStarted = true;
}

void WebPage::urlChanged()
{
    if (!navigationStarted)
        return; // the same document: a fragment, history.pushState
    navigationStarted = false;
    dialogsShown = 0;
    preventDialogs = false;
}

void WebPage::dialogShown(bool preventMore)
{
    ++dialogsShown;
    preventDialogs = preventDialogs || preventMore;
}

void WebPage::javaScriptAlert(const QUrl &, const QString &message)
{
    if (dialogsPrevented())
        return;
    QMessageBox box(QMessageBox::Information, dialogTitle(QStringLiteral("Alert")), message,
        QMessageBox::Ok, dialogParent(this));
    box.setTextFormat(Qt::PlainText);
    if (offerToPrevent())
        box.setCheckBox(new QCheckBox(preventMoreDialogsText(), &box));
    runPageDialog(browserWindowOf(this), box);
    dialogShown(box.checkBox() && box.checkBox()->isChecked());
}

bool WebPage::javaScriptConfirm(const QUrl &, const QString &message)
{
    // The question before leaving a page comes here too; it is no dialog
    // the page opened at will, and it is never prevented.
    const bool leaving = message == QCoreApplication::translate("QWebEnginePage",
                             "Are you sure you want to leave this page? Changes that you made "
                             "may not be saved.");
    if (!leaving && dialogsPrevented())
        return false;
    QMessageBox box(QMessageBox::Question, dialogTitle(QStringLiteral("Confirm")), message,
        QMessageBox::Ok | QMessageBox::Cancel, dialogParent(this));
    box.setTextFormat(Qt::PlainText);
    if (!leaving && offerToPrevent())
        box.setCheckBox(new QCheckBox(preventMoreDialogsText(), &box));
    const bool accepted = runPageDialog(browserWindowOf(this), box) == QMessageBox::Ok;
    if (!leaving)
        dialogShown(box.checkBox() && box.checkBox()->isChecked());
    return accepted;
}

bool WebPage::javaScriptPrompt(
    const QUrl &, const QString &message, const QString &defaultValue, QString *result)
{
    if (dialogsPrevented())
        return false;
    PromptDialog dialog(dialogParent(this), dialogTitle(QStringLiteral("Prompt")), message,
        defaultValue, offerToPrevent());
    const bool accepted = runPageDialog(browserWindowOf(this), dialog) == QDialog::Accepted;
    if (accepted && result)
        *result = dialog.text();
    dialogShown(dialog.preventMore());
    return accepted;
}
