// The floor: what the web engine costs a plain Qt program that does the
// library's work without the library. Its pages are the library's (the same
// HTML, the same bridge script at document creation and after each load),
// and a repeating 5 ms timer polls each of them with the library's poll
// script through runJavaScript. Its host runs the event loop throughout, in
// no slices.
#ifndef KIV_BENCH_FLOOR_HOST_H
#define KIV_BENCH_FLOOR_HOST_H

#include <QEventLoop>
#include <QMainWindow>
#include <QObject>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class QApplication;
class QWebEngineView;

namespace bench {

// The application object, made as the library makes its own: the same
// engine arguments (its log off), the same drawing path and shared
// contexts, the toolkit's messages dropped.
QApplication *makeFloorApplication();

// Awaits runJavaScript on a plain view the way a Qt program would; it lives
// in whatever application object exists.
struct FloorView
{
    QMainWindow window;
    QWebEngineView *view;
    QEventLoop loop;
    QVariant answer;

    FloorView();
    double run(const QString &script);
};

class FloorPoller : public QObject
{
public:
    FloorPoller();
    ~FloorPoller() override;

    // Opens a window with the page and waits until it is loaded.
    void open();
    int windows() const { return static_cast<int>(pages.size()); }
    // Runs the event loop for ms milliseconds, or until pred() holds.
    void runFor(double ms);
    // From now on runFor pumps as kiv_webview_process_events does: 2 ms
    // slices of the loop with a 0.5 ms sleep between them.
    void pumpInSlices() { sliced = true; }
    bool runUntil(const std::function<bool()> &pred, double timeoutMs);
    // Runs a script in a page's main world without waiting for it.
    void runScript(int page, const QString &script);

    int itemsDelivered = 0;
    double firstItemAt = 0;

private:
    void poll();
    struct Page;
    std::vector<std::unique_ptr<Page>> pages;
    QTimer timer;
    QTimer sliceEnd;
    QEventLoop loop;
    bool sliced = false;
};

} // namespace bench

#endif // KIV_BENCH_FLOOR_HOST_H
