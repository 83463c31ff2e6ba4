// Group "large-html": kiv_webview_set_html of large pages against the same
// bytes loaded from a file URL (the engine's own floor for a page of that
// size), in one process, the two loads alternating so that both see the
// same machine load. Each load runs in a fresh window, from the call to the
// window's "page-loaded", and is then checked to have arrived whole.
// Also: a 10 KiB set_html alone (small pages), and the peak resident memory
// of this process around a 16 MiB set_html.
#include "groups.h"
#include "library_host.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

namespace {

// "text" is one long run of characters in one paragraph; "elements" is a
// <div> with two children, repeated. Both end in a marker element, and the
// check counts what the page holds against what was sent.
enum class PageKind { text, elements };

struct Row
{
    PageKind kind;
    qint64 bytes;
    const char *key;
};

const Row rows[] = {
    {PageKind::text, 64 << 10, "text_64k"},
    {PageKind::elements, 64 << 10, "elements_64k"},
    {PageKind::text, 1 << 20, "text_1m"},
    {PageKind::elements, 1 << 20, "elements_1m"},
    {PageKind::text, 3 << 20, "text_3m"},
    {PageKind::elements, 3 << 20, "elements_3m"},
    {PageKind::elements, 16 << 20, "elements_16m"},
    {PageKind::text, 16 << 20, "text_16m"},
};

const char pageHead[] = "<!doctype html><html><head><meta charset=\"utf-8\">"
                        "<title>large</title></head><body>";
const char pageTail[] = "<p id=\"end\">end</p></body></html>";
const char elementUnit[] = "<div><span>a</span><b>b</b></div>\n";

struct Page
{
    std::string html;
    qint64 units = 0; // characters of the run, or elements repeated
};

Page makePage(PageKind kind, qint64 bytes)
{
    Page page;
    page.html.reserve(static_cast<size_t>(bytes) + 256);
    page.html = pageHead;
    const qint64 fixed = static_cast<qint64>(page.html.size() + std::strlen(pageTail));
    if (kind == PageKind::text) {
        page.html += "<p id=\"run\">";
        page.units = bytes - fixed - 16;
        for (qint64 i = 0; i < page.units; ++i)
            page.html += static_cast<char>('a' + i % 26);
        page.html += "</p>";
    } else {
        const qint64 unit = static_cast<qint64>(std::strlen(elementUnit));
        page.units = (bytes - fixed) / unit;
        for (qint64 i = 0; i < page.units; ++i)
            page.html += elementUnit;
    }
    page.html += pageTail;
    return page;
}

// What the page holds, in the same units as Page::units; -1 when the end
// marker is missing (the page did not arrive whole).
QString countScript(PageKind kind)
{
    return kind == PageKind::text
        ? QStringLiteral("if (!document.getElementById('end')) return -1;"
                         " return document.getElementById('run').textContent.length;")
        : QStringLiteral("if (!document.getElementById('end')) return -1;"
                         " return document.body.getElementsByTagName('div').length;");
}

double pageUnitsSeen(int wv, PageKind kind)
{
    kiv_js_result_t *r = kiv_webview_call_js(wv, countScript(kind).toUtf8().constData());
    const QJsonObject answer = QJsonDocument::fromJson(r->value).object();
    kiv_webview_destroy_js_result(r);
    return answer.value("oke").toBool() ? answer.value("result").toDouble(-2) : -2;
}

struct Load
{
    double ms = 0;
    bool whole = false;
    double seen = 0;
};

// One load in a fresh window: from the call to "page-loaded", then the check.
Load loadOnce(const Page &page, PageKind kind, const QByteArray &fileUrl)
{
    const int wv = kiv_webview_create(0, onEvent);
    if (wv <= 0)
        fail("kiv_webview_create failed");
    kiv_webview_process_events(300); // the window settles before the clock starts
    const int before = host.pageLoaded;
    const double t0 = nowMs();
    const result_t r = fileUrl.isEmpty() ? kiv_webview_set_html(wv, page.html.c_str())
                                         : kiv_webview_set_url(wv, fileUrl.constData());
    if (r != oke)
        fail("the load call failed");
    pumpUntil([&] { return host.pageLoaded > before; }, 600000, "page-loaded of a large page");
    Load load;
    load.ms = host.lastPageLoadedAt - t0;
    load.seen = pageUnitsSeen(wv, kind);
    load.whole = load.seen == static_cast<double>(page.units);
    kiv_webview_close(wv);
    kiv_webview_process_events(500); // the renderer goes before the next load
    return load;
}

QJsonObject measureRow(const Row &row, int pairs, const QString &dir)
{
    const Page page = makePage(row.kind, row.bytes);
    const QString path
        = dir + QStringLiteral("/") + QString::fromLatin1(row.key) + QStringLiteral(".html");
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        out.write(page.html.data(), static_cast<std::streamsize>(page.html.size()));
    }
    const QByteArray fileUrl = QUrl::fromLocalFile(path).toEncoded();
    std::vector<double> html, file, ratios;
    bool whole = true;
    QJsonArray seen;
    for (int i = 0; i < pairs; ++i) {
        // Alternate which of the two goes first.
        Load a, b;
        if (i % 2 == 0) {
            a = loadOnce(page, row.kind, {});
            b = loadOnce(page, row.kind, fileUrl);
        } else {
            b = loadOnce(page, row.kind, fileUrl);
            a = loadOnce(page, row.kind, {});
        }
        html.push_back(a.ms);
        file.push_back(b.ms);
        ratios.push_back(a.ms / b.ms);
        whole = whole && a.whole && b.whole;
        seen.append(QJsonArray {a.seen, b.seen});
        std::fprintf(stderr, "%-13s set_html %8.0f ms  file %8.0f ms  ratio %.2f%s\n", row.key,
            a.ms, b.ms, a.ms / b.ms, a.whole && b.whole ? "" : "  NOT WHOLE");
    }
    QFile::remove(path);
    const double htmlMs = median(html), fileMs = median(file);
    return QJsonObject {{"key", row.key},
        {"kind", row.kind == PageKind::text ? "text" : "elements"},
        {"bytes", static_cast<double>(page.html.size())},
        {"units", static_cast<double>(page.units)}, {"set_html_ms", toJsonArray(html)},
        {"file_ms", toJsonArray(file)}, {"ratio", toJsonArray(ratios)},
        {"set_html_median_ms", htmlMs}, {"file_median_ms", fileMs},
        {"ratio_of_medians", htmlMs / fileMs},
        // The goal: within 1.2 times the file's time plus 0.3 s.
        {"within_goal", htmlMs <= 1.2 * fileMs + 300.0}, {"whole", whole}, {"seen", seen}};
}

