// A page's request to show itself on the whole screen.
#ifndef KIVWEBVIEW_FULL_SCREEN_H
#define KIVWEBVIEW_FULL_SCREEN_H

#include <QObject>
#include <QRect>
#include <QTimer>

class QWebEngineFullScreenRequest;
class WebviewWindow;

// A page's requestFullscreen() (the engine lets a page ask only after a
// user gesture) makes its browser window cover the whole screen; the page's
// exitFullscreen(), the Escape key, or the host showing the window some
// other way end it, and the window comes back with its earlier geometry and
// state (normal or maximised). The window reports
// {"event":"fullscreen","on":true|false} each time.
class FullScreen : public QObject
{
    Q_OBJECT

public:
    explicit FullScreen(WebviewWindow *window);

    bool active() const { return on; }
    // The window's state changed: a window taken out of full screen by the
    // host or the window system takes its page out too.
    void windowStateChanged();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void requested(QWebEngineFullScreenRequest request);
    void enter();
    void leave(bool restore);
    void stateSettled();

    WebviewWindow *window;
    bool on = false;
    bool wasMaximized = false;
    QRect normalGeometry;
    // Runs from a change of the window's state away from full screen until
    // that state has lasted.
    QTimer settling;
};

#endif // KIVWEBVIEW_FULL_SCREEN_H
