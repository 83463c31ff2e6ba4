// The shared part of kiv_benchmark: time, statistics, figures as JSON, and
// the page that every measurement opens.
#ifndef KIV_BENCH_COMMON_H
#define KIV_BENCH_COMMON_H

#include <QJsonArray>
#include <QJsonObject>

#include <string>
#include <vector>

namespace bench {

// Milliseconds since the process started (steady clock).
double nowMs();

struct Summary
{
    double median = 0, p10 = 0, p90 = 0;
    int n = 0;
};

double percentile(const std::vector<double> &sorted, double p);
Summary summarize(std::vector<double> samples);
double median(std::vector<double> samples);

// A figure of the table: a key, a label, a unit and its spread.
QJsonObject figure(const char *key, const char *label, const char *unit, const Summary &s);
// A figure measured once.
QJsonObject single(const char *key, const char *label, const char *unit, double value);

QJsonArray toJsonArray(const std::vector<double> &values);
std::vector<double> fromJsonArray(const QJsonArray &values);

[[noreturn]] void fail(const std::string &why);

// Prints a group's result: one JSON object, the last line of its output.
void printResult(const QJsonObject &result);

// The small page every window shows.
extern const char *const pageHtml;

// The options every group sees.
struct GroupOptions
{
    bool quick = false;
    // For the hold groups: how many windows, and how long to pump them.
    int windows = 10;
    double seconds = 30;
    // For the large-html group: how many pairs of loads per row (0: the
    // default), and which rows (their keys, comma-separated; empty: all).
    int repeats = 0;
    std::string rows;
};

} // namespace bench

#endif // KIV_BENCH_COMMON_H
