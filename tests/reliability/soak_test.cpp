// Soak: one process opens and closes many windows (300; 100 in the
// sanitizer build, whose every window costs three times as much and whose
// leak check at the end covers them all alike), each loading a page,
// sending an event from the page and answering a call.
#include "test_support.h"
#include "window_queries.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>

using namespace kivtest;

TEST(Soak, ManyWindowsOpenWorkAndCloseWithoutReuseOrLoss)
{
    constexpr int windows = SOAK_WINDOWS;
    const auto start = std::chrono::steady_clock::now();
    std::set<int> handles;
    int previous = 0;
    for (int i = 0; i < windows; ++i) {
        const int wv = kiv_webview_create(0, recordEvent);
        ASSERT_GT(wv, previous) << "handle reused or out of order at window " << i;
        ASSERT_TRUE(handles.insert(wv).second);
        previous = wv;

        const std::string html
            = "<title>soak " + std::to_string(i) + "</title><p id=n>" + std::to_string(i) + "</p>";
        ASSERT_EQ(kiv_webview_set_html(wv, html.c_str()), oke);
        ASSERT_TRUE(waitForCount(wv, "page-loaded", 1)) << "window " << i << " never loaded";

        const std::string send
            = "window.kiv_send_event({n: " + std::to_string(i) + ", s: 'soak'});";
        ASSERT_EQ(kiv_webview_run_js(wv, send.c_str()), oke);
        const CallResult answer
            = callJs(wv, "return Number(document.getElementById('n').textContent) * 2;");
        ASSERT_EQ(answer.status, oke) << answer.value;
        EXPECT_EQ(parseObject(answer.value).value("result").toInt(-1), 2 * i) << answer.value;
        ASSERT_TRUE(waitForCount(wv, "js-evt", 1)) << "window " << i << " sent nothing";
        const QJsonObject item = eventsNamed(wv, QStringLiteral("js-evt")).front();
        EXPECT_EQ(item.value("js-evt").toObject().value("n").toInt(-1), i);

        kiv_webview_close(wv);
        ASSERT_FALSE(kiv_webview_valid(wv));
    }
    kiv_webview_process_events(500);

    // Every window saw its "closed" last and once, and nothing after it.
    for (int wv : handles) {
        const std::vector<std::string> seen = eventsOf(wv);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), R"({"event":"closed"})") << "window " << wv;
        EXPECT_EQ(countOf(wv, "closed"), 1u) << "window " << wv;
        EXPECT_EQ(countOf(wv, "page-loaded"), 1u) << "window " << wv;
        EXPECT_FALSE(kiv_webview_valid(wv));
    }
    // The windows are destroyed, not just hidden; a new one gets a new handle.
    EXPECT_TRUE(pumpUntil([] { return browserWindowCount() == 0; }, 30000))
        << browserWindowCount() << " windows are still alive";
    const int next = kiv_webview_create(0, nullptr);
    EXPECT_EQ(next, previous + 1);
    kiv_webview_close(next);

    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("soak: %d windows opened, loaded, evented, called and closed in %.1f s "
                "(%.0f ms per window)\n",
        windows, seconds, 1000.0 * seconds / windows);
}
