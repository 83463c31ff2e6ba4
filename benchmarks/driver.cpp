// kiv_benchmark: measures kivwebview_qt against the web engine's own floor.
//
// Run without a mode it is the driver: it starts itself once per measurement
// group (each group in a fresh process, so that windows, renderers and
// memory of one group do not disturb the next), prints a table and writes
// the same figures as JSON. Every group prints one JSON object as the last
// line of its standard output. Groups that compare the library with the
// floor program run alternately, several times, so that both see the same
// machine load.
//
//   kiv_benchmark [--json PATH] [--quick] [--verbose]
//   kiv_benchmark --mode GROUP [--quick]
//
// Figures are medians with the 10th and 90th percentiles over repeated
// runs. They are only meaningful on a quiet machine.
#include "groups.h"
#include "report.h"

#include <QJsonDocument>
#include <QSysInfo>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <unistd.h>

namespace bench {

namespace {

struct Options
{
    std::string mode;
    std::string json = "benchmark-results.json";
    bool quick = false;
    bool verbose = false;
    GroupOptions group;
};

const char usage[]
    = "usage: kiv_benchmark [--json PATH] [--quick] [--verbose]\n"
      "       kiv_benchmark --mode GROUP [--quick] [--windows N] [--seconds S]\n"
      "                     [--repeats N] [--rows KEY,...]\n"
      "groups: calls events latency latency-floor idle idle-floor idle-floor-sliced\n"
      "        memory large-html small-html large-html-memory\n"
      "        first-lib first-qt hold hold-floor hold-floor-sliced\n"
      "the hold groups open N windows (10) and pump them for S seconds (30),\n"
      "for a profiler: they print \"holding PID\" on standard error when ready.\n"
      "large-html loads each page N times (3; 1 with --quick) both ways; its rows:\n"
      "text_64k elements_64k text_1m elements_1m text_3m elements_3m elements_16m\n"
      "text_16m.\n";

std::string selfPath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        fail("cannot find my own executable");
    buf[n] = '\0';
    return buf;
}

QJsonObject runGroup(const Options &opt, const std::string &mode)
{
    std::string cmd = "'" + selfPath() + "' --mode " + mode + (opt.quick ? " --quick" : "");
    if (!opt.verbose)
        cmd += " 2>/dev/null";
    std::fprintf(stderr, "running %s ...\n", mode.c_str());
    FILE *pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        fail("cannot start " + mode);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    const int status = pclose(pipe);
    // The last line that is a JSON object is the group's result.
    std::istringstream lines(out);
    std::string line, last;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] == '{')
            last = line;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(last));
    if (status != 0 || !doc.isObject())
        fail("group " + mode + " failed (exit status " + std::to_string(status)
            + "); run it alone with --mode " + mode + " to see why");
    return doc.object();
}

std::string readFirstLine(const char *path, const char *prefix = nullptr)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!prefix)
            return line;
        if (line.rfind(prefix, 0) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return {};
}

QJsonObject machineFacts(const Options &opt)
{
    QJsonObject machine;
    machine["cpus"] = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    machine["cpu_model"] = QString::fromStdString(readFirstLine("/proc/cpuinfo", "model name"));
    machine["kernel"] = QSysInfo::kernelVersion();
    machine["os"] = QSysInfo::prettyProductName();
    machine["qt"] = QString::fromLatin1(qVersion());
    machine["loadavg_start"] = QString::fromStdString(readFirstLine("/proc/loadavg"));
    machine["engine_flags"] = QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"));
    char date[64];
    const std::time_t t = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
    machine["date"] = date;
    machine["quick"] = opt.quick;
    return machine;
}

void append(QJsonArray &to, const QJsonArray &from)
{
    for (const QJsonValue &v : from)
        to.append(v);
}

// Runs the groups in rounds, the order rotated each round, so that each
// sees the same machine load; the results by group.
std::vector<std::vector<QJsonObject>> inRounds(
    const Options &opt, const std::vector<const char *> &groups, int rounds)
{
    std::vector<std::vector<QJsonObject>> out(groups.size());
    for (int r = 0; r < rounds; ++r) {
        for (size_t i = 0; i < groups.size(); ++i) {
            const size_t g = (i + static_cast<size_t>(r)) % groups.size();
            out[g].push_back(runGroup(opt, groups[g]));
        }
    }
    return out;
}

std::vector<double> pooledSamples(const std::vector<QJsonObject> &groups)
{
    std::vector<double> all;
    for (const QJsonObject &g : groups)
        for (double v : fromJsonArray(g["samples"].toArray()))
            all.push_back(v);
    return all;
}

QJsonArray firstLoadFigures(const Options &opt)
{
    // Fresh processes, alternating, so that both see the same load.
    std::vector<double> lib, qt;
    for (int i = 0; i < (opt.quick ? 3 : 7); ++i) {
        lib.push_back(runGroup(opt, "first-lib")["ms"].toDouble());
        qt.push_back(runGroup(opt, "first-qt")["ms"].toDouble());
    }
    const Summary libS = summarize(lib), qtS = summarize(qt);
    return QJsonArray {figure("first_load", "first page-loaded (fresh process)", "ms", libS),
        figure("first_load_qt", "floor: plain Qt program, same HTML", "ms", qtS),
        single("first_load_ratio", "first page-loaded / plain Qt (medians)", "x",
            libS.median / qtS.median)};
}

QJsonArray toArray(const std::vector<QJsonObject> &objects)
{
    QJsonArray out;
    for (const QJsonObject &o : objects)
        out.append(o);
    return out;
}

