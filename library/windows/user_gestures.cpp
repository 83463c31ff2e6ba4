#include "user_gestures.h"

#include "webview_qt.h"
#include "webview_window.h"

#include <QApplication>
#include <QEvent>

void UserGestures::install()
{
    static UserGestures *watcher = nullptr;
    if (watcher || !qApp)
        return;
    watcher = new UserGestures(qApp);
    qApp->installEventFilter(watcher);
}

bool UserGestures::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::TouchBegin:
        break;
    default:
        return false;
    }
    if (!event->spontaneous() || !watched->isWidgetType())
        return false;
    // The page's input goes to a widget inside its view (the view's focus
    // proxy); the view knows its browser window.
    for (QObject *o = watched; o; o = o->parent()) {
        if (auto *view = qobject_cast<WebViewQt *>(o)) {
            if (WebviewWindow *window = view->wvWin())
                window->noteUserGesture();
            break;
        }
    }
    return false;
}