// The largest resident set this process has had so far (VmHWM), in MiB.
double peakRssMiB()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Resets the peak to the current resident set (Linux 4.0 and later).
void resetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace

QJsonObject runLargeHtml(const GroupOptions &opt)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        fail("no temporary directory");
    const int pairs = opt.repeats > 0 ? opt.repeats : (opt.quick ? 1 : 3);
    QJsonArray out;
    for (const Row &row : rows) {
        if (!opt.rows.empty()
            && ("," + opt.rows + ",").find("," + std::string(row.key) + ",") == std::string::npos)
            continue;
        out.append(measureRow(row, pairs, dir.path()));
    }
    return QJsonObject {{"rows", out}};
}

QJsonObject runSmallHtml(const GroupOptions &opt)
{
    // A 10 KiB page in a window that stays: the call, and the call to
    // page-loaded.
    const Page page = makePage(PageKind::elements, 10 << 10);
    const int wv = kiv_webview_create(0, onEvent);
    kiv_webview_process_events(300);
    std::vector<double> call, loaded;
    const int n = opt.quick ? 20 : 60;
    for (int i = 0; i < n; ++i) {
        const int before = host.pageLoaded;
        const double t0 = nowMs();
        kiv_webview_set_html(wv, page.html.c_str());
        const double t1 = nowMs();
        pumpUntil([&] { return host.pageLoaded > before; }, 60000, "page-loaded");
        call.push_back(t1 - t0);
        loaded.push_back(host.lastPageLoadedAt - t0);
    }
    const bool whole = pageUnitsSeen(wv, PageKind::elements) == static_cast<double>(page.units);
    kiv_webview_close(wv);
    return QJsonObject {
        {"call_ms", toJsonArray(call)}, {"loaded_ms", toJsonArray(loaded)}, {"whole", whole}};
}

QJsonObject runLargeHtmlMemory(const GroupOptions &)
{
    // The peak resident memory of the host process (which holds the
    // engine's browser side) from the call of a 16 MiB set_html to its
    // page-loaded, above what it held just before the call.
    const int wv = kiv_webview_create(0, onEvent);
    kiv_webview_process_events(500);
    Page page = makePage(PageKind::elements, 16 << 20);
    const double pageMiB = static_cast<double>(page.html.size()) / (1 << 20);
    resetPeakRss();
    const double before = peakRssMiB();
    const int loads = host.pageLoaded;
    kiv_webview_set_html(wv, page.html.c_str());
    const double afterCall = peakRssMiB();
    pumpUntil([&] { return host.pageLoaded > loads; }, 600000, "page-loaded");
    const double peak = peakRssMiB();
    const bool whole = pageUnitsSeen(wv, PageKind::elements) == static_cast<double>(page.units);
    kiv_webview_close(wv);
    return QJsonObject {{"page_mib", pageMiB}, {"rss_before_mib", before},
        {"peak_during_call_mib", afterCall}, {"peak_to_loaded_mib", peak},
        {"peak_above_before_mib", peak - before}, {"whole", whole}};
}

} // namespace bench
