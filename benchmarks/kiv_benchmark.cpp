// kiv_benchmark: measures kivwebview_qt against the web engine's own floor.
//
// Run without a mode it is the driver: it starts itself once per measurement
// group (each group in a fresh process, so that windows, renderers and
// memory of one group do not disturb the next), prints a table and writes
// the same figures as JSON. Every group prints one JSON object as the last
// line of its standard output.
//
//   kiv_benchmark [--json PATH] [--quick] [--verbose]
//   kiv_benchmark --mode calls|idle|memory|first-lib|first-qt [--quick]
//
// Figures are medians with the 10th and 90th percentiles over repeated
// runs. They are only meaningful on a quiet machine.
#include "kivwebview_qt.h"

#include "bridge/page_scripts.h"

#include <QApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QSysInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Time and statistics
// ---------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;
const Clock::time_point processStart = Clock::now();

double nowMs()
{
    return std::chrono::duration<double, std::milli>(Clock::now() - processStart).count();
}

struct Summary
{
    double median = 0, p10 = 0, p90 = 0;
    int n = 0;
};

double percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return std::nan("");
    // Linear interpolation between the closest ranks.
    const double rank = p * static_cast<double>(sorted.size() - 1);
    const auto lo = static_cast<size_t>(std::floor(rank));
    const auto hi = static_cast<size_t>(std::ceil(rank));
    return sorted[lo] + (sorted[hi] - sorted[lo]) * (rank - static_cast<double>(lo));
}

Summary summarize(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    Summary s;
    s.n = static_cast<int>(samples.size());
    s.median = percentile(samples, 0.5);
    s.p10 = percentile(samples, 0.1);
    s.p90 = percentile(samples, 0.9);
    return s;
}

QJsonObject figure(const char *key, const char *label, const char *unit, const Summary &s)
{
    return QJsonObject {{"key", key}, {"label", label}, {"unit", unit}, {"median", s.median},
        {"p10", s.p10}, {"p90", s.p90}, {"n", s.n}};
}

QJsonObject single(const char *key, const char *label, const char *unit, double value)
{
    Summary s;
    s.median = s.p10 = s.p90 = value;
    s.n = 1;
    return figure(key, label, unit, s);
}

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "kiv_benchmark: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(2);
}

// ---------------------------------------------------------------------------
// The process tree, from /proc
// ---------------------------------------------------------------------------

struct ProcStat
{
    int ppid = 0;
    unsigned long long cpuTicks = 0; // utime + stime
};

bool readStat(int pid, ProcStat &out)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return false;
    // The command name may hold spaces and parentheses: fields follow the
    // last ')'. After it: state(3) ppid(4) ... utime(14) stime(15).
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream fields(line.substr(close + 2));
    std::string f;
    std::vector<std::string> v;
    while (fields >> f && v.size() < 13)
        v.push_back(f);
    if (v.size() < 13)
        return false;
    out.ppid = std::stoi(v[1]);
    out.cpuTicks = std::stoull(v[11]) + std::stoull(v[12]);
    return true;
}

// This process and all its descendants (the engine's helper processes).
std::vector<int> processTree()
{
    std::map<int, std::vector<int>> children;
    if (DIR *dir = opendir("/proc")) {
        while (dirent *e = readdir(dir)) {
            const int pid = std::atoi(e->d_name);
            ProcStat st;
            if (pid > 0 && readStat(pid, st))
                children[st.ppid].push_back(pid);
        }
        closedir(dir);
    }
    std::vector<int> tree {static_cast<int>(getpid())};
    for (size_t i = 0; i < tree.size(); ++i) {
        const auto it = children.find(tree[i]);
        if (it != children.end())
            tree.insert(tree.end(), it->second.begin(), it->second.end());
    }
    return tree;
}

unsigned long long treeCpuTicks()
{
    unsigned long long total = 0;
    for (int pid : processTree()) {
        ProcStat st;
        if (readStat(pid, st))
            total += st.cpuTicks;
    }
    return total;
}

// Proportional set size of the whole tree, in MiB.
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

// ---------------------------------------------------------------------------
// The host side of the library: one callback for every window
// ---------------------------------------------------------------------------

