// The web view of a browser window; it knows the handle of its window.
#ifndef KIVWEBVIEW_WEBVIEW_QT_H
#define KIVWEBVIEW_WEBVIEW_QT_H

#include <QWebEngineView>

class WebviewWindow;

class WebViewQt : public QWebEngineView
{
    Q_OBJECT

public:
    WebViewQt(int handle, WebviewWindow *window);
    ~WebViewQt() override;

    int id() const { return handle; }
    WebviewWindow *wvWin() { return browserWindow; }

private:
    int handle;
    WebviewWindow *browserWindow;
};

#endif // KIVWEBVIEW_WEBVIEW_QT_H
