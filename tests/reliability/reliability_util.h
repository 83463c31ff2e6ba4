// Helpers of the reliability tests.
#ifndef KIVWEBVIEW_RELIABILITY_UTIL_H
#define KIVWEBVIEW_RELIABILITY_UTIL_H

#include "test_support.h"

#include <QApplication>
#include <QMainWindow>

#include <string>

namespace kivtest {

// How many events named name window wv has received so far.
inline size_t countOf(int wv, const char *name)
{
    return eventsNamed(wv, QString::fromLatin1(name)).size();
}

// Pumps until window wv has received at least n events named name.
inline bool waitForCount(int wv, const char *name, size_t n, int timeoutMs = 60000)
{
    return pumpUntil([&] { return countOf(wv, name) >= n; }, timeoutMs);
}

// The library's browser windows still in existence (closed ones are
// destroyed once the loop runs after their "closed" event).
inline int liveBrowserWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<QMainWindow *>(w) != nullptr;
    return n;
}

} // namespace kivtest

#endif // KIVWEBVIEW_RELIABILITY_UTIL_H