const char *const pageHtml = "<!doctype html><html><head><meta charset=\"utf-8\">"
                             "<title>bench</title></head><body><h1>Benchmark</h1>"
                             "<p>A small page.</p></body></html>";

const char jsEvtPrefix[] = "{\"event\":\"js-evt\"";

struct HostState
{
    int pageLoaded = 0;
    double pageLoadedAt = 0;
    int jsEvents = 0;
    double firstJsEventAt = 0;
    double lastJsEventAt = 0;
    int expectedJsEvents = 0;
    const char *expectedLastText = nullptr;
    bool lastTextMatched = false;
    int closed = 0;
} host;

void onEvent(kiv_event_t *event)
{
    const double t = nowMs();
    const char *text = event->event;
    if (std::strncmp(text, jsEvtPrefix, sizeof jsEvtPrefix - 1) == 0) {
        if (host.jsEvents++ == 0)
            host.firstJsEventAt = t;
        host.lastJsEventAt = t;
        if (host.jsEvents == host.expectedJsEvents && host.expectedLastText)
            host.lastTextMatched = std::strcmp(text, host.expectedLastText) == 0;
    } else if (std::strstr(text, "\"page-loaded\"")) {
        if (host.pageLoaded++ == 0)
            host.pageLoadedAt = t;
    } else if (std::strstr(text, "\"closed\"")) {
        ++host.closed;
    }
    kiv_webview_destroy_event(event);
}

template <typename Pred> void pumpUntil(Pred pred, double timeoutMs, const char *what)
{
    const double end = nowMs() + timeoutMs;
    while (!pred()) {
        if (nowMs() > end)
            fail(std::string("timed out waiting for ") + what);
        kiv_webview_process_events(1);
    }
}

// Creates a window and loads the benchmark page into it.
int openLoadedWindow()
{
    const int wv = kiv_webview_create(0, onEvent);
    if (wv <= 0)
        fail("kiv_webview_create failed");
    const int before = host.pageLoaded;
    if (kiv_webview_set_html(wv, pageHtml) != oke)
        fail("kiv_webview_set_html failed");
    pumpUntil([&] { return host.pageLoaded > before; }, 60000, "page-loaded");
    return wv;
}

void printResult(const QJsonObject &result)
{
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------
// Group "calls": call_js against the floor, set title, page-to-host events
// ---------------------------------------------------------------------------

// Awaits runJavaScript on a plain view the way a Qt program would.
struct FloorView
{
    QMainWindow window;
    QWebEngineView *view = new QWebEngineView(&window);
    QEventLoop loop;
    QVariant answer;

    FloorView()
    {
        window.setCentralWidget(view);
        window.show();
        bool loaded = false;
        QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&](bool) {
            loaded = true;
            loop.quit();
        });
        view->setHtml(QString::fromUtf8(pageHtml));
        while (!loaded)
            loop.exec();
        QObject::disconnect(view, &QWebEngineView::loadFinished, &loop, nullptr);
    }

    double run(const QString &script)
    {
        const double t0 = nowMs();
        view->page()->runJavaScript(script, [this](const QVariant &v) {
            answer = v;
            loop.quit();
        });
        loop.exec();
        return nowMs() - t0;
    }
};

