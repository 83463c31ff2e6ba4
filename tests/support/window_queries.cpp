#include "window_queries.h"

#include <QApplication>
#include <QMainWindow>

namespace kivtest {

bool isBrowserWindow(const QWidget *w)
{
    return qstrcmp(w->metaObject()->className(), "WebviewWindow") == 0;
}

QWidget *browserWindowTitled(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (isBrowserWindow(w) && w->windowTitle() == title)
            return w;
    return nullptr;
}

int browserWindowCount()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += isBrowserWindow(w) ? 1 : 0;
    return n;
}

std::vector<QMainWindow *> devToolsWindows()
{
    std::vector<QMainWindow *> found;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *main = qobject_cast<QMainWindow *>(w);
        if (main && !isBrowserWindow(main))
            found.push_back(main);
    }
    return found;
}

} // namespace kivtest
