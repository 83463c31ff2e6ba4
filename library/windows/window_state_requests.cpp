#include "window_state_requests.h"

#include <QMetaObject>
#include <QWidget>

namespace {

// How long after a minimise the window manager's iconify can still be on its
// way: far longer than it takes on a loaded machine, far shorter than a user
// needs to minimise the window again by hand.
constexpr qint64 lateMinimizeMs = 3000;

} // namespace

void WindowStateRequests::minimize()
{
    minimizeAskedAt.start();
    ask(Qt::WindowMinimized);
}

void WindowStateRequests::maximize()
{
    ask(Qt::WindowMaximized);
}

void WindowStateRequests::showNormal()
{
    ask(Qt::WindowNoState);
}

void WindowStateRequests::ask(Qt::WindowState state)
{
    asked = state;
    askedAt.start();
    reapplied = false;
    apply();
}

void WindowStateRequests::apply()
{
    switch (asked) {
    case Qt::WindowMinimized:
        window->showMinimized();
        break;
    case Qt::WindowMaximized:
        window->showMaximized();
        break;
    default:
        window->showNormal();
        break;
    }
}

void WindowStateRequests::stateChanged(Qt::WindowStates oldState)
{
    if (!window->isMinimized() || (oldState & Qt::WindowMinimized) || asked == Qt::WindowMinimized
        || reapplied || !minimizeAskedAt.isValid() || minimizeAskedAt.elapsed() > lateMinimizeMs
        || askedAt.elapsed() > lateMinimizeMs)
        return;
    // The window manager's answer to the earlier minimise: ask again, from
    // the event loop, once the toolkit has taken in the minimised state
    // (leaving it maps the window again).
    reapplied = true;
    QMetaObject::invokeMethod(
        window, [this] { apply(); }, Qt::QueuedConnection);
}
