// JavaScript calls with a result: what the host receives for each outcome,
// and that a call always ends, even when its page can no longer answer.
#include "failure_values.h"
#include "page_queries.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <unistd.h>

using namespace kivtest;

TEST(CallJs, ResultsOfReturnThrowAndSyntaxError)
{
    const int wv = createWindowWithHtml("<p>calls</p>");

    CallResult r = callJs(wv, "{ let a = 7 * 6; console.log('a = ' + a); return a; }");
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":42})");

    r = callJs(wv, "throw new Error('boom');");
    EXPECT_EQ(r.status, eval_js_failed);
    EXPECT_EQ(r.value, R"({"exn":"boom","oke":false,"result":false})");

    // A message with quotes and non-ASCII text is a proper JSON string.
    r = callJs(wv, "throw new TypeError('say \"h\\u00e9\"');");
    EXPECT_EQ(r.status, eval_js_failed);
    EXPECT_EQ(r.value, "{\"exn\":\"say \\\"h\xC3\xA9\\\"\",\"oke\":false,\"result\":false}");

    r = callJs(wv, "return (;");
    EXPECT_EQ(r.status, eval_js_failed);
    EXPECT_EQ(r.value, R"({"oke":null})");

    // A statement left open swallows the wrapper's end: nothing compiles.
    r = callJs(wv, "return [1, 2");
    EXPECT_EQ(r.status, eval_js_failed);
    EXPECT_EQ(r.value, R"({"oke":null})");

    // Without return nothing reaches "result".
    r = callJs(wv, "1 + 1;");
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true})");

    // Structured values arrive with their members in ascending key order.
    r = callJs(wv, "return {b: [1, 'two', null], a: {y: true, x: 1.5}};");
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value,
        R"({"exn":false,"oke":true,"result":{"a":{"x":1.5,"y":true},"b":[1,"two",null]}})");

    // The page is the window's own: the call sees its document.
    r = callJs(wv, "return document.querySelector('p').textContent;");
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":"calls"})");
}

TEST(CallJs, CodeIsAFunctionBodyThatLeavesNoNamesBehind)
{
    const int wv = createWindowWithHtml("<p>x</p>");

    CallResult r = callJs(wv, "return 5 // a line comment at the end");
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":5})");

    // The same declarations, also of the wrapper's own names, in successive
    // calls: each call's names live and die with it.
    for (int i = 0; i < 3; ++i) {
        r = callJs(wv, "let a = 1; const f = 2; let obj = 3; class C {} return a + f + obj;");
        EXPECT_EQ(r.status, oke) << r.value;
        EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":6})");
    }
    // Nothing of them is left in the page's global scope.
    r = callJs(wv, "return ['a', 'f', 'obj', 'C'].map(n => (0, eval)('typeof ' + n)).join();");
    EXPECT_EQ(
        r.value, R"({"exn":false,"oke":true,"result":"undefined,undefined,undefined,undefined"})");

    // Globals are the page's: a call can set one and a later call read it.
    EXPECT_EQ(callJs(wv, "window.kept = 'yes';").status, oke);
    EXPECT_EQ(
        callJs(wv, "return window.kept;").value, R"({"exn":false,"oke":true,"result":"yes"})");

    // The call runs in the world of the page's scripts: it sees the bridge.
    r = callJs(wv, "return typeof window.kiv_send_event + ' ' + typeof window.kiv_get_events;");
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":"function function"})");
}

TEST(CallJs, ASlowAnswerFromTheSameDocumentStillArrives)
{
    // Hundreds of polls are submitted while the page is busy; they wait
    // behind the call, which must not be taken for lost.
    const int wv = createWindowWithHtml("<p>slow</p>");
    kiv_webview_run_js(wv, "window.kiv_send_event({before: 1});");
    const CallResult r = callJs(wv,
        "window.kiv_send_event({during: 1});"
        "let end = Date.now() + 2000; while (Date.now() < end) {} return 'done';");
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":"done"})");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 2; }));
    EXPECT_EQ(itemsOf(wv), (std::vector<std::string> {R"({"before":1})", R"({"during":1})"}));
}

TEST(CallJs, UnknownOrClosedHandleGivesFalse)
{
    const int wv = createWindowWithHtml("<p>x</p>");
    EXPECT_TRUE(callFails("kiv_webview_call_js", 4711));

    kiv_webview_close(wv);
    EXPECT_TRUE(callFails("kiv_webview_call_js", wv));
}

namespace {

// Closes its window when the user asks to close it, as a host would.
void closeWhenAsked(kiv_event_t *event)
{
    const bool asked = std::string(event->event) == R"({"event":"can-close?"})";
    const int wv = event->wv;
    recordEvent(event);
    if (asked)
        kiv_webview_close(wv);
}

} // namespace

