// The page of a browser window's web view: the page's own dialogs (alert,
// confirm, prompt, and the question before leaving a page), with short
// titles.
#ifndef KIVWEBVIEW_WEB_PAGE_H
#define KIVWEBVIEW_WEB_PAGE_H

#include <QWebEnginePage>

class WebPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit WebPage(QObject *parent = nullptr);

    // The title of the page's dialogs: the page's title, else its host
    // name, else the word given; cut like window titles. Never the page's
    // URL, which for a page shown from HTML text is the whole text.
    QString dialogTitle(const QString &plainWord) const;

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &message) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &message,
        const QString &defaultValue, QString *result) override;
};

#endif // KIVWEBVIEW_WEB_PAGE_H