int runDriver(const Options &opt)
{
    QJsonObject machine = machineFacts(opt), details;
    QJsonArray figures;
    const QJsonObject calls = runGroup(opt, "calls"), events = runGroup(opt, "events");
    append(figures, calls["figures"].toArray());
    details["calls_checks"] = calls["checks"];
    append(figures, events["figures"].toArray());

    const auto latency = inRounds(opt, {"latency", "latency-floor"}, opt.quick ? 1 : 2);
    const std::vector<QJsonObject> &lat = latency[0];
    append(figures, latencyFigures(pooledSamples(lat), pooledSamples(latency[1])));
    const auto idleRuns
        = inRounds(opt, {"idle", "idle-floor", "idle-floor-sliced"}, opt.quick ? 1 : 3);
    const std::vector<QJsonObject> &idle = idleRuns[0], &idleFloor = idleRuns[1];
    append(figures, idleFigures(idle, idleFloor, idleRuns[2]));

    std::vector<QJsonObject> libPolls {events["polls"].toObject()}, floorBusy;
    for (const QJsonObject &g : lat)
        libPolls.push_back(g["polls"].toObject());
    for (const QJsonObject &g : idle)
        for (const char *phase : {"idle_1", "idle_10"})
            libPolls.push_back(g[phase].toObject()["polls"].toObject());
    for (const QJsonObject &g : idle)
        libPolls.push_back(g["busy"].toObject());
    for (const QJsonObject &g : idleFloor)
        floorBusy.push_back(g["busy"].toObject());
    append(figures, pollFigures(libPolls, floorBusy));
    details["idle"] = toArray(idle);
    details["idle_floor"] = toArray(idleFloor);
    details["idle_floor_sliced"] = toArray(idleRuns[2]);
    details["polls_library"] = toArray(libPolls);

    const QJsonObject memory = runGroup(opt, "memory");
    append(figures, memory["figures"].toArray());
    details["memory_pss_curve"] = memory["pss_curve"];
    append(figures, firstLoadFigures(opt));

    const QJsonObject large = runGroup(opt, "large-html");
    append(figures, largeHtmlFigures(large));
    details["large_html"] = large["rows"];
    const QJsonObject small = runGroup(opt, "small-html");
    figures.append(figure("small_html_call", "10 KiB set_html: the call", "ms",
        summarize(fromJsonArray(small["call_ms"].toArray()))));
    figures.append(figure("small_html_loaded", "10 KiB set_html: to page-loaded", "ms",
        summarize(fromJsonArray(small["loaded_ms"].toArray()))));
    const QJsonObject peak = runGroup(opt, "large-html-memory");
    figures.append(single("large_html_peak_rss", "16 MiB set_html: host's peak RSS above before",
        "MiB", peak["peak_above_before_mib"].toDouble()));
    details["large_html_memory"] = peak;
    machine["loadavg_end"] = QString::fromStdString(readFirstLine("/proc/loadavg"));
    report(figures, machine, details, opt.json);
    return 0;
}

Options parseOptions(int argc, char **argv)
{
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mode" && i + 1 < argc)
            opt.mode = argv[++i];
        else if (a == "--json" && i + 1 < argc)
            opt.json = argv[++i];
        else if (a == "--quick")
            opt.group.quick = opt.quick = true;
        else if (a == "--windows" && i + 1 < argc)
            opt.group.windows = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc)
            opt.group.seconds = std::atof(argv[++i]);
        else if (a == "--repeats" && i + 1 < argc)
            opt.group.repeats = std::atoi(argv[++i]);
        else if (a == "--rows" && i + 1 < argc)
            opt.group.rows = argv[++i];
        else if (a == "--verbose")
            opt.verbose = true;
        else {
            std::fputs(usage, stderr);
            std::exit(a == "--help" ? 0 : 2);
        }
    }
    return opt;
}

QJsonObject runMode(const Options &opt, int argc, char **argv)
{
    const GroupOptions g = opt.group;
    const std::map<std::string, std::function<QJsonObject()>> modes {
        {"calls", [&] { return runCalls(g); }}, {"events", [&] { return runEvents(g); }},
        {"latency", [&] { return runLatency(g); }},
        {"latency-floor", [&] { return runLatencyFloor(g); }}, {"idle", [&] { return runIdle(g); }},
        {"idle-floor", [&] { return runIdleFloor(g, false); }},
        {"idle-floor-sliced", [&] { return runIdleFloor(g, true); }},
        {"memory", [&] { return runMemory(g); }}, {"first-lib", [&] { return runFirstLib(g); }},
        {"first-qt", [&] { return runFirstQt(argc, argv); }}, {"hold", [&] { return runHold(g); }},
        {"hold-floor", [&] { return runHoldFloor(g, false); }},
        {"hold-floor-sliced", [&] { return runHoldFloor(g, true); }},
        {"large-html", [&] { return runLargeHtml(g); }},
        {"small-html", [&] { return runSmallHtml(g); }},
        {"large-html-memory", [&] { return runLargeHtmlMemory(g); }}};
    const auto it = modes.find(opt.mode);
    if (it == modes.end())
        fail("unknown mode " + opt.mode);
    return it->second();
}

} // namespace

} // namespace bench

int main(int argc, char **argv)
{
    const bench::Options opt = bench::parseOptions(argc, argv);
    // Chromium refuses to start as root with its sandbox on.
    if (geteuid() == 0)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        bench::fail("no display: run through scripts/run-benchmarks.sh or scripts/with-display.sh");
    if (opt.mode.empty())
        return bench::runDriver(opt);
    bench::printResult(bench::runMode(opt, argc, argv));
    // The group's figures are out; leave without tearing down the engine,
    // whose exit-time teardown is not what is measured here (its helper
    // processes end when their connection to this process closes).
    std::fflush(stderr);
    std::_Exit(0);
}
