// The toolkit's file dialog as the library shows it.
#ifndef KIVWEBVIEW_FILE_DIALOG_H
#define KIVWEBVIEW_FILE_DIALOG_H

#include <QFileDialog>
#include <QPointer>

// Set up as the toolkit's static convenience functions set up their dialog,
// but on the heap: the dialog is a child of its browser window, and that
// window may be closed and destroyed while the dialog is open (by a callback
// that the dialog's own event loop runs). A dialog on the stack would then
// be destroyed twice; this one goes with its window, its loop ends, and the
// user's answer counts as a cancellation.
class FileDialog
{
public:
    FileDialog(QWidget *parent, const QString &title, const QString &dir, const QString &filter,
        QFileDialog::FileMode mode);
    ~FileDialog();
    FileDialog(const FileDialog &) = delete;
    FileDialog &operator=(const FileDialog &) = delete;

    QFileDialog *operator->() const { return dialog.data(); }
    // The dialog, or null once its window has destroyed it.
    QFileDialog *get() const { return dialog.data(); }

    // Shows the dialog modally and runs its event loop until the user
    // answers it, or its window goes. True when the user accepted it.
    bool runUntilAnswered();

private:
    QPointer<QFileDialog> dialog;
};

#endif // KIVWEBVIEW_FILE_DIALOG_H
