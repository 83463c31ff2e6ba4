// Counts the polls of each page's event queue from outside the library:
// this program defines QWebEnginePage::runJavaScript itself, so that the
// library's calls of it (through the dynamic linker) come here first; each
// call is counted and handed on unchanged to the web engine's own function,
// whose answer is counted on its way back. A poll is a call whose script is
// the library's poll script and that wants an answer.
#ifndef KIV_BENCH_POLL_COUNTER_H
#define KIV_BENCH_POLL_COUNTER_H

#include <QJsonObject>

namespace bench {

struct PollCounts
{
    unsigned long long started = 0; // polls sent, all pages
    unsigned long long answered = 0; // answers received, all pages
    int mostInFlight = 0; // most polls of one page waiting at once
    int pages = 0; // pages polled
};

namespace PollCounter {

// Counts from now on: the most in flight is set to what waits now.
void restart();
PollCounts counts();
// Fails the group when not one poll went through the counter, so that a
// program linked in a way that bypasses it cannot report "at most 1".
void requirePolls(const char *where);
QJsonObject toJson(const PollCounts &counts, double seconds);

} // namespace PollCounter

} // namespace bench

#endif // KIV_BENCH_POLL_COUNTER_H