QJsonObject runCalls(bool quick)
{
    QJsonArray figures;
    QJsonObject checks;
    const int wv = openLoadedWindow();
    // The application object is the library's now; a plain view of it is
    // the floor.
    FloorView floor;

    const char *callCode = "return 1 + 1;";
    const QString bareScript = QStringLiteral("1 + 1");
    const QString wrappedScript = PageScripts::callWrapper(QString::fromUtf8(callCode));

    kiv_js_result_t *first = kiv_webview_call_js(wv, callCode);
    checks["call_js_text"] = QString::fromUtf8(first->value);
    if (first->result != oke || std::strcmp(first->value, R"({"exn":false,"oke":true,"result":2})"))
        fail(std::string("unexpected call result ") + first->value);
    kiv_webview_destroy_js_result(first);
    if (floor.run(bareScript) < 0 || floor.answer.toInt() != 2)
        fail("the floor view did not answer 2");

    // Rounds alternate between the library and the floor so that both see
    // the same machine load.
    const int rounds = quick ? 6 : 20;
    const int perRound = 50;
    std::vector<double> lib, bare, wrapped;
    for (int w = 0; w < 20; ++w) { // warm-up
        kiv_webview_destroy_js_result(kiv_webview_call_js(wv, callCode));
        floor.run(bareScript);
        floor.run(wrappedScript);
    }
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < perRound; ++i) {
            const double t0 = nowMs();
            kiv_js_result_t *res = kiv_webview_call_js(wv, callCode);
            lib.push_back(nowMs() - t0);
            kiv_webview_destroy_js_result(res);
        }
        for (int i = 0; i < perRound; ++i)
            bare.push_back(floor.run(bareScript));
        for (int i = 0; i < perRound; ++i)
            wrapped.push_back(floor.run(wrappedScript));
    }
    const Summary libS = summarize(lib), bareS = summarize(bare), wrappedS = summarize(wrapped);
    figures.append(figure("call_js", "call_js with a result", "ms", libS));
    figures.append(figure("floor_run_js", "floor: runJavaScript \"1 + 1\"", "ms", bareS));
    figures.append(
        figure("floor_run_js_wrapped", "floor: runJavaScript of the call script", "ms", wrappedS));
    figures.append(
        single("call_js_ratio", "call_js / floor (medians)", "x", libS.median / bareS.median));

    // A command that completes at once.
    std::vector<double> title;
    const int titles = quick ? 300 : 1000;
    for (int i = 0; i < titles + 20; ++i) {
        const std::string text = "bench title " + std::to_string(i);
        const double t0 = nowMs();
        if (kiv_webview_set_title(wv, text.c_str()) != oke)
            fail("kiv_webview_set_title failed");
        if (i >= 20)
            title.push_back(nowMs() - t0);
    }
    figures.append(figure("set_title", "set_title", "ms", summarize(title)));

    // Latency of one event: from the script that sends it to the callback,
    // pumping as a host would.
    std::vector<double> latency;
    const int singles = quick ? 60 : 200;
    for (int i = 0; i < singles; ++i) {
        host.jsEvents = 0;
        host.expectedJsEvents = 0;
        const double t0 = nowMs();
        kiv_webview_run_js(wv, "window.kiv_send_event({n: 1});");
        pumpUntil([] { return host.jsEvents >= 1; }, 30000, "a single js-evt");
        latency.push_back(host.firstJsEventAt - t0);
    }
    figures.append(
        figure("event_latency", "one js-evt: run_js -> callback", "ms", summarize(latency)));

    // A batch of 100,000 items. The items are built in the page first; one
    // script then puts them all on the page's queue, and the clock runs from
    // that script until the last "js-evt" has reached the callback (poll,
    // transfer, parse and delivery). A second form makes the 100,000
    // kiv_send_event calls in that script, which adds the page's own cost of
    // the calls (each writes a console message).
    const int items = 100000;
    const std::string count = std::to_string(items);
    static const std::string lastText
        = "{\"event\":\"js-evt\",\"js-evt\":{\"i\":" + std::to_string(items - 1) + ",\"s\":\"x\"}}";
    const std::string build = "window.kiv_bench_items = [];\nfor (let i = 0; i < " + count
        + "; ++i) window.kiv_bench_items.push({s: 'x', i: i});\nreturn "
          "window.kiv_bench_items.length;";
    const char *handOver
        = "window.kiv_event_queue = window.kiv_event_queue.concat(window.kiv_bench_items);";
    const std::string viaSend
        = "for (let i = 0; i < " + count + "; ++i) window.kiv_send_event({s: 'x', i: i});";
    kiv_js_result_t *built = kiv_webview_call_js(wv, build.c_str());
    if (built->result != oke)
        fail(std::string("building the items failed: ") + built->value);
    kiv_webview_destroy_js_result(built);

    const int batches = quick ? 3 : 7;
    std::vector<double> rateQueue, rateSend, rateDelivery, ratePoll;
    auto batch = [&](const char *script, std::vector<double> &rates, bool delivery) {
        host.jsEvents = 0;
        host.expectedJsEvents = items;
        host.expectedLastText = lastText.c_str();
        host.lastTextMatched = false;
        const double t0 = nowMs();
        kiv_webview_run_js(wv, script);
        pumpUntil([&] { return host.jsEvents >= items; }, 300000, "the batch of js-evt");
        if (host.jsEvents != items || !host.lastTextMatched)
            fail("the batch arrived incomplete or changed");
        rates.push_back(items / ((host.lastJsEventAt - t0) / 1000.0));
        if (delivery)
            rateDelivery.push_back(
                items / (std::max(host.lastJsEventAt - host.firstJsEventAt, 0.001) / 1000.0));
    };
    // The floor: the same items taken from a plain view's page as JSON text.
    {
        floor.run(QString::fromStdString("(function() {" + build + "})()"));
        if (floor.answer.toInt() != items)
            fail("the floor page did not build the items");
    }
    const QString rawPoll = QStringLiteral("JSON.stringify(window.kiv_bench_items)");
    for (int b = 0; b < batches; ++b) {
        batch(handOver, rateQueue, true);
        batch(viaSend.c_str(), rateSend, false);
        const double ms = floor.run(rawPoll);
        if (floor.answer.toString().size() < items * 10)
            fail("the floor poll answered too little");
        ratePoll.push_back(items / (ms / 1000.0));
    }
    host.expectedLastText = nullptr;
    figures.append(figure(
        "events_per_s", "100k queued items -> last callback", "events/s", summarize(rateQueue)));
    figures.append(figure("events_per_s_delivery", "100k items: first -> last callback", "events/s",
        summarize(rateDelivery)));
    figures.append(figure("floor_poll_per_s", "floor: 100k items as JSON text, plain view",
        "items/s", summarize(ratePoll)));
    figures.append(figure("events_per_s_send", "100k kiv_send_event calls -> last callback",
        "events/s", summarize(rateSend)));

    kiv_webview_close(wv);
    return QJsonObject {{"figures", figures}, {"checks", checks}};
}

