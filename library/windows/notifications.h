// Notifications that pages show (new Notification(...), once the user has
// allowed them).
#ifndef KIVWEBVIEW_NOTIFICATIONS_H
#define KIVWEBVIEW_NOTIFICATIONS_H

#include <QObject>

#include <memory>

class Kivwebview_qt;
class QWebEngineNotification;

// Each notification a page may show reaches the host as
// {"event":"notification","body":B,"origin":O,"title":T}, from the window
// that shows a page of that origin (the active one when several do, else
// the one with the lowest handle); the host decides how to show it. The
// library shows nothing on the desktop itself. The page sees its
// notification shown.
class Notifications : public QObject
{
    Q_OBJECT

public:
    explicit Notifications(Kivwebview_qt *central);

private:
    void present(std::unique_ptr<QWebEngineNotification> notification);

    Kivwebview_qt *central;
};

#endif // KIVWEBVIEW_NOTIFICATIONS_H
