#include "window_title.h"

QString boundedTitle(const QString &title)
{
    if (title.size() <= maxTitleLength)
        return title;
    const qsizetype cut = title.at(maxTitleLength - 1).isHighSurrogate() ? maxTitleLength - 1
                                                                          : maxTitleLength;
    return title.left(cut);
}
