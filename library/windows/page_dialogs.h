// The dialogs a page opens (alert, confirm, prompt, the question before
// leaving, a login, a permission question, a save dialog): modal to the
// page's window, held until the user answers them, and never in the way of
// the window's close protocol.
#ifndef KIVWEBVIEW_PAGE_DIALOGS_H
#define KIVWEBVIEW_PAGE_DIALOGS_H

#include <QDialog>

class QWebEnginePage;
class WebviewWindow;

// The browser window that shows page, or null.
WebviewWindow *browserWindowOf(QWebEnginePage *page);

// Shows dialog modal to window and runs it until the user answers it. The
// window's close button still works meanwhile ("can-close?"); when the host
// then closes the window, the dialog ends as cancelled and the window goes
// once the dialog is off the stack. A window that is closing shows no
// dialog. Returns QDialog::exec()'s result (Rejected when cancelled so).
int runPageDialog(WebviewWindow *window, QDialog &dialog);

// The page's prompt: a message, a line to type in, OK and Cancel, and
// optionally the choice to prevent the page from opening more dialogs.
class PromptDialog : public QDialog
{
    Q_OBJECT

public:
    PromptDialog(QWidget *parent, const QString &title, const QString &message,
        const QString &defaultValue, bool offerToPrevent);

    QString text() const;
    bool preventMore() const;

private:
    class QLineEdit *line = nullptr;
    class QCheckBox *prevent = nullptr;
};

// The wording of the choice that stops a page's dialogs (Alt+P chooses it).
QString preventMoreDialogsText();

#endif // KIVWEBVIEW_PAGE_DIALOGS_H
