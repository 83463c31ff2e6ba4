#include "page_dialogs.h"

#include "webview_qt.h"
#include "webview_window.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineView>

WebviewWindow *browserWindowOf(QWebEnginePage *page)
{
    auto *view = qobject_cast<WebViewQt *>(QWebEngineView::forPage(page));
    return view ? view->wvWin() : nullptr;
}

int runPageDialog(WebviewWindow *window, QDialog &dialog)
{
    if (!window || !window->showsPageDialogs())
        return QDialog::Rejected;
    // Modal to its own window only: the host's other windows go on.
    dialog.setWindowModality(Qt::WindowModal);
    QPointer<QDialog> alive(&dialog);
    window->pageDialogOpened(&dialog);
    const int result = dialog.exec();
    // The window waits for this before it goes (see WebviewWindow::startClosing).
    window->pageDialogClosed(&dialog);
    return alive ? result : int(QDialog::Rejected);
}

QString preventMoreDialogsText()
{
    return QStringLiteral("&Prevent this page from creating more dialogs");
}

PromptDialog::PromptDialog(QWidget *parent, const QString &title, const QString &message,
    const QString &defaultValue, bool offerToPrevent)
    : QDialog(parent)
{
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(message, this);
    // Shown as the page wrote it, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    layout->addWidget(label);
    line = new QLineEdit(defaultValue, this);
    layout->addWidget(line);
    if (offerToPrevent) {
        prevent = new QCheckBox(preventMoreDialogsText(), this);
        layout->addWidget(prevent);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    line->setFocus();
}

QString PromptDialog::text() const
{
    return line->text();
}

bool PromptDialog::preventMore() const
{
    return prevent && prevent->isChecked();
}
