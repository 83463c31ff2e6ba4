#include "notifications.h"

#include "../bridge/event_container.h"
#include "kivwebview_qt_class.h"
#include "webview_qt.h"
#include "webview_window.h"

#include <QApplication>
#include <QWebEngineNotification>
#include <QWebEngineProfile>

namespace {

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port();
}

} // namespace

Notifications::Notifications(Kivwebview_qt *central)
    : QObject(central)
    , central(central)
{
    QWebEngineProfile::defaultProfile()->setNotificationPresenter(
        [this](std::unique_ptr<QWebEngineNotification> notification) {
            present(std::move(notification));
        });
}

void Notifications::present(std::unique_ptr<QWebEngineNotification> notification)
{
    const QUrl origin = notification->origin();
    WebviewWindow *chosen = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<WebviewWindow *>(widget);
        if (!window || window->isClosing() || !central->kivValid(window->view()->id())
            || !sameOrigin(window->view()->page()->url(), origin))
            continue;
        if (!chosen || window->isActiveWindow()
            || (!chosen->isActiveWindow() && window->view()->id() < chosen->view()->id()))
            chosen = window;
    }
    if (!chosen)
        return; // no page of that origin is shown any more
    notification->show();
    EventContainer event(QStringLiteral("notification"));
    event[QStringLiteral("title")] = notification->title();
    event[QStringLiteral("body")] = notification->message();
    event[QStringLiteral("origin")] = origin.toString(QUrl::RemovePath | QUrl::StripTrailingSlash);
    chosen->deliverLater(event);
}
