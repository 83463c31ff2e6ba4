// A callback that keeps every record it gets and gives them back later.
#include "test_support.h"
#include "window_queries.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace kivtest;

namespace {
std::vector<kiv_event_t *> kept;
void keepEvent(kiv_event_t *event)
{
    kept.push_back(event);
}
} // namespace

TEST(KeptRecords, TenThousandEventsKeptAndFreedLater)
{
    constexpr int count = 10000;
    const int wv = kiv_webview_create(0, keepEvent);
    ASSERT_EQ(kiv_webview_set_html(wv, "<p>many</p>"), oke);
    auto jsEvents = [] {
        size_t n = 0;
        for (kiv_event_t *e : kept)
            n += std::strstr(e->event, R"("event":"js-evt")") != nullptr;
        return n;
    };
    ASSERT_TRUE(pumpUntil([] {
        for (kiv_event_t *e : kept)
            if (std::strstr(e->event, "page-loaded"))
                return true;
        return false;
    }));
    ASSERT_EQ(kiv_webview_run_js(wv,
                  "for (let i = 0; i < 10000; ++i) window.kiv_send_event({i: i, pad: 'k'.repeat(i "
                  "% 64)});"),
        oke);
    ASSERT_TRUE(pumpUntil([&] { return jsEvents() >= size_t(count); }, 120000))
        << jsEvents() << " of " << count << " arrived";

    // More work while the records are held: they stay intact.
    EXPECT_EQ(callJs(wv, "return 1;").status, oke);
    kiv_webview_close(wv);
    int next = 0;
    for (kiv_event_t *e : kept) {
        ASSERT_EQ(e->wv, wv);
        const QJsonObject o = parseObject(e->event);
        if (o.value("event").toString() != QStringLiteral("js-evt"))
            continue;
        const QJsonObject item = o.value("js-evt").toObject();
        ASSERT_EQ(item.value("i").toInt(-1), next) << e->event;
        ASSERT_EQ(item.value("pad").toString().size(), next % 64);
        ++next;
    }
    EXPECT_EQ(next, count);
    EXPECT_STREQ(kept.back()->event, R"({"event":"closed"})");

    // Given back in a different order than received, with both functions.
    for (size_t i = 0; i < kept.size(); i += 2)
        EXPECT_EQ(kiv_webview_destroy_event(kept[i]), 0);
    for (size_t i = 1; i < kept.size(); i += 2)
        EXPECT_EQ(kiv_webview_destroy_js_result(reinterpret_cast<kiv_js_result_t *>(kept[i])), 0);
    kept.clear();
}
