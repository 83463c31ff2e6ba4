// The measurement groups of kiv_benchmark. Each runs in a process of its
// own (kiv_benchmark --mode NAME) and returns one JSON object: its figures
// and whatever details the driver passes on.
#ifndef KIV_BENCH_GROUPS_H
#define KIV_BENCH_GROUPS_H

#include "bench_common.h"

#include <QJsonObject>

namespace bench {

// group_calls.cpp: call_js against runJavaScript, a command that completes
// at once.
QJsonObject runCalls(const GroupOptions &opt);
// group_events.cpp: 100,000 queued items to the host.
QJsonObject runEvents(const GroupOptions &opt);
// group_events.cpp: one page event to the host's callback.
QJsonObject runLatency(const GroupOptions &opt);
// group_idle.cpp: CPU of the idle tree with 1 and 10 windows, the polls.
QJsonObject runIdle(const GroupOptions &opt);
// group_floor.cpp: the same two measurements for the floor program; for
// idle also with its host pumping in the library's slices (the sliced
// floor), which tells the cost of that rhythm from the library's own.
QJsonObject runIdleFloor(const GroupOptions &opt, bool sliced);
QJsonObject runLatencyFloor(const GroupOptions &opt);
// group_idle.cpp, group_floor.cpp: opens opt.windows windows and pumps them
// for opt.seconds, for a profiler to watch. It says "holding PID" on
// standard error once the windows are open and settled.
QJsonObject runHold(const GroupOptions &opt);
QJsonObject runHoldFloor(const GroupOptions &opt, bool sliced);
void announceHolding();
// group_memory.cpp: PSS with 1 and 10 windows and over create/close cycles.
QJsonObject runMemory(const GroupOptions &opt);
// group_first_load.cpp: first page-loaded in a fresh process.
QJsonObject runFirstLib(const GroupOptions &opt);
QJsonObject runFirstQt(int argc, char **argv);
// group_large_html.cpp: large pages through set_html against the same bytes
// from a file URL; a 10 KiB set_html; the peak memory of a 16 MiB one.
QJsonObject runLargeHtml(const GroupOptions &opt);
QJsonObject runSmallHtml(const GroupOptions &opt);
QJsonObject runLargeHtmlMemory(const GroupOptions &opt);

// The shape of an idle measurement, shared by the library and the floor.
struct IdlePlan
{
    double settleMs;
    double measureMs;
    double busyScriptMs; // a page busy for this long, to show polls pile up
};
IdlePlan idlePlan(const GroupOptions &opt);

// The script that keeps a page busy for ms milliseconds.
QString busyScript(double ms);

// A delay of 0 to 5 ms before each single event, the same sequence for the
// library and the floor, so that events meet the 5 ms poll at every phase.
double phaseDelayMs(int sample);

} // namespace bench

#endif // KIV_BENCH_GROUPS_H
