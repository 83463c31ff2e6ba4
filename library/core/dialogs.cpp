// The file and directory dialogs.
#include "kivwebview_qt_class.h"

#include "../windows/webview_window.h"
#include "command.h"
#include "file_dialog.h"
#include "window_title.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The directory dialog's answer: {"dir":...,"state":...}.
QByteArray chooseDirectory(QWidget *parent, const QString &title, const QString &dir)
{
    FileDialog dialog(parent, title, dir, QString(), QFileDialog::Directory);
    dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    const QString chosen
        = dialog.runUntilAnswered() ? dialog->selectedFiles().value(0) : QString();
    QJsonObject answer;
    if (chosen.isEmpty()) {
        answer.insert(QStringLiteral("dir"), dir);
        answer.insert(QStringLiteral("state"), QStringLiteral("canceled"));
    } else {
        answer.insert(QStringLiteral("dir"), chosen);
        answer.insert(QStringLiteral("state"), QStringLiteral("choosen"));
    }
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

enum class FilePurpose { open, save };

// The file dialogs' answer: {"file":...,"state":...,"used-filter":...}.
QByteArray chooseFile(FilePurpose purpose, QWidget *parent, const QString &title,
    const QString &dir, const QString &filter)
{
    const bool open = purpose == FilePurpose::open;
    FileDialog dialog(
        parent, title, dir, filter, open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!open)
        dialog->setAcceptMode(QFileDialog::AcceptSave);
    // The selected filter entry is reported only when the user accepts.
    QString chosen;
    QString selectedFilter;
    if (dialog.runUntilAnswered()) {
        chosen = dialog->selectedFiles().value(0);
        selectedFilter = dialog->selectedNameFilter();
    }
    QJsonObject answer;
    answer.insert(QStringLiteral("file"), chosen);
    answer.insert(QStringLiteral("state"),
        chosen.isEmpty() ? QStringLiteral("canceled") : QStringLiteral("choosen"));
    answer.insert(QStringLiteral("used-filter"), selectedFilter);
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

} // namespace

void Kivwebview_qt::executeDialog(Command *cmd, WebviewWindow *window)
{
    // The dialog is modal to its window and runs a nested event loop until
    // the user answers. A slice that ends meanwhile ends only its own loop,
    // not the dialog's.
    const QString title = boundedTitle(cmd->args.value(1).toString());
    const QString dir = cmd->args.value(2).toString();
    const QString filter = cmd->args.value(3).toString();
    switch (cmd->code) {
    case cmd_choose_dir:
        cmd->complete(chooseDirectory(window, title, dir));
        return;
    case cmd_file_open:
        cmd->complete(chooseFile(FilePurpose::open, window, title, dir, filter));
        return;
    default:
        cmd->complete(chooseFile(FilePurpose::save, window, title, dir, filter));
        return;
    }
}