TEST(CallJs, CallPendingWhileItsWindowClosesEnds)
{
    const int wv = kiv_webview_create(0, closeWhenAsked);
    kiv_webview_set_title(wv, "busy page");
    kiv_webview_set_html(wv, "<p>busy</p>");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));
    const long long renderer = renderProcessOf("busy page");

    // The user presses the window's close button while the page is still
    // busy with the call; the host agrees from the "can-close?" callback.
    std::atomic<bool> requested {false};
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        requested = requestClose("busy page");
    });
    // The page would answer only after 60 s.
    const CallResult r = callJs(
        wv, "let end = Date.now() + 60000; while (Date.now() < end) {} return 'too late';");
    user.join();
    ASSERT_TRUE(requested);

    EXPECT_EQ(r.status, eval_js_failed);
    const QJsonObject answer = parseObject(r.value);
    EXPECT_EQ(answer.value("oke"), QJsonValue(false)) << r.value;
    EXPECT_EQ(answer.value("result"), QJsonValue(false)) << r.value;
    EXPECT_TRUE(answer.value("exn").isString()) << r.value;
    EXPECT_FALSE(answer.value("exn").toString().isEmpty()) << r.value;
    EXPECT_FALSE(kiv_webview_valid(wv));
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("closed"), 10000));
    EXPECT_EQ(eventsOf(wv).back(), R"({"event":"closed"})");

    // The library goes on working, and the busy page's process does not
    // outlive its window for long.
    const int next = createWindowWithHtml("<p>next</p>");
    EXPECT_EQ(callJs(next, "return 1;").status, oke);
    if (renderer > 0) {
        EXPECT_TRUE(pumpUntil([&] { return !processRunning(renderer); }, 30000))
            << "the busy render process " << renderer << " still runs";
    }
}

TEST(CallJs, CallPendingWhenTheRendererDiesEnds)
{
    const int wv = createWindowWithHtml("<p>doomed</p>");
    kiv_webview_set_title(wv, "doomed");
    const int other = createWindowWithHtml("<p>other</p>");
    kiv_webview_set_title(other, "other");

    const long long renderer = renderProcessOf("doomed");
    ASSERT_GT(renderer, 0);
    // A render process is forked by the web engine's zygote, a child of ours.
    const long long zygote = parentOf(renderer);
    ASSERT_EQ(parentOf(zygote), static_cast<long long>(getpid()));
    ASSERT_NE(commandLineOf(zygote).find("--type=zygote"), std::string::npos)
        << commandLineOf(zygote);
    ASSERT_NE(renderer, renderProcessOf("other")) << "both pages share one render process";

    // The other page keeps sending events all along.
    kiv_webview_run_js(other, "let n = 0; setInterval(() => window.kiv_send_event({n: n++}), 20);");

    std::thread killer([renderer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        kill(static_cast<pid_t>(renderer), SIGKILL);
    });
    const CallResult r = callJs(wv, "while (true) {}");
    killer.join();

    EXPECT_EQ(r.status, eval_js_failed);
    const QJsonObject answer = parseObject(r.value);
    EXPECT_EQ(answer.value("oke"), QJsonValue(false)) << r.value;
    EXPECT_FALSE(answer.value("exn").toString().isEmpty()) << r.value;
    EXPECT_TRUE(kiv_webview_valid(wv));

    // Until a new page loads, calls to the dead page fail at once.
    const CallResult dead = callJs(wv, "return 1;");
    EXPECT_EQ(dead.status, eval_js_failed);
    EXPECT_FALSE(parseObject(dead.value).value("exn").toString().isEmpty()) << dead.value;

    // The other window still receives its page's events.
    const size_t before = itemsOf(other).size();
    EXPECT_TRUE(pumpUntil([&] { return itemsOf(other).size() >= before + 5; }, 20000));

    // A new page brings the window back.
    const size_t loads = eventsNamed(wv, QStringLiteral("page-loaded")).size();
    EXPECT_EQ(kiv_webview_set_html(wv, "<p>again</p>"), oke);
    ASSERT_TRUE(
        pumpUntil([&] { return eventsNamed(wv, QStringLiteral("page-loaded")).size() > loads; }));
    EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
    const CallResult again = callJs(wv, "return document.body.textContent;");
    EXPECT_EQ(again.status, oke);
    EXPECT_EQ(again.value, R"({"exn":false,"oke":true,"result":"again"})");
    kiv_webview_run_js(wv, "window.kiv_send_event({back: true});");
    EXPECT_TRUE(pumpUntil([&] {
        const std::vector<std::string> items = itemsOf(wv);
        return !items.empty() && items.back() == R"({"back":true})";
    }));
}

