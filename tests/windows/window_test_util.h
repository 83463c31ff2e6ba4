// Small helpers of the window tests: waiting for the geometry notifications
// to settle and finding the library's windows among the application's
// top-level widgets.
#ifndef KIVWEBVIEW_WINDOW_TEST_UTIL_H
#define KIVWEBVIEW_WINDOW_TEST_UTIL_H

#include "test_support.h"

#include <QApplication>
#include <QMainWindow>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace wintest {

// Runs the library's loop for ms milliseconds of wall-clock time.
inline void pumpFor(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        kiv_webview_process_events(5);
}

inline long long msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start)
        .count();
}

// Waits until no event has arrived for quietMs (the debounced geometry
// notifications of a fresh window come 500 ms after its first show), then
// forgets every recorded event.
inline void settle(int quietMs = 1500)
{
    size_t seen = kivtest::events().size();
    auto lastChange = std::chrono::steady_clock::now();
    const auto start = lastChange;
    while (msSince(lastChange) < quietMs && msSince(start) < 20000) {
        kiv_webview_process_events(10);
        if (kivtest::events().size() != seen) {
            seen = kivtest::events().size();
            lastChange = std::chrono::steady_clock::now();
        }
    }
    kivtest::clearEvents();
}

// The event names recorded for one window, in arrival order.
inline std::vector<std::string> namesOf(int wv)
{
    std::vector<std::string> names;
    for (const std::string &json : kivtest::eventsOf(wv))
        names.push_back(
            kivtest::parseObject(json).value(QStringLiteral("event")).toString().toStdString());
    return names;
}

inline int countOf(const std::vector<std::string> &names, const std::string &name)
{
    return static_cast<int>(std::count(names.begin(), names.end(), name));
}

inline bool isBrowserWindow(const QWidget *w)
{
    return qstrcmp(w->metaObject()->className(), "WebviewWindow") == 0;
}

// The library's browser window titled title, or null.
inline QWidget *browserWindowTitled(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (isBrowserWindow(w) && w->windowTitle() == title)
            return w;
    return nullptr;
}

// Every developer-tools window in the process: the top-level main windows
// that are not browser windows.
inline std::vector<QMainWindow *> devToolsWindows()
{
    std::vector<QMainWindow *> found;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *main = qobject_cast<QMainWindow *>(w);
        if (main && !isBrowserWindow(main))
            found.push_back(main);
    }
    return found;
}

} // namespace wintest

#endif // KIVWEBVIEW_WINDOW_TEST_UTIL_H
