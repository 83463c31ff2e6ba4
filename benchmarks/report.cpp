#include "report.h"

#include "bench_common.h"

#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace bench {

namespace {

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
    {"event_latency_ratio", true, 1.1, "<= 1.1x floor"},
    {"idle_cpu_1_ratio", true, 1.05, "<= 1.05x floor"},
    {"idle_cpu_10_ratio", true, 1.05, "<= 1.05x floor"},
    {"polls_in_flight", true, 1.0, "<= 1 per page"},
    {"first_load_ratio", true, 1.3, "<= 1.3x plain Qt"},
    {"pss_per_window", true, 20.0, "<= 20 MiB"},
    {"pss_growth_per_100", true, 5.0, "no trend (< 5 MiB)"},
    {"large_html_text_64k_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_elements_64k_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_text_1m_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_elements_1m_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_text_3m_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_elements_3m_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_elements_16m_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_text_16m_margin", true, 0.0, "<= 1.2x file + 0.3 s"},
    {"large_html_whole", false, 1.0, "every page whole"},
};

std::vector<double> field(const std::vector<QJsonObject> &rounds, const QString &phase,
    const std::vector<const char *> &keys)
{
    std::vector<double> out;
    for (const QJsonObject &r : rounds) {
        double sum = 0;
        for (const char *k : keys)
            sum += r[phase].toObject()[QLatin1String(k)].toDouble();
        out.push_back(sum);
    }
    return out;
}

std::vector<double> pollRate(const std::vector<QJsonObject> &rounds, const QString &phase)
{
    std::vector<double> out;
    for (const QJsonObject &r : rounds) {
        const QJsonObject p = r[phase].toObject();
        out.push_back(p["polls"].toObject()["polls_per_s"].toDouble() / p["windows"].toDouble());
    }
    return out;
}

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

void printRow(QJsonObject &f)
{
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
    const bool one = f["n"].toInt() == 1;
    std::printf("%-46s %12s %12s %12s  %-9s %-20s %s\n", f["label"].toString().toUtf8().constData(),
        formatValue(f["median"].toDouble()).c_str(),
        one ? "" : formatValue(f["p10"].toDouble()).c_str(),
        one ? "" : formatValue(f["p90"].toDouble()).c_str(),
        f["unit"].toString().toUtf8().constData(), targetText.c_str(), verdict.c_str());
}

} // namespace

namespace {

void addFigure(QJsonArray &out, const std::string &key, const std::string &label, const char *unit,
    const Summary &s)
{
    out.append(figure(key.c_str(), label.c_str(), unit, s));
}

// The pumping alone: the library's slices without a window against the
// floor program's loop without a window.
void pumpingFigures(QJsonArray &out, const std::vector<QJsonObject> &lib,
    const std::vector<QJsonObject> &floor, const std::vector<QJsonObject> &sliced)
{
    const QString phase = QStringLiteral("idle_0");
    addFigure(out, "idle_cpu_0", "idle CPU, no window (pumping alone)", "% core",
        summarize(field(lib, phase, {"total"})));
    addFigure(out, "floor_idle_cpu_0", "floor: idle CPU, no window", "% core",
        summarize(field(floor, phase, {"total"})));
    addFigure(out, "sliced_idle_cpu_0", "sliced floor: idle CPU, no window", "% core",
        summarize(field(sliced, phase, {"total"})));
    addFigure(out, "idle_wakeups_0", "host wake-ups per second, no window", "1/s",
        summarize(field(lib, phase, {"host_wakeups_per_s"})));
    addFigure(out, "floor_idle_wakeups_0", "floor: host wake-ups per second, no window", "1/s",
        summarize(field(floor, phase, {"host_wakeups_per_s"})));
}

// The sliced floor: the floor program pumping in the library's slices.
void slicedFigures(QJsonArray &out, const std::vector<QJsonObject> &lib,
    const std::vector<QJsonObject> &sliced, const QString &phase, const std::string &k,
    const std::string &w)
{
    const Summary s = summarize(field(sliced, phase, {"total"}));
    addFigure(out, "sliced_" + k, "sliced floor: idle CPU" + w, "% core", s);
    addFigure(out, "sliced_" + k + "_host", "  sliced floor: host" + w, "% core",
        summarize(field(sliced, phase, {"host"})));
    addFigure(out, "sliced_" + k + "_renderers", "  sliced floor: renderers" + w, "% core",
        summarize(field(sliced, phase, {"renderers"})));
    out.append(single((k + "_sliced_ratio").c_str(), ("idle CPU" + w + " / sliced floor").c_str(),
        "x", summarize(field(lib, phase, {"total"})).median / s.median));
}

void windowFigures(QJsonArray &out, const std::vector<QJsonObject> &lib,
    const std::vector<QJsonObject> &floor, const std::vector<QJsonObject> &sliced, const char *n)
{
    const QString phase = QStringLiteral("idle_") + QLatin1String(n);
    const std::string k = std::string("idle_cpu_") + n,
                      w = std::string(", ") + n + " window" + (n[1] ? "s" : "");
    const Summary l = summarize(field(lib, phase, {"total"}));
    const Summary f = summarize(field(floor, phase, {"total"}));
    addFigure(out, k, "idle CPU" + w, "% core", l);
    addFigure(out, "floor_" + k, "floor: idle CPU" + w, "% core", f);
    out.append(single(
        (k + "_ratio").c_str(), ("idle CPU" + w + " / floor").c_str(), "x", l.median / f.median));
    const std::pair<const char *, std::vector<const char *>> parts[]
        = {{"host", {"host"}}, {"renderers", {"renderers"}}, {"others", {"gpu", "others"}}};
    for (const auto &[part, keys] : parts) {
        addFigure(out, k + "_" + part, "  library: " + std::string(part) + w, "% core",
            summarize(field(lib, phase, keys)));
        addFigure(out, "floor_" + k + "_" + part, "  floor: " + std::string(part) + w, "% core",
            summarize(field(floor, phase, keys)));
    }
    slicedFigures(out, lib, sliced, phase, k, w);
    addFigure(out, "polls_per_page_s_" + std::string(n), "polls per page per second" + w, "1/s",
        summarize(pollRate(lib, phase)));
    addFigure(out, "floor_polls_per_page_s_" + std::string(n),
        "floor: polls per page per second" + w, "1/s", summarize(pollRate(floor, phase)));
}

} // namespace

