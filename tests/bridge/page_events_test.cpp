// Page to host: items the page queues arrive as "js-evt" events, each once,
// in queue order, while the library runs the loop.
#include "page_queries.h"
#include "test_support.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace kivtest;

TEST(PageEvents, OneSentObjectGivesExactlyOneEvent)
{
    const int wv = createWindowWithHtml("<p>x</p>");
    EXPECT_EQ(kiv_webview_run_js(wv,
                  "{ let o = {zeta: 1, alpha: 'a', mid: {b: [1, 2], a: null}};"
                  "  window.kiv_send_event(o); }"),
        oke);
    const std::string expected
        = R"({"event":"js-evt","js-evt":{"alpha":"a","mid":{"a":null,"b":[1,2]},"zeta":1}})";
    ASSERT_TRUE(pumpUntil([&] { return !eventsNamed(wv, QStringLiteral("js-evt")).empty(); }));
    // Many more polls: the item is delivered once only.
    kiv_webview_process_events(300);
    const std::vector<std::string> after = pageEventTexts(wv);
    EXPECT_EQ(after, std::vector<std::string> {expected});
}

TEST(PageEvents, QueuedItemsArriveInOrderWhicheverWayTheyWereQueued)
{
    const int wv = createWindowWithHtml("<p>x</p>");
    // Three items queued by one script, so between two polls.
    kiv_webview_run_js(wv,
        "window.kiv_send_event({i: 1}); window.kiv_send_event({i: 2});"
        "window.kiv_send_event({i: 3});");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 3; }));
    // Pushed straight onto the queue, without the function.
    kiv_webview_run_js(wv, "window.kiv_event_queue.push({i: 4}, {i: 5});");
    // Queued by the page's own timer.
    kiv_webview_run_js(wv, "setTimeout(() => window.kiv_send_event({i: 6}), 50);");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 6; }));
    kiv_webview_process_events(200);
    EXPECT_EQ(itemsOf(wv),
        (std::vector<std::string> {
            R"({"i":1})", R"({"i":2})", R"({"i":3})", R"({"i":4})", R"({"i":5})", R"({"i":6})"}));
}

TEST(PageEvents, ItemsThatAreNotObjectsArriveAsEmptyObjects)
{
    const int wv = createWindowWithHtml("<p>x</p>");
    kiv_webview_run_js(wv,
        "for (const item of ['text', 42, [1, 2], null, undefined, true, {last: 1}])"
        "  window.kiv_send_event(item);");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 7; }));
    kiv_webview_process_events(100);
    const std::vector<std::string> texts = pageEventTexts(wv);
    const std::string empty = R"({"event":"js-evt","js-evt":{}})";
    EXPECT_EQ(texts,
        (std::vector<std::string> {empty, empty, empty, empty, empty, empty,
            R"({"event":"js-evt","js-evt":{"last":1}})"}));
}

TEST(PageEvents, NonAsciiArrivesAsUtf8)
{
    const int wv = createWindowWithHtml("<meta charset='utf-8'><p>x</p>");
    // Sent once from the host's UTF-8 code, once from an escape in the page.
    kiv_webview_run_js(wv,
        "window.kiv_send_event({s: '\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80'});"
        "window.kiv_send_event({s: '\\u00e4\\u20ac\\ud83d\\ude00', 'k\\u00e9y': 1});");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 2; }));
    const std::vector<std::string> texts = pageEventTexts(wv);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0],
        "{\"event\":\"js-evt\",\"js-evt\":{\"s\":\"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\"}}");
    EXPECT_EQ(texts[1],
        "{\"event\":\"js-evt\",\"js-evt\":{\"k\xC3\xA9y\":1,\"s\":"
        "\"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\"}}");
}

TEST(PageEvents, EachWindowGetsOnlyItsOwnPagesEvents)
{
    const int a = createWindowWithHtml("<p>a</p>");
    const int b = createWindowWithHtml("<p>b</p>");
    kiv_webview_run_js(a, "window.kiv_send_event({from: 'a'});");
    kiv_webview_run_js(b, "window.kiv_send_event({from: 'b'});");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(a).size() >= 1 && itemsOf(b).size() >= 1; }));
    kiv_webview_process_events(100);
    EXPECT_EQ(itemsOf(a), std::vector<std::string> {R"({"from":"a"})"});
    EXPECT_EQ(itemsOf(b), std::vector<std::string> {R"({"from":"b"})"});
}

namespace {

int closedFromCallback = 0;
bool validAfterClose = true;

// Closes the window at its first page event.
void closeAtFirstItem(kiv_event_t *event)
{
    const int wv = event->wv;
    const bool item = QJsonDocument::fromJson(event->event).object().value("event") == "js-evt";
    recordEvent(event);
    if (item && closedFromCallback == 0) {
        closedFromCallback = wv;
        kiv_webview_close(wv);
        validAfterClose = kiv_webview_valid(wv);
    }
}

} // namespace

TEST(PageEvents, AWindowLeftTheRegistryIsNoLongerPolled)
{
    const int wv = kiv_webview_create(0, closeAtFirstItem);
    const int witness = createWindowWithHtml("<p>witness</p>");
    kiv_webview_set_html(wv, "<p>ticking</p>");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));
    // The page queues an item every millisecond, before and after the close.
    kiv_webview_run_js(wv, "let n = 0; setInterval(() => window.kiv_send_event({n: n++}), 1);");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("closed"), 20000));
    EXPECT_EQ(closedFromCallback, wv);
    EXPECT_FALSE(validAfterClose);
    const size_t count = eventsOf(wv).size();
    EXPECT_EQ(eventsOf(wv).back(), R"({"event":"closed"})");

    // Other windows are still polled, this one not.
    kiv_webview_run_js(
        witness, "let n = 0; setInterval(() => window.kiv_send_event({n: n++}), 1);");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(witness).size() >= 20; }));
    EXPECT_EQ(eventsOf(wv).size(), count);
    EXPECT_EQ(eventsOf(wv).back(), R"({"event":"closed"})");
}

namespace {

std::vector<int> bigItems;
int bigLoads = 0;

void recordIndexes(kiv_event_t *event)
{
    const QJsonObject object = QJsonDocument::fromJson(event->event).object();
    if (object.value("event") == "js-evt")
        bigItems.push_back(object.value("js-evt").toObject().value("i").toInt(-1));
    else if (object.value("event") == "page-loaded")
        ++bigLoads;
    kiv_webview_destroy_event(event);
}

} // namespace

TEST(PageEvents, AHundredThousandQueuedItemsAllArriveInOrder)
{
    constexpr int count = 100000;
    const int wv = kiv_webview_create(0, recordIndexes);
    kiv_webview_set_html(wv, "<p>many</p>");
    ASSERT_TRUE(pumpUntil([] { return bigLoads > 0; }));
    // One script queues them all, so one poll takes them all.
    kiv_webview_run_js(
        wv, "for (let i = 0; i < 100000; i++) window.kiv_send_event({i: i, pad: 'xxxxxxxx'});");
    ASSERT_TRUE(pumpUntil([] { return bigItems.size() >= count; }, 120000))
        << bigItems.size() << " items arrived";
    kiv_webview_process_events(200);
    ASSERT_EQ(bigItems.size(), size_t(count));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(bigItems[i], i) << "at position " << i;
}
