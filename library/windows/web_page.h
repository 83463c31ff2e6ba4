// The page of a browser window's web view: the page's own dialogs (alert,
// confirm, prompt, the question before leaving a page) with short titles,
// modal to the window and held in bounds.
#ifndef KIVWEBVIEW_WEB_PAGE_H
#define KIVWEBVIEW_WEB_PAGE_H

#include <QWebEnginePage>

class WebPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit WebPage(QObject *parent = nullptr);

    // The page's own title (its <title>), simplified; empty when it has
    // none. The engine reports a page without a title by its URL, which is
    // not the page's title (and for a page shown from HTML text is that
    // whole text).
    QString ownTitle() const;

    // The title of the page's dialogs: the page's title, else its host
    // name, else the word given; cut like window titles. Never the page's
    // URL.
    QString dialogTitle(const QString &plainWord) const;

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &message,
        const QString &defaultValue, QString *result) override;

private:
    // A page that keeps opening dialogs: from its second alert, confirm or
    // prompt on, each offers to prevent more; once the user chose that, the
    // document's further ones return at once (confirm and prompt as
    // cancelled). A new document starts afresh.
    bool dialogsPrevented() const { return preventDialogs; }
    bool offerToPrevent() const { return dialogsShown > 0; }
    void dialogShown(bool preventMore);
    void documentMayChange();
    void urlChanged();

    int dialogsShown = 0;
    bool preventDialogs = false;
    bool navigationStarted = false;
};

#endif // KIVWEBVIEW_WEB_PAGE_H
