// The file and directory dialogs.
#include "kivwebview_qt_class.h"

#include "../windows/webview_window.h"
#include "command.h"
#include "file_dialog.h"
#include "window_title.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString compactJson(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString chooseDirectory(QWidget *parent, const QString &title, const QString &dir)
{
    FileDialog dialog(parent, title, dir, QString(), QFileDialog::Directory);
    dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    const QString chosen = dialog.runUntilAnswered() ? dialog->selectedFiles().value(0) : QString();
    QJsonObject answer;
    if (chosen.isEmpty()) {
        answer.insert(QStringLiteral("dir"), dir);
        answer.insert(QStringLiteral("state"), QStringLiteral("canceled"));
    } else {
        answer.insert(QStringLiteral("dir"), chosen);
        answer.insert(QStringLiteral("state"), QStringLiteral("choosen"));
    }
    return compactJson(answer);
}

QString chooseFile(
    int code, QWidget *parent, const QString &title, const QString &dir, const QString &filter)
{
    const bool open = code == cmd_file_open;
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
    return compactJson(answer);
}

} // namespace

void Kivwebview_qt::executeDialog(Command *cmd)
{
    // The handle was looked up by the executor; the dialog is modal to its
    // window and runs a nested event loop until the user answers. A slice
    // that ends meanwhile ends only its own loop, not the dialog's.
    WebviewWindow *parent = windows.value(cmd->args.value(0).toInt(), nullptr);
    const QString title = boundedTitle(cmd->args.value(1).toString());
    const QString dir = cmd->args.value(2).toString();
    if (cmd->code == cmd_choose_dir)
        cmd->result = chooseDirectory(parent, title, dir);
    else
        cmd->result = chooseFile(cmd->code, parent, title, dir, cmd->args.value(3).toString());
    cmd->done = true;
}
