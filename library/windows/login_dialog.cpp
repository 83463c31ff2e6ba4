#include "login_dialog.h"

#include "page_dialogs.h"
#include "web_page.h"
#include "webview_qt.h"
#include "webview_window.h"

#include <QAuthenticator>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

LoginDialog::LoginDialog(
    QWidget *parent, const QString &title, const QString &who, const QString &realm)
    : QDialog(parent)
    , userLine(new QLineEdit(this))
    , passwordLine(new QLineEdit(this))
{
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    const QString said = realm.isEmpty()
        ? QStringLiteral("%1 asks for a user name and a password.").arg(who)
        : QStringLiteral("%1 asks for a user name and a password for \u201c%2\u201d.").arg(who, realm);
    auto *label = new QLabel(said, this);
    // What the server sent is shown as it is, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto *form = new QFormLayout;
    passwordLine->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User name:"), userLine);
    form->addRow(QStringLiteral("Password:"), passwordLine);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setTabOrder(userLine, passwordLine);
    userLine->setFocus();
}

QString LoginDialog::user() const
{
    return userLine->text();
}

QString LoginDialog::password() const
{
    return passwordLine->text();
}

void LoginDialog::answer(WebviewWindow *window, const QUrl &url, QAuthenticator *authenticator,
    const QString &proxyHost)
{
    // The engine waits for the answer: the request goes on (or ends) when
    // this returns. A null authenticator cancels it.
    auto *page = window ? static_cast<WebPage *>(window->view()->page()) : nullptr;
    if (!page || !window->showsPageDialogs()) {
        *authenticator = QAuthenticator();
        return;
    }
    QString who = proxyHost.isEmpty() ? url.host() : QStringLiteral("The proxy %1").arg(proxyHost);
    if (proxyHost.isEmpty() && url.port() != -1)
        who += QLatin1Char(':') + QString::number(url.port());
    LoginDialog dialog(
        window, page->dialogTitle(QStringLiteral("Login")), who, authenticator->realm());
    if (runPageDialog(window, dialog) != QDialog::Accepted) {
        *authenticator = QAuthenticator();
        return;
    }
    authenticator->setUser(dialog.user());
    authenticator->setPassword(dialog.password());
    dialog.passwordLine->clear();
}
