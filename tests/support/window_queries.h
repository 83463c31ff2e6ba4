// What the tests ask of the library's windows through the toolkit, in the
// test's own process.
#ifndef KIVWEBVIEW_WINDOW_QUERIES_H
#define KIVWEBVIEW_WINDOW_QUERIES_H

#include <QApplication>
#include <QMainWindow>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace kivtest {

// A top-level widget is one of the library's browser windows.
bool isBrowserWindow(const QWidget *w);
// The library's browser window titled title, or null.
QWidget *browserWindowTitled(const QString &title);
// How many browser windows exist (closed ones are destroyed once the loop
// runs after their "closed").
int browserWindowCount();
// Every developer-tools window in the process: the top-level main windows
// that are not browser windows.
std::vector<QMainWindow *> devToolsWindows();

} // namespace kivtest

#endif // KIVWEBVIEW_WINDOW_QUERIES_H
