#include "webview_qt.h"

#include "webview_window.h"

WebViewQt::WebViewQt(int handle, WebviewWindow *window)
    : QWebEngineView(window)
    , handle(handle)
    , browserWindow(window)
{
}

WebViewQt::~WebViewQt() = default;
