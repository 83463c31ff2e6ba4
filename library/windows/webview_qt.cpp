#include "webview_qt.h"

#include "web_page.h"
#include "webview_window.h"

WebViewQt::WebViewQt(int handle, WebviewWindow *window)
    : QWebEngineView(window)
    , handle(handle)
    , browserWindow(window)
{
    // The page goes with the view.
    setPage(new WebPage(this));
}

WebViewQt::~WebViewQt() = default;
