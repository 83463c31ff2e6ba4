// Bad input through every one of the 26 functions: handles that name no
// window, null pointers, text that is not UTF-8, 16 MiB texts, and records
// given back through either free function. Each call must return its
// documented value; the process must neither crash nor hang (and, in the
// sanitizer build, nor leak).
#include "failure_values.h"
#include "test_support.h"
#include "window_queries.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace kivtest;

namespace {

// A handle whose window has been closed.
int closedHandle()
{
    const int wv = kiv_webview_create(0, recordEvent);
    kiv_webview_close(wv);
    return wv;
}

const std::string sixteenMiB(16u << 20, 'x');

} // namespace

TEST(BadInput, HandlesThatNameNoWindowGetEachFunctionsFailureValue)
{
    const int open = createWindowWithHtml("<p>stays</p>");
    const int closed = closedHandle();
    const std::vector<int> bad {0, -1, INT_MIN, INT_MAX, closed, open + 1000};
    for (int wv : bad)
        EXPECT_TRUE(everyCallFails(wv));
    // A bad parent gives an ordinary top-level window, never a failure.
    for (int parent : bad) {
        const int wv = kiv_webview_create(parent, nullptr);
        EXPECT_GT(wv, open) << "parent " << parent;
        EXPECT_TRUE(kiv_webview_valid(wv));
        kiv_webview_close(wv);
    }
    // Durations that are no time at all return at once.
    kiv_webview_process_events(0);
    kiv_webview_process_events(-1);
    kiv_webview_process_events(INT_MIN);
    kiv_webview_init();

    // None of it reached the open window.
    EXPECT_TRUE(kiv_webview_valid(open));
    EXPECT_EQ(callJs(open, "return document.body.textContent;").value,
        R"({"exn":false,"oke":true,"result":"stays"})");
    EXPECT_EQ(countOf(open, "closed"), 0u);
}

TEST(BadInput, NullPointersInEveryPointerArgument)
{
    const int wv = kiv_webview_create(0, nullptr); // a null callback
    const int other = createWindowWithHtml("<p>other</p>");
    EXPECT_EQ(kiv_webview_set_url(wv, nullptr), oke);
    EXPECT_EQ(kiv_webview_set_html(wv, nullptr), oke);
    EXPECT_EQ(kiv_webview_run_js(wv, nullptr), oke);
    kiv_js_result_t *r = kiv_webview_call_js(wv, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->result, oke) << r->value; // an empty body returns undefined
    kiv_webview_destroy_js_result(r);
    EXPECT_EQ(kiv_webview_set_title(wv, nullptr), oke);
    kiv_webview_set_ou_token(wv, nullptr);
    EXPECT_EQ(kiv_webview_destroy_event(nullptr), 0);
    EXPECT_EQ(kiv_webview_destroy_js_result(nullptr), 0);
    // The dialogs with null texts, on a handle that names no window (with
    // an open one they would wait for a user).
    EXPECT_EQ(Outcome::of(kiv_webview_choose_dir(-1, nullptr, nullptr)),
        failureOf("kiv_webview_choose_dir"));
    EXPECT_EQ(Outcome::of(kiv_webview_file_open(-1, nullptr, nullptr, nullptr)),
        failureOf("kiv_webview_file_open"));
    EXPECT_EQ(Outcome::of(kiv_webview_file_save(-1, nullptr, nullptr, nullptr)),
        failureOf("kiv_webview_file_save"));
    // Null pointers on bad handles too.
    EXPECT_EQ(Outcome::of(kiv_webview_set_url(0, nullptr)), failureOf("kiv_webview_set_url"));
    EXPECT_EQ(Outcome::of(kiv_webview_set_html(0, nullptr)), failureOf("kiv_webview_set_html"));
    EXPECT_EQ(Outcome::of(kiv_webview_run_js(0, nullptr)), failureOf("kiv_webview_run_js"));
    EXPECT_EQ(Outcome::of(kiv_webview_call_js(0, nullptr)), failureOf("kiv_webview_call_js"));
    EXPECT_EQ(Outcome::of(kiv_webview_set_title(0, nullptr)), failureOf("kiv_webview_set_title"));
    kiv_webview_set_ou_token(0, nullptr);

    EXPECT_TRUE(kiv_webview_valid(wv));
    kiv_webview_close(wv);
    EXPECT_EQ(callJs(other, "return 6 * 7;").value, R"({"exn":false,"oke":true,"result":42})");
}