// ---------------------------------------------------------------------------
// Group "idle": CPU of the process tree while the host only pumps
// ---------------------------------------------------------------------------

double idleCpuPercent(int seconds)
{
    const unsigned long long before = treeCpuTicks();
    const double t0 = nowMs();
    kiv_webview_process_events(seconds * 1000);
    const double wallS = (nowMs() - t0) / 1000.0;
    const double cpuS
        = static_cast<double>(treeCpuTicks() - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return 100.0 * cpuS / wallS;
}

QJsonObject runIdle()
{
    QJsonArray figures;
    openLoadedWindow();
    kiv_webview_process_events(3000); // let the start-up settle
    figures.append(single("idle_cpu_1", "idle CPU, 1 window (10 s)", "% core", idleCpuPercent(10)));
    for (int i = 1; i < 10; ++i)
        openLoadedWindow();
    kiv_webview_process_events(3000);
    figures.append(
        single("idle_cpu_10", "idle CPU, 10 windows (10 s)", "% core", idleCpuPercent(10)));
    return QJsonObject {{"figures", figures}};
}

// ---------------------------------------------------------------------------
// Group "memory": PSS of the process tree
// ---------------------------------------------------------------------------

double settledPss()
{
    kiv_webview_process_events(1500);
    return treePssMiB();
}

QJsonObject runMemory()
{
    QJsonArray figures;
    QJsonArray curve;
    std::vector<int> open {openLoadedWindow()};
    const double one = settledPss();
    for (int i = 1; i < 10; ++i)
        open.push_back(openLoadedWindow());
    const double ten = settledPss();
    for (size_t i = 1; i < open.size(); ++i)
        kiv_webview_close(open[i]);
    const double backToOne = settledPss();
    figures.append(single("pss_1", "PSS, 1 window", "MiB", one));
    figures.append(single("pss_10", "PSS, 10 windows", "MiB", ten));
    figures.append(single("pss_per_window", "PSS per extra window", "MiB", (ten - one) / 9.0));
    figures.append(single("pss_back_to_1", "PSS, back to 1 window", "MiB", backToOne));

    // 100 create/close cycles next to the remaining window; PSS is sampled
    // every 10 cycles and the trend fitted from the 20th cycle on (the first
    // ones fill the engine's caches).
    const int cycles = 100;
    std::vector<std::pair<double, double>> samples;
    for (int c = 1; c <= cycles; ++c) {
        const int wv = openLoadedWindow();
        kiv_webview_close(wv);
        if (c % 10 == 0) {
            const double pss = settledPss();
            curve.append(QJsonArray {c, pss});
            if (c >= 20)
                samples.emplace_back(c, pss);
        }
    }
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto &[x, y] : samples) {
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double n = static_cast<double>(samples.size());
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    figures.append(single("pss_after_cycles", "PSS after 100 create/close cycles", "MiB",
        curve.last().toArray().at(1).toDouble()));
    figures.append(single(
        "pss_growth_per_100", "PSS trend, cycles 20-100 (per 100 cycles)", "MiB", slope * 100.0));
    return QJsonObject {{"figures", figures}, {"pss_curve", curve}};
}

// ---------------------------------------------------------------------------
// Groups "first-lib" and "first-qt": first page-loaded in a fresh process
// ---------------------------------------------------------------------------

QJsonObject runFirstLib()
{
    // The first call of the process creates the application object.
    const int wv = kiv_webview_create(0, onEvent);
    const int before = host.pageLoaded;
    kiv_webview_set_html(wv, pageHtml);
    pumpUntil([&] { return host.pageLoaded > before; }, 120000, "the first page-loaded");
    const double ms = host.pageLoadedAt;
    kiv_webview_close(wv);
    return QJsonObject {{"ms", ms}, {"loads_before_html", before}};
}

QJsonObject runFirstQt(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QMainWindow window;
    auto *view = new QWebEngineView(&window);
    window.setCentralWidget(view);
    window.show();
    double loadedAt = 0;
    QEventLoop loop;
    QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&](bool) {
        loadedAt = nowMs();
        loop.quit();
    });
    view->setHtml(QString::fromUtf8(pageHtml));
    loop.exec();
    return QJsonObject {{"ms", loadedAt}};
}

