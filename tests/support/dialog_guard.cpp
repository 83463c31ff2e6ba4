#include "dialog_guard.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace kivtest {

DialogGuard::DialogGuard(int boundMs)
    : timer(std::make_unique<QTimer>())
{
    timer->setSingleShot(true);
    QObject::connect(timer.get(), &QTimer::timeout, [this] {
        cancelOpenDialogs();
        timer->start(1000);
    });
    timer->start(boundMs);
}

DialogGuard::~DialogGuard() = default;

void DialogGuard::cancelOpenDialogs()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(w);
        if (dialog && dialog->isVisible()) {
            titles << dialog->windowTitle().left(80);
            dialog->reject();
        }
    }
}

} // namespace kivtest
