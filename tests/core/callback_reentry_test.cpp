// What the library functions do when a host calls them from inside a callback.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace kivtest;

namespace {

struct Reentry
{
    int wv = 0;
    bool done = false;
    int titleResult = -100;
    int stateResult = -100;
    std::string callText;
    int callStatus = -100;
    bool validAfterClose = true;
    long long sleptMs = -1;
    size_t eventsDuringSleep = 0;
} reentry;

void reenteringCallback(kiv_event_t *event)
{
    const std::string text = event->event;
    const int wv = event->wv;
    recordEvent(event);
    if (text != R"({"event":"page-loaded","oke":true})" || reentry.done)
        return;
    reentry.done = true;
    reentry.titleResult = kiv_webview_set_title(wv, "from a callback");
    reentry.stateResult = kiv_webview_window_state(wv);
    kiv_js_result_t *r = kiv_webview_call_js(wv, "return 1;");
    reentry.callStatus = r->result;
    reentry.callText = r->value;
    kiv_webview_destroy_js_result(r);

    const size_t before = events().size();
    auto start = std::chrono::steady_clock::now();
    kiv_webview_process_events(60);
    reentry.sleptMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start)
                          .count();
    reentry.eventsDuringSleep = events().size() - before;

    kiv_webview_close(wv);
    reentry.validAfterClose = kiv_webview_valid(wv);
}

} // namespace

TEST(CallbackReentry, WaitingFunctionsInsideACallbackNeverHang)
{
    const int wv = kiv_webview_create(0, reenteringCallback);
    reentry.wv = wv;
    kiv_webview_set_html(wv, "<p>x</p>");
    ASSERT_TRUE(pumpUntil([] { return reentry.done; }, 20000));
    EXPECT_EQ(reentry.titleResult, oke);
    EXPECT_NE(reentry.stateResult, invalid);
    EXPECT_EQ(reentry.callStatus, eval_js_failed);
    EXPECT_EQ(parseObject(reentry.callText).value("oke").toBool(true), false);
    EXPECT_FALSE(parseObject(reentry.callText).value("exn").toString().isEmpty());
    EXPECT_GE(reentry.sleptMs, 59);
    EXPECT_EQ(reentry.eventsDuringSleep, 0u) << "a slice ran inside the callback";
    EXPECT_FALSE(reentry.validAfterClose);

    // The close takes effect once the callback has returned.
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("closed"), 5000));
    EXPECT_EQ(eventsOf(wv).back(), R"({"event":"closed"})");
    const int next = kiv_webview_create(0, recordEvent);
    EXPECT_EQ(next, wv + 1);
}

namespace {
int closingHandle = 0;
void closeOnRequest(kiv_event_t *event)
{
    const bool asked = std::string(event->event) == R"({"event":"can-close?"})";
    const int wv = event->wv;
    recordEvent(event);
    if (asked)
        kiv_webview_close(wv);
}
} // namespace

TEST(CallbackReentry, CloseFromTheCanCloseCallbackClosesTheWindow)
{
    closingHandle = kiv_webview_create(0, closeOnRequest);
    kiv_webview_set_title(closingHandle, "close me");
    kiv_webview_process_events(100);
    // Ask the window to close as its close button would; the xdotool search
    // runs while the library is not pumping, which is fine: X keeps the
    // request until the next slice.
    ASSERT_TRUE(requestClose("close me"));
    ASSERT_TRUE(waitForEvent(closingHandle, QStringLiteral("closed"), 10000));
    EXPECT_FALSE(kiv_webview_valid(closingHandle));
    const std::vector<std::string> texts = eventsOf(closingHandle);
    EXPECT_EQ(texts.back(), R"({"event":"closed"})");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), R"({"event":"hide"})"), 0);
}