TEST(BadInput, TextThatIsNotUtf8IsReadWithReplacementCharacters)
{
    const char *broken[] = {"\xff", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xf4\x90\x80\x80",
        "\xc0\xaf", "a\x80z", "\xf0\x9f\x98"};
    const int wv = createWindowWithHtml("<p>start</p>");
    for (const char *b : broken) {
        const std::string at = QByteArray(b).toHex().toStdString();
        const std::string html = std::string("<p id=p>") + b + "</p>";
        const size_t loads = countOf(wv, "page-loaded");
        ASSERT_EQ(kiv_webview_set_html(wv, html.c_str()), oke) << at;
        ASSERT_TRUE(waitForCount(wv, "page-loaded", loads + 1)) << at;
        // What the page holds is valid text: replacement characters where
        // the bytes were broken, the valid characters around them kept.
        const CallResult text = callJs(wv,
            "const t = document.getElementById('p').textContent;"
            "return [t.includes('\\ufffd'), t.isWellFormed ? "
            "t.isWellFormed() : !/[\\ud800-\\udfff]/.test(t)];");
        EXPECT_EQ(text.value, R"({"exn":false,"oke":true,"result":[true,true]})") << at;

        const std::string js = std::string("window.kiv_send_event({b: '") + b + "'});";
        const size_t sent = countOf(wv, "js-evt");
        EXPECT_EQ(kiv_webview_run_js(wv, js.c_str()), oke) << at;
        EXPECT_TRUE(waitForCount(wv, "js-evt", sent + 1)) << at;
        const std::string call = std::string("return '") + b + "';";
        kiv_js_result_t *r = kiv_webview_call_js(wv, call.c_str());
        EXPECT_EQ(r->result, oke) << at << " " << r->value;
        EXPECT_NE(std::string(r->value).find("\xef\xbf\xbd"), std::string::npos) << at;
        kiv_webview_destroy_js_result(r);
        EXPECT_EQ(kiv_webview_set_title(wv, b), oke) << at;
        const size_t before = countOf(wv, "page-loaded");
        EXPECT_EQ(kiv_webview_set_url(wv, (std::string("about:blank#") + b).c_str()), oke) << at;
        EXPECT_TRUE(waitForCount(wv, "page-loaded", before + 1)) << at;
        kiv_webview_set_ou_token(wv, b);
        EXPECT_EQ(Outcome::of(kiv_webview_choose_dir(0, b, b)), failureOf("kiv_webview_choose_dir"))
            << at;
        EXPECT_EQ(
            Outcome::of(kiv_webview_file_open(0, b, b, b)), failureOf("kiv_webview_file_open"))
            << at;
        EXPECT_EQ(
            Outcome::of(kiv_webview_file_save(0, b, b, b)), failureOf("kiv_webview_file_save"))
            << at;
    }
    // Every event the page sent arrived as valid JSON with a replacement
    // character in place of the broken bytes.
    ASSERT_TRUE(waitForCount(wv, "js-evt", std::size(broken)));
    for (const QJsonObject &e : eventsNamed(wv, QStringLiteral("js-evt")))
        EXPECT_TRUE(e.value("js-evt").toObject().value("b").toString().contains(QChar(0xfffd)));
    kiv_webview_close(wv);
    EXPECT_EQ(eventsOf(wv).back(), R"({"event":"closed"})");
}

