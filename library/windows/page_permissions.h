// What a page asks leave to use: the location, notifications, the camera
// and microphone, the screen, the mouse pointer.
#ifndef KIVWEBVIEW_PAGE_PERMISSIONS_H
#define KIVWEBVIEW_PAGE_PERMISSIONS_H

#include <QObject>
#include <QUrl>
#include <QWebEnginePage>

#include <deque>

class WebviewWindow;

// Every request a window's page makes is answered: the user is asked, as in
// a browser, in a dialog modal to the window ("127.0.0.1 wants to know your
// location": Allow or Block; Escape and closing the dialog block), and the
// answer is kept for that origin and feature until the process ends, so
// that the same request later is answered at once, in every window. A
// blocked request fails in the page at once; a granted one gets what the
// engine can give (its own error where this machine has no such device or
// service). Requests wait their turn, one question at a time per window.
class PagePermissions : public QObject
{
    Q_OBJECT

public:
    explicit PagePermissions(WebviewWindow *window);

    // The question for a feature, after the origin's name.
    static QString questionFor(QWebEnginePage::Feature feature);

private:
    struct Request
    {
        QUrl origin;
        QWebEnginePage::Feature feature;
    };

    void requested(const QUrl &origin, QWebEnginePage::Feature feature);
    void askNext();
    bool ask(const Request &request);
    void answer(const Request &request, bool granted);

    WebviewWindow *window;
    std::deque<Request> waiting;
    bool asking = false;
};

#endif // KIVWEBVIEW_PAGE_PERMISSIONS_H
