// Group "idle": the CPU of the whole process tree while the host only pumps,
// with 1 and with 10 windows, and the polls of each page meanwhile.
#include "groups.h"
#include "library_host.h"
#include "poll_counter.h"
#include "process_tree.h"

#include <cstdio>
#include <unistd.h>

namespace bench {

IdlePlan idlePlan(const GroupOptions &opt)
{
    return opt.quick ? IdlePlan {2000, 4000, 300} : IdlePlan {3000, 10000, 300};
}

QString busyScript(double ms)
{
    return QStringLiteral(
        "{ const end = performance.now() + %1; while (performance.now() < end) {} }")
        .arg(ms);
}

namespace {

const int threadRows = 16;

// The host pumps with kiv_webview_process_events(50), as an idle host does.
QJsonObject measure(const IdlePlan &plan, int windows)
{
    PollCounter::restart();
    TreeCpuMeter meter;
    meter.start();
    pumpFor(plan.measureMs);
    meter.stop();
    if (windows > 0)
        PollCounter::requirePolls("while idle");
    QJsonObject result = meter.toJson(threadRows);
    result["windows"] = windows;
    result["polls"] = PollCounter::toJson(PollCounter::counts(), meter.seconds());
    return result;
}

// One page runs a script that keeps it busy while the host pumps on: the
// polls sent to it meanwhile wait for it.
QJsonObject busyPage(int wv, const IdlePlan &plan)
{
    PollCounter::restart();
    const double t0 = nowMs();
    if (kiv_webview_run_js(wv, busyScript(plan.busyScriptMs).toUtf8().constData()) != oke)
        fail("the busy script was refused");
    pumpFor(plan.busyScriptMs * 2);
    return PollCounter::toJson(PollCounter::counts(), (nowMs() - t0) / 1000.0);
}

} // namespace

QJsonObject runIdle(const GroupOptions &opt)
{
    const IdlePlan plan = idlePlan(opt);
    // First the pumping alone: the library's application object, no window
    // and so no engine yet.
    kiv_webview_init();
    pumpFor(1000);
    const QJsonObject none = measure(plan, 0);
    const int first = openLoadedWindow();
    pumpFor(plan.settleMs); // let the start-up settle
    const QJsonObject one = measure(plan, 1);
    for (int i = 1; i < 10; ++i)
        openLoadedWindow();
    pumpFor(plan.settleMs);
    const QJsonObject ten = measure(plan, 10);
    const QJsonObject busy = busyPage(first, plan);
    return QJsonObject {{"idle_0", none}, {"idle_1", one}, {"idle_10", ten}, {"busy", busy}};
}

void announceHolding()
{
    std::fprintf(stderr, "holding %d\n", static_cast<int>(getpid()));
    std::fflush(stderr);
}

QJsonObject runHold(const GroupOptions &opt)
{
    for (int i = 0; i < opt.windows; ++i)
        openLoadedWindow();
    pumpFor(3000);
    announceHolding();
    return measure(IdlePlan {0, opt.seconds * 1000.0, 0}, opt.windows);
}

} // namespace bench
