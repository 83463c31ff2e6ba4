// Groups "events" and "latency": items a page sends, on their way to the
// host's callback.
#include "floor_host.h"
#include "groups.h"
#include "library_host.h"
#include "poll_counter.h"

#include <QJsonArray>

#include <algorithm>

namespace bench {

namespace {

const int batchItems = 100000;

struct BatchRates
{
    std::vector<double> queue, send, delivery, floorPoll;
};

// One batch: the clock runs from the script that queues the items until the
// last "js-evt" has reached the callback (poll, transfer, parse and
// delivery), whose text must be the last item's.
void runBatch(int wv, const char *script, std::vector<double> &rates, std::vector<double> *delivery)
{
    static const std::string lastText = "{\"event\":\"js-evt\",\"js-evt\":{\"i\":"
        + std::to_string(batchItems - 1) + ",\"s\":\"x\"}}";
    host.jsEvents = 0;
    host.expectedJsEvents = batchItems;
    host.expectedLastText = lastText.c_str();
    host.lastTextMatched = false;
    const double t0 = nowMs();
    kiv_webview_run_js(wv, script);
    pumpUntil([&] { return host.jsEvents >= batchItems; }, 300000, "the batch of js-evt");
    if (host.jsEvents != batchItems || !host.lastTextMatched)
        fail("the batch arrived incomplete or changed");
    rates.push_back(batchItems / ((host.lastJsEventAt - t0) / 1000.0));
    if (delivery)
        delivery->push_back(
            batchItems / (std::max(host.lastJsEventAt - host.firstJsEventAt, 0.001) / 1000.0));
    host.expectedLastText = nullptr;
}

QJsonArray batchFigures(const BatchRates &r)
{
    return QJsonArray {figure("events_per_s", "100k queued items -> last callback", "events/s",
                           summarize(r.queue)),
        figure("events_per_s_delivery", "100k items: first -> last callback", "events/s",
            summarize(r.delivery)),
        figure("floor_poll_per_s", "floor: 100k items as JSON text, plain view", "items/s",
            summarize(r.floorPoll)),
        figure("events_per_s_send", "100k kiv_send_event calls -> last callback", "events/s",
            summarize(r.send))};
}

} // namespace

double phaseDelayMs(int sample)
{
    // A fixed sequence spread evenly over 0 to 5 ms (golden-ratio steps).
    const double x = 0.6180339887498949 * (sample + 1);
    return 5.0 * (x - static_cast<int>(x));
}

// The items are built in the page first; one script then puts them all on
// the page's queue. A second form makes the 100,000 kiv_send_event calls in
// that script, which adds the page's own cost of the calls (each writes a
// console message). The floor takes the same items from a plain view's page
// as JSON text.
QJsonObject runEvents(const GroupOptions &opt)
{
    const int wv = openLoadedWindow();
    FloorView floor;
    const std::string count = std::to_string(batchItems);
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
    floor.run(QString::fromStdString("(function() {" + build + "})()"));
    if (floor.answer.toInt() != batchItems)
        fail("the floor page did not build the items");

    PollCounter::restart();
    const double t0 = nowMs();
    BatchRates r;
    const QString rawPoll = QStringLiteral("JSON.stringify(window.kiv_bench_items)");
    for (int b = 0; b < (opt.quick ? 3 : 7); ++b) {
        runBatch(wv, handOver, r.queue, &r.delivery);
        runBatch(wv, viaSend.c_str(), r.send, nullptr);
        const double ms = floor.run(rawPoll);
        if (floor.answer.toString().size() < batchItems * 10)
            fail("the floor poll answered too little");
        r.floorPoll.push_back(batchItems / (ms / 1000.0));
    }
    PollCounter::requirePolls("during the batches");
    const PollCounts polls = PollCounter::counts();
    kiv_webview_close(wv);
    return QJsonObject {{"figures", batchFigures(r)},
        {"polls", PollCounter::toJson(polls, (nowMs() - t0) / 1000.0)}};
}

// From the script that sends one event to the callback, pumping as a host
// would, after a delay that puts the send at another phase of the poll.
QJsonObject runLatency(const GroupOptions &opt)
{
    const int wv = openLoadedWindow();
    pumpFor(1000);
    PollCounter::restart();
    const double t0 = nowMs();
    std::vector<double> latency;
    const int singles = opt.quick ? 60 : 200;
    for (int i = 0; i < singles; ++i) {
        const double until = nowMs() + phaseDelayMs(i);
        while (nowMs() < until)
            kiv_webview_process_events(1);
        host.jsEvents = 0;
        host.expectedJsEvents = 0;
        const double sent = nowMs();
        kiv_webview_run_js(wv, "window.kiv_send_event({n: 1});");
        pumpUntil([] { return host.jsEvents >= 1; }, 30000, "a single js-evt");
        latency.push_back(host.firstJsEventAt - sent);
    }
    PollCounter::requirePolls("while single events were sent");
    const PollCounts polls = PollCounter::counts();
    return QJsonObject {{"samples", toJsonArray(latency)},
        {"polls", PollCounter::toJson(polls, (nowMs() - t0) / 1000.0)}};
}

} // namespace bench