TEST(BadInput, SixteenMebibyteHtmlScriptAndTitle)
{
    const int wv = createWindowWithHtml("<p>small</p>");

    // A 16 MiB page: handed over, the window stays usable whether or not the
    // engine agrees to show that much.
    const std::string html = "<p>" + sixteenMiB + "</p>";
    EXPECT_EQ(kiv_webview_set_html(wv, html.c_str()), oke);
    kiv_webview_process_events(1000);
    EXPECT_TRUE(kiv_webview_valid(wv));

    // 16 MiB scripts run, with and without a result.
    const std::string big = "'" + sixteenMiB + "'";
    EXPECT_EQ(kiv_webview_run_js(wv, ("window.bigLength = " + big + ".length;").c_str()), oke);
    EXPECT_EQ(callJs(wv, ("return " + big + ".length;").c_str()).value,
        R"({"exn":false,"oke":true,"result":16777216})");
    EXPECT_EQ(callJs(wv, "return window.bigLength;").value,
        R"({"exn":false,"oke":true,"result":16777216})");
    // A 16 MiB result comes back whole.
    kiv_js_result_t *r = kiv_webview_call_js(wv, "return 'y'.repeat(16 * 1024 * 1024);");
    ASSERT_EQ(r->result, oke);
    EXPECT_EQ(std::strlen(r->value),
        16u * 1024 * 1024 + std::strlen(R"({"exn":false,"oke":true,"result":""})"));
    kiv_webview_destroy_event(reinterpret_cast<kiv_event_t *>(r));

    // A 16 MiB title (cut to 65536 characters), token and dialog texts (the
    // dialogs on a bad handle).
    EXPECT_EQ(kiv_webview_set_title(wv, sixteenMiB.c_str()), oke);
    EXPECT_EQ(kiv_webview_window_state(wv) & 15, normal);
    const std::string shown = capture(
        "xprop -id " + xWindowId(std::string(65536, 'x')) + " _NET_WM_NAME 2>/dev/null | wc -c");
    EXPECT_GT(std::stoi("0" + shown), 65536) << "the cut title is not the window's";
    kiv_webview_set_ou_token(wv, sixteenMiB.c_str());
    EXPECT_EQ(Outcome::of(kiv_webview_file_open(
                  -1, sixteenMiB.c_str(), sixteenMiB.c_str(), sixteenMiB.c_str())),
        failureOf("kiv_webview_file_open"));
    EXPECT_EQ(kiv_webview_set_url(wv, ("about:blank#" + sixteenMiB).c_str()), oke);
    kiv_webview_process_events(500);

    // The window still works normally afterwards.
    const size_t loads = countOf(wv, "page-loaded");
    EXPECT_EQ(kiv_webview_set_html(wv, "<p>after</p>"), oke);
    ASSERT_TRUE(waitForCount(wv, "page-loaded", loads + 1));
    EXPECT_EQ(callJs(wv, "return document.body.textContent;").value,
        R"({"exn":false,"oke":true,"result":"after"})");
    kiv_webview_close(wv);
}

namespace {
bool freeWithResultFunction = false;
size_t freedEvents = 0;
// Frees events alternately with the two free functions.
void alternatingFree(kiv_event_t *event)
{
    freeWithResultFunction = !freeWithResultFunction;
    ++freedEvents;
    if (freeWithResultFunction)
        EXPECT_EQ(kiv_webview_destroy_js_result(reinterpret_cast<kiv_js_result_t *>(event)), 0);
    else
        EXPECT_EQ(kiv_webview_destroy_event(event), 0);
}
} // namespace

TEST(BadInput, RecordsFreedWithEitherFreeFunction)
{
    const int wv = kiv_webview_create(0, alternatingFree);
    ASSERT_EQ(kiv_webview_set_html(wv, "<p>free</p>"), oke);
    ASSERT_TRUE(pumpUntil([] { return freedEvents >= 2; })); // show, page-loaded
    for (int i = 0; i < 50; ++i) {
        kiv_js_result_t *ok = kiv_webview_call_js(wv, "return {a: [1, 2]};");
        kiv_js_result_t *failed = kiv_webview_call_js(wv, "throw new Error('no');");
        kiv_js_result_t *none = kiv_webview_call_js(-1, "return 1;");
        kiv_js_result_t *dialog = kiv_webview_choose_dir(-1, "", "");
        EXPECT_EQ(kiv_webview_destroy_event(reinterpret_cast<kiv_event_t *>(ok)), 0);
        EXPECT_EQ(kiv_webview_destroy_js_result(failed), 0);
        EXPECT_EQ(kiv_webview_destroy_event(reinterpret_cast<kiv_event_t *>(none)), 0);
        EXPECT_EQ(kiv_webview_destroy_js_result(dialog), 0);
        kiv_webview_run_js(wv, "window.kiv_send_event({i: 1});");
    }
    // show, page-loaded, 50 page events; then "closed".
    ASSERT_TRUE(pumpUntil([] { return freedEvents >= 52u; }));
    kiv_webview_close(wv);
    EXPECT_GE(freedEvents, 50u + 3u);
}
