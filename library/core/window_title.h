// Titles for the window system.
#ifndef KIVWEBVIEW_WINDOW_TITLE_H
#define KIVWEBVIEW_WINDOW_TITLE_H

#include <QString>

// The longest title passed to the window system, in UTF-16 units. The
// window system carries a title in a single request, and one far longer
// (megabytes) breaks the display connection, which ends the process.
constexpr qsizetype maxTitleLength = 65536;

// title, cut to maxTitleLength without splitting a surrogate pair. Every
// title of a window or dialog goes through here.
QString boundedTitle(const QString &title);

#endif // KIVWEBVIEW_WINDOW_TITLE_H
