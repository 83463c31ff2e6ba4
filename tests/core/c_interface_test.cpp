// The C interface: creation on first use, the pump, records and texts.
#include "failure_values.h"
#include "kivwebview_qt_class.h"
#include "test_support.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace kivtest;

namespace {

} // namespace

TEST(CInterface, FirstCallOnAnUnknownHandleCreatesTheLibraryAndFails)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(Outcome::of(kiv_webview_set_url(5, "https://127.0.0.1/")),
        failureOf("kiv_webview_set_url"));
    ASSERT_NE(qobject_cast<QApplication *>(QCoreApplication::instance()), nullptr);
    EXPECT_EQ(QCoreApplication::instance()->thread(), QThread::currentThread());
    EXPECT_FALSE(kiv_webview_valid(5));
}

TEST(CInterface, SecondInitRunsNoSlice)
{
    kiv_webview_init();
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    kiv_webview_init();
    EXPECT_FALSE(fired) << "a second init ran the event loop";
    kiv_webview_process_events(20);
    EXPECT_TRUE(fired);
}

TEST(CInterface, ProcessEventsRunsForTheRequestedTime)
{
    kiv_webview_init();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(0);

    auto start = std::chrono::steady_clock::now();
    kiv_webview_process_events(0);
    kiv_webview_process_events(-50);
    EXPECT_LT(msSince(start), 50);
    EXPECT_EQ(ticks, 0) << "no slice may run for 0 or a negative time";

    start = std::chrono::steady_clock::now();
    kiv_webview_process_events(100);
    const long long elapsed = msSince(start);
    EXPECT_GE(elapsed, 99);
    EXPECT_LT(elapsed, 1000);
    EXPECT_GT(ticks, 10) << "the loop hardly ran";
}

TEST(CInterface, NullTextsCountAsEmptyStrings)
{
    const int wv = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(wv, 1);
    EXPECT_EQ(kiv_webview_set_title(wv, nullptr), oke);
    EXPECT_EQ(kiv_webview_set_html(wv, nullptr), oke);
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));
    EXPECT_EQ(kiv_webview_run_js(wv, nullptr), oke);
    CallResult r = callJs(wv, nullptr);
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true})");
    EXPECT_EQ(kiv_webview_set_url(wv, nullptr), oke);
    kiv_webview_set_ou_token(wv, nullptr);
    EXPECT_TRUE(kiv_webview_valid(wv));
}

TEST(CInterface, InvalidUtf8IsReadWithReplacementCharacters)
{
    const int wv = createWindowWithHtml("<p>x</p>");
    const char bad[] = {'r', 'e', 't', 'u', 'r', 'n', ' ', '\'', 'a', '\xff', 'b', '\'', ';', 0};
    CallResult r = callJs(wv, bad);
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value,
        "{\"exn\":false,\"oke\":true,\"result\":\"a\xEF\xBF\xBD"
        "b\"}");
}

TEST(CInterface, RecordsAreFreedByEitherFreeFunction)
{
    const int wv = createWindowWithHtml("<p>x</p>");
    kiv_js_result_t *r = kiv_webview_call_js(wv, "return 1;");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(kiv_webview_destroy_event(reinterpret_cast<kiv_event_t *>(r)), 0);
    kiv_js_result_t *failed = kiv_webview_call_js(999, "return 1;");
    EXPECT_EQ(failed->result, eval_js_failed);
    EXPECT_STREQ(failed->value, "false");
    EXPECT_EQ(kiv_webview_destroy_js_result(failed), 0);
    EXPECT_EQ(kiv_webview_destroy_event(nullptr), 0);
    EXPECT_EQ(kiv_webview_destroy_js_result(nullptr), 0);

    // An event record handed back through the result function.
    static std::vector<kiv_event_t *> kept;
    const int other = kiv_webview_create(0, [](kiv_event_t *e) { kept.push_back(e); });
    ASSERT_FALSE(kept.empty());
    for (kiv_event_t *e : kept) {
        EXPECT_EQ(e->wv, other);
        EXPECT_EQ(kiv_webview_destroy_js_result(reinterpret_cast<kiv_js_result_t *>(e)), 0);
    }
}

TEST(CInterface, UnknownHandlesGetTheirFailureValues)
{
    // No window was ever opened.
    kiv_webview_init();
    for (int wv : {0, -1, 7, INT_MIN, INT_MAX})
        EXPECT_TRUE(everyCallFails(wv));
}

TEST(CInterface, NullCallbackDropsEvents)
{
    const int wv = kiv_webview_create(0, nullptr);
    ASSERT_EQ(wv, 1);
    EXPECT_EQ(kiv_webview_set_html(wv, "<p>quiet</p>"), oke);
    kiv_webview_move(wv, 50, 60);
    kiv_webview_process_events(800);
    CallResult r = callJs(wv, "return document.body.textContent;");
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":"quiet"})");
    kiv_webview_close(wv);
    EXPECT_FALSE(kiv_webview_valid(wv));
}

TEST(CInterface, CallsFromAnotherThreadFailAtOnce)
{
    const int wv = createWindowWithHtml("<p>x</p>");
    // On an open window, each function returns what it returns on a handle
    // that names none, but for the texts of the records.
    RecordTexts wrongThread;
    wrongThread.callJs = R"({"exn":"called from a thread other than the library's thread",)"
                         R"("oke":false,"result":false})";
    wrongThread.dialog = R"({"error":"called from a thread other than the library's thread"})";
    int created = -1;
    testing::AssertionResult everyCallFailed = testing::AssertionFailure();
    std::thread other([&] {
        created = kiv_webview_create(0, recordEvent);
        everyCallFailed = everyCallFails(wv, wrongThread); // kiv_webview_close among them
        kiv_webview_process_events(10);
    });
    other.join();
    EXPECT_EQ(created, 0);
    EXPECT_TRUE(everyCallFailed);
    EXPECT_TRUE(kiv_webview_valid(wv)) << "the foreign close reached the window";
    EXPECT_EQ(kiv_webview_hide(wv), oke);
}
