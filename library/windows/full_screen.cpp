#include "full_screen.h"

#include "../bridge/event_container.h"
#include "webview_qt.h"
#include "webview_window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>

FullScreen::FullScreen(WebviewWindow *window)
    : QObject(window)
    , window(window)
{
    QWebEnginePage *page = window->view()->page();
    page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    connect(page, &QWebEnginePage::fullScreenRequested, this, &FullScreen::requested);
    settling.setSingleShot(true);
    settling.setInterval(250);
    connect(&settling, &QTimer::timeout, this, &FullScreen::stateSettled);
}

void FullScreen::requested(QWebEngineFullScreenRequest request)
{
    if (request.toggleOn() == on || window->isClosing()) {
        request.accept();
        return;
    }
    request.accept();
    if (request.toggleOn())
        enter();
    else
        leave(/*restore=*/true);
}

void FullScreen::enter()
{
    on = true;
    wasMaximized = window->isMaximized();
    normalGeometry = window->normalGeometry();
    // Escape ends it, as in a browser: the page's own view takes every key,
    // so the key is looked at before it gets there.
    qApp->installEventFilter(this);
    window->showFullScreen();
    EventContainer event(QStringLiteral("fullscreen"));
    event[QStringLiteral("on")] = true;
    window->deliverLater(event);
}

void FullScreen::leave(bool restore)
{
    on = false;
    settling.stop();
    qApp->removeEventFilter(this);
    if (restore && window->isFullScreen()) {
        if (wasMaximized) {
            window->showMaximized();
        } else {
            window->showNormal();
            if (normalGeometry.isValid())
                window->setGeometry(normalGeometry);
        }
    }
    EventContainer event(QStringLiteral("fullscreen"));
    event[QStringLiteral("on")] = false;
    window->deliverLater(event);
}

void FullScreen::windowStateChanged()
{
    // The window manager may pass through other states on its way to full
    // screen (a maximised window is first unmaximised): only a state that
    // lasts counts.
    if (on && !window->isFullScreen())
        settling.start();
}

void FullScreen::stateSettled()
{
    if (on && !window->isFullScreen()) {
        // Shown normal, maximised or minimised by the host or the window
        // system: the page leaves full screen, and the window stays as it
        // was put.
        leave(/*restore=*/false);
        window->view()->page()->triggerAction(QWebEnginePage::ExitFullScreen);
    }
}

bool FullScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Escape || !watched->isWidgetType()
        || static_cast<QWidget *>(watched)->window() != window)
        return false;
    if (event->type() == QEvent::KeyPress)
        window->view()->page()->triggerAction(QWebEnginePage::ExitFullScreen);
    event->accept();
    return true;
}
