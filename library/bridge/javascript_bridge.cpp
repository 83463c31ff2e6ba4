// The central object's part of the JavaScript bridge: page loads, and the
// 5 ms poll of every window's page.
#include "kivwebview_qt_class.h"

#include "../windows/webview_window.h"
#include "event_container.h"
#include "page_scripts.h"

void Kivwebview_qt::pageLoaded(int handle, bool ok)
{
    // The bridge run is submitted before the host hears of the load, so
    // whatever the host runs in reaction finds the bridge in place.
    static const QString bridge = QString::fromUtf8(PageScripts::bridge);
    if (WebviewWindow *w = windows.value(handle, nullptr))
        w->runJs(bridge);
    noteLoadForExit();
    EventContainer event(QStringLiteral("page-loaded"));
    event[QStringLiteral("oke")] = ok;
    deliverEvent(handle, mkEventJson(event));
}

void Kivwebview_qt::onPageLoad(int) { }

void Kivwebview_qt::processJsEventQueues()
{
    // A callback may close windows while we go through them: work on a copy
    // of the handles and skip the ones that have left the table.
    const QList<int> handles = windows.keys();
    for (int handle : handles) {
        if (WebviewWindow *w = windows.value(handle, nullptr))
            w->processJsEvents();
    }
}
