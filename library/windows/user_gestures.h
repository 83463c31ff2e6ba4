// What the user did to a page: clicks and keys, counted per browser window.
#ifndef KIVWEBVIEW_USER_GESTURES_H
#define KIVWEBVIEW_USER_GESTURES_H

#include <QObject>

// Watches the input the window system delivers to the pages' views (a mouse
// button, a key, a touch) and counts it on their browser windows
// (WebviewWindow::userGestures). Things a page may do only once per gesture
// of the user (a download's save dialog, a print dialog) compare the count
// with the one they last saw. Only the window system's own events count:
// nothing a page or a program sends.
class UserGestures : public QObject
{
    Q_OBJECT

public:
    // Installs the one watcher of the process on the application, once.
    static void install();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};

#endif // KIVWEBVIEW_USER_GESTURES_H
