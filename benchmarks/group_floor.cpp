// Groups "idle-floor" and "latency-floor": the floor program, a plain Qt
// program without the library (see floor_host.h), measured as the library
// is in groups "idle" and "latency".
#include "floor_host.h"
#include "groups.h"
#include "poll_counter.h"
#include "process_tree.h"

#include <QApplication>

namespace bench {

namespace {

QJsonObject measure(FloorPoller &floor, const IdlePlan &plan)
{
    PollCounter::restart();
    TreeCpuMeter meter;
    meter.start();
    floor.runFor(plan.measureMs);
    meter.stop();
    if (floor.windows() > 0)
        PollCounter::requirePolls("in the floor program");
    QJsonObject result = meter.toJson(16);
    result["windows"] = floor.windows();
    result["polls"] = PollCounter::toJson(PollCounter::counts(), meter.seconds());
    return result;
}

QJsonObject busyPage(FloorPoller &floor, const IdlePlan &plan)
{
    PollCounter::restart();
    const double t0 = nowMs();
    floor.runScript(0, busyScript(plan.busyScriptMs));
    floor.runFor(plan.busyScriptMs * 2);
    return PollCounter::toJson(PollCounter::counts(), (nowMs() - t0) / 1000.0);
}

} // namespace

QJsonObject runIdleFloor(const GroupOptions &opt, bool sliced)
{
    makeFloorApplication();
    const IdlePlan plan = idlePlan(opt);
    FloorPoller floor;
    if (sliced)
        floor.pumpInSlices();
    floor.runFor(1000);
    const QJsonObject none = measure(floor, plan);
    floor.open();
    floor.runFor(plan.settleMs);
    const QJsonObject one = measure(floor, plan);
    for (int i = 1; i < 10; ++i)
        floor.open();
    floor.runFor(plan.settleMs);
    const QJsonObject ten = measure(floor, plan);
    const QJsonObject busy = busyPage(floor, plan);
    return QJsonObject {{"idle_0", none}, {"idle_1", one}, {"idle_10", ten}, {"busy", busy}};
}

QJsonObject runLatencyFloor(const GroupOptions &opt)
{
    makeFloorApplication();
    FloorPoller floor;
    floor.open();
    floor.runFor(1000);
    PollCounter::restart();
    const double t0 = nowMs();
    std::vector<double> latency;
    const int singles = opt.quick ? 60 : 200;
    for (int i = 0; i < singles; ++i) {
        floor.runFor(phaseDelayMs(i));
        floor.itemsDelivered = 0;
        const double sent = nowMs();
        floor.runScript(0, QStringLiteral("window.kiv_send_event({n: 1});"));
        if (!floor.runUntil([&] { return floor.itemsDelivered >= 1; }, 30000))
            fail("timed out waiting for a single item in the floor program");
        latency.push_back(floor.firstItemAt - sent);
    }
    const PollCounts polls = PollCounter::counts();
    return QJsonObject {{"samples", toJsonArray(latency)},
        {"polls", PollCounter::toJson(polls, (nowMs() - t0) / 1000.0)}};
}

QJsonObject runHoldFloor(const GroupOptions &opt, bool sliced)
{
    makeFloorApplication();
    FloorPoller floor;
    if (sliced)
        floor.pumpInSlices();
    for (int i = 0; i < opt.windows; ++i)
        floor.open();
    floor.runFor(3000);
    announceHolding();
    return measure(floor, IdlePlan {0, opt.seconds * 1000.0, 0});
}

} // namespace bench