QJsonArray idleFigures(const std::vector<QJsonObject> &lib, const std::vector<QJsonObject> &floor,
    const std::vector<QJsonObject> &sliced)
{
    QJsonArray out;
    pumpingFigures(out, lib, floor, sliced);
    windowFigures(out, lib, floor, sliced, "1");
    windowFigures(out, lib, floor, sliced, "10");
    return out;
}

QJsonArray latencyFigures(const std::vector<double> &lib, const std::vector<double> &floor)
{
    const Summary l = summarize(lib), f = summarize(floor);
    return QJsonArray {figure("event_latency", "one js-evt: run_js -> callback", "ms", l),
        figure("floor_event_latency", "floor: one item, runJavaScript -> answer", "ms", f),
        single("event_latency_ratio", "one js-evt / floor (medians)", "x", l.median / f.median)};
}

QJsonArray largeHtmlFigures(const QJsonObject &group)
{
    QJsonArray out;
    bool whole = true;
    for (const QJsonValue &v : group["rows"].toArray()) {
        const QJsonObject row = v.toObject();
        const std::string key = "large_html_" + row["key"].toString().toStdString();
        const double bytes = row["bytes"].toDouble();
        const std::string page = row["kind"].toString().toStdString() + ", "
            + (bytes < 900 * 1024 ? std::to_string(std::lround(bytes / 1024)) + " KiB"
                                  : std::to_string(std::lround(bytes / (1 << 20))) + " MiB");
        const Summary html = summarize(fromJsonArray(row["set_html_ms"].toArray()));
        const Summary file = summarize(fromJsonArray(row["file_ms"].toArray()));
        addFigure(out, key + "_set_html", page + ": set_html to page-loaded", "ms", html);
        addFigure(out, key + "_file", page + ": file URL to page-loaded", "ms", file);
        out.append(single((key + "_ratio").c_str(), (page + ": set_html / file").c_str(), "x",
            html.median / file.median));
        out.append(single((key + "_margin").c_str(), (page + ": set_html beyond the goal").c_str(),
            "ms", html.median - (1.2 * file.median + 300.0)));
        whole = whole && row["whole"].toBool();
    }
    out.append(single("large_html_whole", "every large page arrived whole", "yes", whole ? 1 : 0));
    return out;
}

QJsonArray pollFigures(
    const std::vector<QJsonObject> &libPolls, const std::vector<QJsonObject> &floorBusy)
{
    int lib = 0, floor = 0;
    for (const QJsonObject &p : libPolls)
        lib = std::max(lib, p["most_in_flight"].toInt());
    for (const QJsonObject &p : floorBusy)
        floor = std::max(floor, p["most_in_flight"].toInt());
    return QJsonArray {single("polls_in_flight", "polls of one page in flight, most", "polls", lib),
        single("floor_polls_in_flight_busy", "floor: the same, page busy 300 ms", "polls", floor)};
}

void report(QJsonArray figures, const QJsonObject &machine, const QJsonObject &details,
    const std::string &path)
{
    QJsonArray judged;
    std::printf("\n%-46s %12s %12s %12s  %-9s %-20s %s\n", "measure", "median", "p10", "p90",
        "unit", "target", "");
    std::printf("%s\n", std::string(126, '-').c_str());
    for (const QJsonValue &v : figures) {
        QJsonObject f = v.toObject();
        printRow(f);
        judged.append(f);
    }
    std::printf("\nmachine: %d CPUs, %s, load average %s -> %s\n", machine["cpus"].toInt(),
        machine["cpu_model"].toString().toUtf8().constData(),
        machine["loadavg_start"].toString().toUtf8().constData(),
        machine["loadavg_end"].toString().toUtf8().constData());
    const QJsonObject result {{"machine", machine}, {"figures", judged}, {"details", details}};
    std::ofstream out(path);
    out << QJsonDocument(result).toJson(QJsonDocument::Indented).constData();
    if (!out)
        fail("cannot write " + path);
    std::printf("figures written to %s\n", path.c_str());
}

} // namespace bench
