// The host's requests for the state of a browser window: minimised,
// maximised, or neither.
#ifndef KIVWEBVIEW_WINDOW_STATE_REQUESTS_H
#define KIVWEBVIEW_WINDOW_STATE_REQUESTS_H

#include <QElapsedTimer>
#include <Qt>

class QWidget;

// The window manager carries a request out after the call has returned, in
// the order it receives them. Leaving the minimised state, though, is a map
// of the window, which does nothing while the window is still mapped: a
// restore asked right after a minimise would be lost once the window manager
// iconifies the window. The host's last request wins: a window that the
// window manager minimises shortly after the host asked for another state is
// given that state again, once.
class WindowStateRequests
{
public:
    explicit WindowStateRequests(QWidget *window) : window(window) {}

    void minimize();
    void maximize();
    void showNormal();
    // The window's state changed from oldState (its changeEvent).
    void stateChanged(Qt::WindowStates oldState);

private:
    void ask(Qt::WindowState state);
    void apply();

    QWidget *window;
    Qt::WindowState asked = Qt::WindowNoState;
    // Since the host's last minimise, and since its last request.
    QElapsedTimer minimizeAskedAt;
    QElapsedTimer askedAt;
    bool reapplied = false;
};

#endif // KIVWEBVIEW_WINDOW_STATE_REQUESTS_H
