// The benchmark's process tree, read from /proc: this process (the host)
// and the web engine's helper processes below it.
#ifndef KIV_BENCH_PROCESS_TREE_H
#define KIV_BENCH_PROCESS_TREE_H

#include <QJsonArray>
#include <QJsonObject>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// This process and all its descendants.
std::vector<int> processTree();

// Proportional set size of the whole tree, in MiB.
double treePssMiB();

// The kinds of process a figure is split by: the host (this process, which
// holds the engine's browser side), the pages' renderers, the GPU process,
// and the rest (zygotes, utility processes such as the network service).
enum class ProcessKind { host, renderer, gpu, other };
const char *kindName(ProcessKind kind);

// CPU of the tree over an interval, in percent of one core, by kind.
struct CpuShare
{
    double host = 0, renderers = 0, gpu = 0, others = 0;
    double total() const { return host + renderers + gpu + others; }
};

// Measures the CPU time (scheduler nanoseconds) and the voluntary context
// switches (wake-ups) of every thread of the tree between start() and
// stop(). Threads that appear in between count from zero.
class TreeCpuMeter
{
public:
    void start();
    void stop();
    double seconds() const { return (t1 - t0) / 1000.0; }
    CpuShare share() const;
    // Wake-ups per second by kind.
    CpuShare wakeups() const;
    // The threads, merged by kind and name, busiest first, with their share
    // of a core and wake-ups per second (at most `limit` rows).
    QJsonArray threads(int limit) const;
    QJsonObject toJson(int threadRows) const;

private:
    struct Sample
    {
        ProcessKind kind = ProcessKind::other;
        std::string name;
        unsigned long long ns = 0;
        unsigned long long switches = 0;
    };
    using Snapshot = std::map<std::pair<int, int>, Sample>;
    static Snapshot snapshot();
    // Per thread: CPU nanoseconds and switches from start to stop.
    std::map<std::pair<int, int>, Sample> deltas() const;

    Snapshot begin, end;
    double t0 = 0, t1 = 0;
};

} // namespace bench

#endif // KIV_BENCH_PROCESS_TREE_H
