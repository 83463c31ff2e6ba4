#include "page_permissions.h"

#include "page_dialogs.h"
#include "web_page.h"
#include "webview_qt.h"
#include "webview_window.h"

#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace {

// The answers given so far, for the rest of the process: origin and
// feature to granted.
QHash<QPair<QString, int>, bool> &answers()
{
    static QHash<QPair<QString, int>, bool> given;
    return given;
}

QPair<QString, int> keyOf(const QUrl &origin, QWebEnginePage::Feature feature)
{
    return qMakePair(origin.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment
                         | QUrl::StripTrailingSlash),
        int(feature));
}

// How the question names the asking origin: its host (with a port that is
// not the scheme's own), or "This page" for a page with no host of its own
// (one shown from HTML text).
QString askerOf(const QUrl &origin)
{
    if (origin.host().isEmpty())
        return QStringLiteral("This page");
    return origin.port() == -1 ? origin.host()
                               : origin.host() + QLatin1Char(':') + QString::number(origin.port());
}

} // namespace

PagePermissions::PagePermissions(WebviewWindow *window)
    : QObject(window)
    , window(window)
{
    QWebEnginePage *page = window->view()->page();
    connect(page, &QWebEnginePage::featurePermissionRequested, this, &PagePermissions::requested);
    connect(page, &QWebEnginePage::featurePermissionRequestCanceled, this,
        [this](const QUrl &origin, QWebEnginePage::Feature feature) {
            const auto key = keyOf(origin, feature);
            waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                              [&](const Request &r) { return keyOf(r.origin, r.feature) == key; }),
                waiting.end());
        });
}

QString PagePermissions::questionFor(QWebEnginePage::Feature feature)
{
    switch (feature) {
    case QWebEnginePage::Geolocation:
        return QStringLiteral("wants to know your location");
    case QWebEnginePage::Notifications:
        return QStringLiteral("wants to show notifications");
    case QWebEnginePage::MediaAudioCapture:
        return QStringLiteral("wants to use your microphone");
    case QWebEnginePage::MediaVideoCapture:
        return QStringLiteral("wants to use your camera");
    case QWebEnginePage::MediaAudioVideoCapture:
        return QStringLiteral("wants to use your camera and microphone");
    case QWebEnginePage::MouseLock:
        return QStringLiteral("wants to hide and lock your mouse pointer");
    case QWebEnginePage::DesktopVideoCapture:
        return QStringLiteral("wants to share your screen");
    case QWebEnginePage::DesktopAudioVideoCapture:
        return QStringLiteral("wants to share your screen and its sound");
    }
    return QStringLiteral("wants to use a feature of this computer");
}

void PagePermissions::requested(const QUrl &origin, QWebEnginePage::Feature feature)
{
    const auto known = answers().constFind(keyOf(origin, feature));
    if (known != answers().cend()) {
        answer({origin, feature}, *known);
        return;
    }
    waiting.push_back({origin, feature});
    // The engine asks from inside one of its own tasks, and runs none of its
    // other tasks while one is on the stack: the question is asked from an
    // event of its own, so that every other page goes on meanwhile.
    if (!asking)
        QMetaObject::invokeMethod(this, &PagePermissions::askNext, Qt::QueuedConnection);
}

void PagePermissions::askNext()
{
    if (asking)
        return;
    asking = true;
    QPointer<PagePermissions> self(this);
    while (self && !waiting.empty()) {
        const Request request = waiting.front();
        waiting.pop_front();
        const auto known = answers().constFind(keyOf(request.origin, request.feature));
        if (known != answers().cend()) {
            answer(request, *known);
            continue;
        }
        const bool granted = ask(request);
        if (!self)
            return; // the window went while the question was open
        answer(request, granted);
    }
    if (self)
        asking = false;
}

bool PagePermissions::ask(const Request &request)
{
    auto *page = static_cast<WebPage *>(window->view()->page());
    QMessageBox box(QMessageBox::Question, page->dialogTitle(QStringLiteral("Permission")),
        askerOf(request.origin) + QLatin1Char(' ') + questionFor(request.feature),
        QMessageBox::NoButton, window);
    box.setTextFormat(Qt::PlainText);
    QPushButton *allow = box.addButton(QStringLiteral("&Allow"), QMessageBox::AcceptRole);
    QPushButton *block = box.addButton(QStringLiteral("&Block"), QMessageBox::RejectRole);
    // Enter and Escape both block: only a deliberate Allow grants.
    box.setDefaultButton(block);
    box.setEscapeButton(block);
    runPageDialog(window, box);
    const bool granted = box.clickedButton() == allow;
    if (!window->isClosing())
        answers().insert(keyOf(request.origin, request.feature), granted);
    return granted;
}

void PagePermissions::answer(const Request &request, bool granted)
{
    window->view()->page()->setFeaturePermission(request.origin, request.feature,
        granted ? QWebEnginePage::PermissionGrantedByUser : QWebEnginePage::PermissionDeniedByUser);
}