namespace {

std::string navigationTarget;

// Sends the window elsewhere when the user asks to close it.
void navigateWhenAsked(kiv_event_t *event)
{
    const bool asked = std::string(event->event) == R"({"event":"can-close?"})";
    const int wv = event->wv;
    recordEvent(event);
    if (asked)
        kiv_webview_set_url(wv, navigationTarget.c_str());
}

} // namespace

// The host replaces the page while a call waits for it: the engine drops
// the old document's answer, and the call must end all the same.
TEST(CallJs, CallPendingWhileItsPageIsReplacedEnds)
{
    const std::string dir = tempDir();
    run("echo '<p>next page</p>' > " + dir + "/next.html");
    LoopbackServer server(dir);
    navigationTarget = server.url("/next.html");

    const int wv = kiv_webview_create(0, navigateWhenAsked);
    kiv_webview_set_title(wv, "replaced page");
    kiv_webview_set_html(wv, "<p>busy</p>");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));

    std::atomic<bool> requested {false};
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        requested = requestClose("replaced page");
    });
    // The page would answer only after 60 s, but its document goes first.
    const CallResult r = callJs(
        wv, "let end = Date.now() + 60000; while (Date.now() < end) {} return 'too late';");
    user.join();
    ASSERT_TRUE(requested);
    EXPECT_EQ(r.status, eval_js_failed);
    const QJsonObject answer = parseObject(r.value);
    EXPECT_EQ(answer.value("oke"), QJsonValue(false)) << r.value;
    EXPECT_EQ(answer.value("result"), QJsonValue(false)) << r.value;
    EXPECT_FALSE(answer.value("exn").toString().isEmpty()) << r.value;

    // The new page loads and answers.
    ASSERT_TRUE(pumpUntil([&] { return loadTexts(wv).size() >= 2; }, 30000));
    EXPECT_EQ(callJs(wv, "return document.body.textContent.trim();").value,
        R"({"exn":false,"oke":true,"result":"next page"})");
}

// What the header says of values the engine does not bring back as they are:
// each case as documented, so that the documentation stays true.
TEST(CallJs, ValuesWithoutAJsonFormComeBackAsDocumented)
{
    const int wv = createWindowWithHtml("<p id=p>values</p>");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"return new Promise(r => r(5));", R"({"exn":false,"oke":true,"result":{}})"},
        {"return document.body;", R"({"exn":false,"oke":true,"result":{}})"},
        {"return new Map([[1, 2]]);", R"({"exn":false,"oke":true,"result":{}})"},
        {"return {a: 1n, b: () => 1, c: undefined, d: 2};",
            R"({"exn":false,"oke":true,"result":{"d":2}})"},
        {"return 1n;", R"({"exn":false,"oke":true})"},
        {"return function f() {};", R"({"exn":false,"oke":true})"},
        {"return undefined;", R"({"exn":false,"oke":true})"},
        {"return Symbol('s');", R"({"exn":false,"oke":true})"},
        {"return NaN;", R"({"exn":false,"oke":true})"},
        {"return Infinity;", R"({"exn":false,"oke":true})"},
        {"let o = {a: 1}; o.self = o; return o;",
            R"({"exn":false,"oke":true,"result":{"a":1,"self":null}})"},
        {"return [1, undefined, () => 1];", R"({"exn":false,"oke":true,"result":[1,null,null]})"},
        {"return new Date(1500);", R"({"exn":false,"oke":true,"result":1.5})"},
        // The working patterns.
        {"return JSON.stringify({big: String(2n ** 64n)});",
            R"({"exn":false,"oke":true,"result":"{\"big\":\"18446744073709551616\"}"})"},
    };
    for (const auto &[code, expected] : cases) {
        const CallResult r = callJs(wv, code.c_str());
        EXPECT_EQ(r.status, oke) << code;
        EXPECT_EQ(r.value, expected) << code;
    }
    // A lone surrogate comes back replaced by call_js, but exact as an event.
    const CallResult lone = callJs(wv, "return 'a\\ud800b';");
    EXPECT_EQ(QString::fromStdString(lone.value).count(QChar(0xfffd)) > 0, true) << lone.value;
    kiv_webview_run_js(wv, "window.kiv_send_event({s: 'a\\ud800b'});");
    ASSERT_TRUE(pumpUntil([&] { return !pageEventTexts(wv).empty(); }));
    EXPECT_EQ(pageEventTexts(wv).back(), R"({"event":"js-evt","js-evt":{"s":"a\ud800b"}})");
    // Awaited in the page and sent: the Promise's value arrives.
    kiv_webview_run_js(wv, "new Promise(r => r(5)).then(v => window.kiv_send_event({v}));");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 2; }));
    EXPECT_EQ(itemsOf(wv).back(), R"({"v":5})");
}
