#include "bench_common.h"

#include <QJsonDocument>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point processStart = Clock::now();

} // namespace

const char *const pageHtml = "<!doctype html><html><head><meta charset=\"utf-8\">"
                             "<title>bench</title></head><body><h1>Benchmark</h1>"
                             "<p>A small page.</p></body></html>";

double nowMs()
{
    return std::chrono::duration<double, std::milli>(Clock::now() - processStart).count();
}

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

double median(std::vector<double> samples)
{
    return summarize(std::move(samples)).median;
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

QJsonArray toJsonArray(const std::vector<double> &values)
{
    QJsonArray out;
    for (double v : values)
        out.append(v);
    return out;
}

std::vector<double> fromJsonArray(const QJsonArray &values)
{
    std::vector<double> out;
    for (const QJsonValue &v : values)
        out.push_back(v.toDouble());
    return out;
}

void fail(const std::string &why)
{
    std::fprintf(stderr, "kiv_benchmark: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(2);
}

void printResult(const QJsonObject &result)
{
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

} // namespace bench
