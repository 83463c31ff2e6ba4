#include "process_tree.h"

#include "bench_common.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace bench {

namespace {

// The parent of a process: the field after the command name, whose text
// may hold spaces and parentheses, and after the state.
int parentOf(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return -1;
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string state;
    int ppid = -1;
    fields >> state >> ppid;
    return ppid;
}

std::vector<int> numericEntries(const std::string &dir)
{
    std::vector<int> ids;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            const int id = std::atoi(e->d_name);
            if (id > 0)
                ids.push_back(id);
        }
        closedir(d);
    }
    return ids;
}

std::string commandLine(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool has(const std::string &text, const char *what)
{
    return text.find(what) != std::string::npos;
}

// The engine's helper processes keep the command line of the zygote they
// were forked from: a renderer is a child of the zygote that starts its
// children sandboxed (the one without "--no-zygote-sandbox"; with the
// sandbox off it is still the renderers' zygote).
ProcessKind kindOf(int pid)
{
    if (pid == static_cast<int>(getpid()))
        return ProcessKind::host;
    const std::string args = commandLine(pid);
    if (has(args, "--type=renderer"))
        return ProcessKind::renderer;
    if (has(args, "--type=gpu-process"))
        return ProcessKind::gpu;
    const int parent = parentOf(pid);
    if (parent == static_cast<int>(getpid()))
        return ProcessKind::other; // a zygote or a utility process
    const std::string parentArgs = commandLine(parent);
    if (has(parentArgs, "--type=zygote") && !has(parentArgs, "--no-zygote-sandbox"))
        return ProcessKind::renderer;
    return ProcessKind::other;
}

std::string firstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

unsigned long long voluntarySwitches(const std::string &taskDir)
{
    std::ifstream in(taskDir + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::stoull(line.substr(24));
    return 0;
}

double &kindField(CpuShare &share, ProcessKind kind)
{
    switch (kind) {
    case ProcessKind::host:
        return share.host;
    case ProcessKind::renderer:
        return share.renderers;
    case ProcessKind::gpu:
        return share.gpu;
    default:
        return share.others;
    }
}

} // namespace

const char *kindName(ProcessKind kind)
{
    static const char *const names[] = {"host", "renderer", "gpu", "other"};
    return names[static_cast<int>(kind)];
}

std::vector<int> processTree()
{
    std::map<int, std::vector<int>> children;
    for (int pid : numericEntries("/proc"))
        children[parentOf(pid)].push_back(pid);
    std::vector<int> tree {static_cast<int>(getpid())};
    for (size_t i = 0; i < tree.size(); ++i) {
        const auto it = children.find(tree[i]);
        if (it != children.end())
            tree.insert(tree.end(), it->second.begin(), it->second.end());
    }
    return tree;
}

double treePssMiB()
{
    unsigned long long kib = 0;
    for (int pid : processTree()) {
        // The first line names the range; then "Key:  value kB" lines.
        std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("Pss:", 0) == 0) {
                kib += std::stoull(line.substr(4));
                break;
            }
        }
    }
    return static_cast<double>(kib) / 1024.0;
}

TreeCpuMeter::Snapshot TreeCpuMeter::snapshot()
{
    Snapshot shot;
    for (int pid : processTree()) {
        const ProcessKind kind = kindOf(pid);
        const std::string proc = "/proc/" + std::to_string(pid) + "/task/";
        for (int tid : numericEntries(proc)) {
            const std::string task = proc + std::to_string(tid);
            // schedstat: nanoseconds on a CPU, waiting, time slices.
            const std::string sched = firstLine(task + "/schedstat");
            if (sched.empty())
                continue;
            Sample s;
            s.kind = kind;
            s.name = firstLine(task + "/comm");
            s.ns = std::strtoull(sched.c_str(), nullptr, 10);
            s.switches = voluntarySwitches(task);
            shot[{pid, tid}] = s;
        }
    }
    return shot;
}

void TreeCpuMeter::start()
{
    begin = snapshot();
    t0 = nowMs();
}

void TreeCpuMeter::stop()
{
    t1 = nowMs();
    end = snapshot();
}

std::map<std::pair<int, int>, TreeCpuMeter::Sample> TreeCpuMeter::deltas() const
{
    std::map<std::pair<int, int>, Sample> out;
    for (const auto &[id, last] : end) {
        Sample d = last;
        const auto first = begin.find(id);
        if (first != begin.end()) {
            d.ns -= std::min(d.ns, first->second.ns);
            d.switches -= std::min(d.switches, first->second.switches);
        }
        out[id] = d;
    }
    return out;
}

CpuShare TreeCpuMeter::share() const
{
    CpuShare share;
    const double ns = seconds() * 1e9;
    for (const auto &[id, d] : deltas())
        kindField(share, d.kind) += 100.0 * static_cast<double>(d.ns) / ns;
    return share;
}

CpuShare TreeCpuMeter::wakeups() const
{
    CpuShare rate;
    for (const auto &[id, d] : deltas())
        kindField(rate, d.kind) += static_cast<double>(d.switches) / seconds();
    return rate;
}

QJsonArray TreeCpuMeter::threads(int limit) const
{
    std::map<std::pair<int, std::string>, std::pair<double, double>> merged;
    for (const auto &[id, d] : deltas()) {
        auto &m = merged[{static_cast<int>(d.kind), d.name}];
        m.first += static_cast<double>(d.ns);
        m.second += static_cast<double>(d.switches);
    }
    std::vector<std::pair<double, QJsonObject>> rows;
    for (const auto &[key, v] : merged) {
        const double percent = 100.0 * v.first / (seconds() * 1e9);
        rows.push_back({percent,
            QJsonObject {{"kind", kindName(static_cast<ProcessKind>(key.first))},
                {"thread", QString::fromStdString(key.second)}, {"cpu_percent", percent},
                {"wakeups_per_s", v.second / seconds()}}});
    }
    std::sort(
        rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QJsonArray out;
    for (int i = 0; i < static_cast<int>(rows.size()) && i < limit; ++i)
        out.append(rows[static_cast<size_t>(i)].second);
    return out;
}

QJsonObject TreeCpuMeter::toJson(int threadRows) const
{
    const CpuShare cpu = share(), wake = wakeups();
    return QJsonObject {{"seconds", seconds()}, {"total", cpu.total()}, {"host", cpu.host},
        {"renderers", cpu.renderers}, {"gpu", cpu.gpu}, {"others", cpu.others},
        {"wakeups_per_s", wake.total()}, {"host_wakeups_per_s", wake.host},
        {"renderer_wakeups_per_s", wake.renderers}, {"threads", threads(threadRows)}};
}

} // namespace bench
