#include "poll_counter.h"

#include "bench_common.h"
#include "bridge/page_scripts.h"

#include <QWebEnginePage>

#include <algorithm>
#include <dlfcn.h>
#include <functional>
#include <map>

namespace {

using Callback = std::function<void(const QVariant &)>;
using RunWithWorld = void (*)(QWebEnginePage *, const QString &, quint32, const Callback &);

// The web engine's own function, found past this program's definition.
RunWithWorld engineRunJavaScript()
{
    static const auto fn = reinterpret_cast<RunWithWorld>(dlsym(
        RTLD_NEXT, "_ZN14QWebEnginePage13runJavaScriptERK7QStringjRKSt8functionIFvRK8QVariantEE"));
    if (!fn)
        bench::fail("cannot find the web engine's runJavaScript");
    return fn;
}

struct PageCount
{
    int inFlight = 0;
};

std::map<const QWebEnginePage *, PageCount> pages;
bench::PollCounts totals;

void countStart(const QWebEnginePage *page)
{
    PageCount &c = pages[page];
    ++totals.started;
    totals.mostInFlight = std::max(totals.mostInFlight, ++c.inFlight);
}

void countAnswer(const QWebEnginePage *page)
{
    ++totals.answered;
    PageCount &c = pages[page];
    c.inFlight = std::max(0, c.inFlight - 1);
}

} // namespace

// Both overloads: the library calls the one without a world, which the
// engine may forward inside its own library without coming back here.
void QWebEnginePage::runJavaScript(
    const QString &scriptSource, quint32 worldId, const Callback &resultCallback)
{
    if (!resultCallback || scriptSource != PageScripts::poll) {
        engineRunJavaScript()(this, scriptSource, worldId, resultCallback);
        return;
    }
    countStart(this);
    const QWebEnginePage *page = this;
    engineRunJavaScript()(
        this, scriptSource, worldId, [page, resultCallback](const QVariant &answer) {
            countAnswer(page);
            resultCallback(answer);
        });
}

void QWebEnginePage::runJavaScript(const QString &scriptSource, const Callback &resultCallback)
{
    runJavaScript(scriptSource, 0, resultCallback);
}

namespace bench::PollCounter {

void restart()
{
    totals.started = totals.answered = 0;
    totals.mostInFlight = 0;
    for (const auto &[page, c] : pages)
        totals.mostInFlight = std::max(totals.mostInFlight, c.inFlight);
}

PollCounts counts()
{
    PollCounts c = totals;
    c.pages = static_cast<int>(pages.size());
    return c;
}

void requirePolls(const char *where)
{
    if (totals.started == 0)
        fail(std::string("no poll was counted ") + where
            + ": the library's runJavaScript calls did not come through this program");
}

QJsonObject toJson(const PollCounts &c, double seconds)
{
    return QJsonObject {{"polls_started", static_cast<double>(c.started)},
        {"polls_answered", static_cast<double>(c.answered)}, {"most_in_flight", c.mostInFlight},
        {"polls_per_s", static_cast<double>(c.started) / seconds}};
}

} // namespace bench::PollCounter
