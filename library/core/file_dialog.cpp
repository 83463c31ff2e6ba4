#include "file_dialog.h"

FileDialog::FileDialog(QWidget *parent, const QString &title, const QString &dir,
    const QString &filter, QFileDialog::FileMode mode)
    : dialog(new QFileDialog(parent, title, dir, filter))
{
    dialog->setFileMode(mode);
    dialog->setSupportedSchemes({QStringLiteral("file")});
}

FileDialog::~FileDialog()
{
    delete dialog.data();
}

bool FileDialog::runUntilAnswered()
{
    return dialog->exec() == QDialog::Accepted && dialog;
}
