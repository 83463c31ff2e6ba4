// The dialog that asks for a user name and a password when a server (or a
// proxy) wants them: HTTP authentication.
#ifndef KIVWEBVIEW_LOGIN_DIALOG_H
#define KIVWEBVIEW_LOGIN_DIALOG_H

#include <QDialog>

class QAuthenticator;
class QLineEdit;
class QUrl;
class WebviewWindow;

class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    // who: the server (host and port) or proxy that asks; realm: the name
    // it gives the protected area.
    LoginDialog(QWidget *parent, const QString &title, const QString &who, const QString &realm);

    QString user() const;
    QString password() const;

    // Asks in window's page dialog and answers the request: OK retries the
    // request with what the user typed, Cancel (or Escape, or the window
    // closing) ends the load with the server's own answer. The password goes
    // only into the authenticator, and is cleared from the dialog.
    static void answer(WebviewWindow *window, const QUrl &url, QAuthenticator *authenticator,
        const QString &proxyHost);

private:
    QLineEdit *userLine;
    QLineEdit *passwordLine;
};

#endif // KIVWEBVIEW_LOGIN_DIALOG_H
