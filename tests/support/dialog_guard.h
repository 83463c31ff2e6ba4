// A bound on a test that drives a modal dialog.
#ifndef KIVWEBVIEW_DIALOG_GUARD_H
#define KIVWEBVIEW_DIALOG_GUARD_H

#include <QString>
#include <QStringList>

#include <memory>

class QTimer;

namespace kivtest {

// A modal dialog runs its own event loop, and the library call that showed
// it returns only once it closes: a test whose driver misses the dialog
// would wait for ever. Once boundMs have passed, the guard cancels every
// dialog still open, from inside the loop the dialog runs, and keeps doing
// so every second, so that the test goes on to fail on its checks. Construct
// it on the library's thread, after the library's first call.
class DialogGuard
{
public:
    explicit DialogGuard(int boundMs = 90000);
    ~DialogGuard();
    DialogGuard(const DialogGuard &) = delete;
    DialogGuard &operator=(const DialogGuard &) = delete;

    // The titles of the dialogs the guard had to cancel (empty: none).
    QStringList cancelled() const { return titles; }

private:
    void cancelOpenDialogs();

    std::unique_ptr<QTimer> timer;
    QStringList titles;
};

} // namespace kivtest

#endif // KIVWEBVIEW_DIALOG_GUARD_H