// ---------------------------------------------------------------------------
// The driver
// ---------------------------------------------------------------------------

struct Options
{
    std::string mode;
    std::string json;
    bool quick = false;
    bool verbose = false;
};

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

struct Target
{
    const char *key;
    bool atMost; // the median must be <= limit (else >= limit)
    double limit;
    const char *text;
};

const Target targets[] = {
    {"call_js_ratio", true, 2.0, "<= 2x floor"},
    {"set_title", true, 0.2, "< 0.2 ms"},
    {"events_per_s", false, 1e6, ">= 1,000,000/s"},
    {"first_load_ratio", true, 1.3, "<= 1.3x plain Qt"},
    {"pss_per_window", true, 20.0, "<= 20 MiB"},
    {"pss_growth_per_100", true, 5.0, "no trend (< 5 MiB)"},
};

std::string formatValue(double v)
{
    char buf[64];
    const double a = std::fabs(v);
    if (a >= 100000)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else if (a >= 100)
        std::snprintf(buf, sizeof buf, "%.1f", v);
    else if (a >= 1)
        std::snprintf(buf, sizeof buf, "%.2f", v);
    else
        std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

int runDriver(const Options &opt, int argc, char **argv)
{
    (void)argc;
    (void)argv;
    QJsonObject machine;
    machine["cpus"] = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    machine["cpu_model"] = QString::fromStdString(readFirstLine("/proc/cpuinfo", "model name"));
    machine["kernel"] = QSysInfo::kernelVersion();
    machine["os"] = QSysInfo::prettyProductName();
    machine["qt"] = QString::fromLatin1(qVersion());
    machine["loadavg_start"] = QString::fromStdString(readFirstLine("/proc/loadavg"));
    char date[64];
    const std::time_t t = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
    machine["date"] = date;
    machine["quick"] = opt.quick;

    QJsonArray figures;
    QJsonObject extra;
    for (const char *mode : {"calls", "idle", "memory"}) {
        const QJsonObject group = runGroup(opt, mode);
        for (const QJsonValue &f : group["figures"].toArray())
            figures.append(f);
        for (auto it = group.begin(); it != group.end(); ++it)
            if (it.key() != QLatin1String("figures"))
                extra[QString::fromLatin1(mode) + '_' + it.key()] = it.value();
    }
    // Fresh processes, alternating, so that both see the same load.
    const int starts = opt.quick ? 3 : 7;
    std::vector<double> lib, qt;
    for (int i = 0; i < starts; ++i) {
        lib.push_back(runGroup(opt, "first-lib")["ms"].toDouble());
        qt.push_back(runGroup(opt, "first-qt")["ms"].toDouble());
    }
    const Summary libS = summarize(lib), qtS = summarize(qt);
    figures.append(figure("first_load", "first page-loaded (fresh process)", "ms", libS));
    figures.append(figure("first_load_qt", "floor: plain Qt program, same HTML", "ms", qtS));
    figures.append(single("first_load_ratio", "first page-loaded / plain Qt (medians)", "x",
        libS.median / qtS.median));
    machine["loadavg_end"] = QString::fromStdString(readFirstLine("/proc/loadavg"));

    // Verdicts and the table.
    QJsonArray judged;
    std::printf("\n%-44s %12s %12s %12s  %-9s %-20s %s\n", "measure", "median", "p10", "p90",
        "unit", "target", "");
    std::printf("%s\n", std::string(124, '-').c_str());
    for (const QJsonValue &v : figures) {
        QJsonObject f = v.toObject();
        const std::string key = f["key"].toString().toStdString();
        std::string targetText, verdict;
        for (const Target &t : targets) {
            if (key != t.key)
                continue;
            const double m = f["median"].toDouble();
            const bool met = t.atMost ? m <= t.limit : m >= t.limit;
            f["target"] = t.text;
            f["met"] = met;
            targetText = t.text;
            verdict = met ? "met" : "MISSED";
        }
        judged.append(f);
        const bool one = f["n"].toInt() == 1;
        std::printf("%-44s %12s %12s %12s  %-9s %-20s %s\n",
            f["label"].toString().toUtf8().constData(), formatValue(f["median"].toDouble()).c_str(),
            one ? "" : formatValue(f["p10"].toDouble()).c_str(),
            one ? "" : formatValue(f["p90"].toDouble()).c_str(),
            f["unit"].toString().toUtf8().constData(), targetText.c_str(), verdict.c_str());
    }
    std::printf("\nmachine: %d CPUs, %s, load average %s -> %s\n", machine["cpus"].toInt(),
        machine["cpu_model"].toString().toUtf8().constData(),
        machine["loadavg_start"].toString().toUtf8().constData(),
        machine["loadavg_end"].toString().toUtf8().constData());

    const QJsonObject result {{"machine", machine}, {"figures", judged}, {"details", extra}};
    std::ofstream out(opt.json);
    out << QJsonDocument(result).toJson(QJsonDocument::Indented).constData();
    if (!out)
        fail("cannot write " + opt.json);
    std::printf("figures written to %s\n", opt.json.c_str());
    return 0;
}

Options parseOptions(int argc, char **argv)
{
    Options opt;
    opt.json = "benchmark-results.json";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mode" && i + 1 < argc)
            opt.mode = argv[++i];
        else if (a == "--json" && i + 1 < argc)
            opt.json = argv[++i];
        else if (a == "--quick")
            opt.quick = true;
        else if (a == "--verbose")
            opt.verbose = true;
        else {
            std::fprintf(stderr,
                "usage: kiv_benchmark [--json PATH] [--quick] [--verbose]\n"
                "       kiv_benchmark --mode calls|idle|memory|first-lib|first-qt [--quick]\n");
            std::exit(a == "--help" ? 0 : 2);
        }
    }
    return opt;
}

} // namespace

int main(int argc, char **argv)
{
    const Options opt = parseOptions(argc, argv);
    // Chromium refuses to start as root with its sandbox on.
    if (geteuid() == 0)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        fail("no display: run through scripts/run-benchmarks.sh or scripts/with-display.sh");

    if (opt.mode.empty())
        return runDriver(opt, argc, argv);
    QJsonObject result;
    if (opt.mode == "calls")
        result = runCalls(opt.quick);
    else if (opt.mode == "idle")
        result = runIdle();
    else if (opt.mode == "memory")
        result = runMemory();
    else if (opt.mode == "first-lib")
        result = runFirstLib();
    else if (opt.mode == "first-qt")
        result = runFirstQt(argc, argv);
    else
        fail("unknown mode " + opt.mode);
    printResult(result);
    // The group's figures are out; leave without tearing down the engine,
    // whose exit-time teardown is not what is measured here (its helper
    // processes end when their connection to this process closes).
    std::fflush(stderr);
    std::_Exit(0);
}
