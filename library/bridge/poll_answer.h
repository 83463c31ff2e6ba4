// Turns a page's poll answer into "js-evt" event texts.
#ifndef KIVWEBVIEW_POLL_ANSWER_H
#define KIVWEBVIEW_POLL_ANSWER_H

#include <QByteArray>

#include <functional>

// The answer is the JSON text of the page's queued items. Calls deliver with
// the event text of each item, in queue order: {"event":"js-evt","js-evt":ITEM}
// with ITEM the item's members in ascending key order, or {} when the item
// is not an object. Text that is not JSON delivers nothing; a JSON object
// counts as an empty array. Returns the number of events delivered.
qsizetype forEachPageEvent(
    const QByteArray &answer, const std::function<void(const QByteArray &eventText)> &deliver);

#endif // KIVWEBVIEW_POLL_ANSWER_H
