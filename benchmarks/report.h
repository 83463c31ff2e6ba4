// The driver's report: figures that compare groups run side by side, the
// targets, the table on standard output and the JSON file.
#ifndef KIV_BENCH_REPORT_H
#define KIV_BENCH_REPORT_H

#include <QJsonArray>
#include <QJsonObject>

#include <string>
#include <vector>

namespace bench {

// Figures of the idle rounds: the group results of the library, the floor
// and the sliced floor, one per round.
QJsonArray idleFigures(const std::vector<QJsonObject> &lib, const std::vector<QJsonObject> &floor,
    const std::vector<QJsonObject> &sliced);

// Figures of single-event latency: the pooled samples of both.
QJsonArray latencyFigures(const std::vector<double> &lib, const std::vector<double> &floor);

// The most polls of one page that waited at once, over the library's
// groups, and the floor's with a busy page.
QJsonArray pollFigures(
    const std::vector<QJsonObject> &libPolls, const std::vector<QJsonObject> &floorBusy);

// Figures of the large-page group: for each page, set_html and the file
// URL (medians over the pairs of loads), their ratio and the margin to the
// goal (set_html within 1.2 times the file's time plus 0.3 s); whether
// every page arrived whole.
QJsonArray largeHtmlFigures(const QJsonObject &group);

// Judges the figures against their targets, prints the table and writes
// everything as JSON to path.
void report(QJsonArray figures, const QJsonObject &machine, const QJsonObject &details,
    const std::string &path);

} // namespace bench

#endif // KIV_BENCH_REPORT_H
