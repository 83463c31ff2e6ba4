// Group "memory": PSS of the process tree with 1 and 10 windows, and over
// 100 create/close cycles.
#include "groups.h"
#include "library_host.h"
#include "process_tree.h"

#include <QJsonArray>

#include <utility>

namespace bench {

namespace {

double settledPss()
{
    kiv_webview_process_events(1500);
    return treePssMiB();
}

// The least-squares slope of y over x.
double slope(const std::vector<std::pair<double, double>> &samples)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto &[x, y] : samples) {
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double n = static_cast<double>(samples.size());
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

// 100 create/close cycles next to the remaining window; PSS is sampled
// every 10 cycles and the trend fitted from the 20th cycle on (the first
// ones fill the engine's caches).
QJsonArray cycleCurve(double &trendPer100)
{
    QJsonArray curve;
    std::vector<std::pair<double, double>> samples;
    for (int c = 1; c <= 100; ++c) {
        kiv_webview_close(openLoadedWindow());
        if (c % 10 == 0) {
            const double pss = settledPss();
            curve.append(QJsonArray {c, pss});
            if (c >= 20)
                samples.emplace_back(c, pss);
        }
    }
    trendPer100 = slope(samples) * 100.0;
    return curve;
}

} // namespace

QJsonObject runMemory(const GroupOptions &)
{
    QJsonArray figures;
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

    double trend = 0;
    const QJsonArray curve = cycleCurve(trend);
    figures.append(single("pss_after_cycles", "PSS after 100 create/close cycles", "MiB",
        curve.last().toArray().at(1).toDouble()));
    figures.append(
        single("pss_growth_per_100", "PSS trend, cycles 20-100 (per 100 cycles)", "MiB", trend));
    return QJsonObject {{"figures", figures}, {"pss_curve", curve}};
}

} // namespace bench
