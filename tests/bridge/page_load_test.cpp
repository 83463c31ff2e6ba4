// Loads: every document has the bridge from its first line; every finished
// load, failed or not, runs it again (keeping the queue) and then sends
// "page-loaded".
#include "page_queries.h"
#include "dialog_guard.h"
#include "test_support.h"

#include <QApplication>
#include <QFileDialog>

#include <gtest/gtest.h>

#include <fstream>

using namespace kivtest;

namespace {

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

size_t loadsOf(int wv)
{
    return eventsNamed(wv, QStringLiteral("page-loaded")).size();
}

bool waitForLoads(int wv, size_t count)
{
    return pumpUntil([&] { return loadsOf(wv) >= count; }, 30000);
}

// A page whose own script waits for the bridge and then reports where it is.
const char *reportingPage = R"(<!doctype html><meta charset="utf-8"><title>served</title>
<script>
  window.seenAtStart = typeof window.kiv_send_event;
  const timer = setInterval(() => {
    if (window.kiv_send_event) {
      clearInterval(timer);
      window.kiv_send_event({ready: location.pathname, before: window.seenAtStart});
    }
  }, 10);
</script><p>served page</p>)";

} // namespace

TEST(PageLoad, SetHtmlGivesPageLoadedWithTheBridgeInPlace)
{
    const int wv = kiv_webview_create(0, recordEvent);
    EXPECT_EQ(kiv_webview_set_html(wv, "<p>first</p><script>window.first = 1;</script>"), oke);
    ASSERT_TRUE(waitForLoads(wv, 1));
    EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
    // Code run in reaction to "page-loaded" finds the bridge.
    kiv_webview_run_js(wv, "window.kiv_send_event({n: 1, first: window.first});");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 1; }));
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"first":1,"n":1})"});

    // A new document gets the bridge anew.
    EXPECT_EQ(kiv_webview_set_html(wv, "<p>second</p>"), oke);
    ASSERT_TRUE(waitForLoads(wv, 2));
    EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
    kiv_webview_run_js(wv, "window.kiv_send_event({n: 2, first: typeof window.first});");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 2; }));
    EXPECT_EQ(itemsOf(wv),
        (std::vector<std::string> {R"({"first":1,"n":1})", R"({"first":"undefined","n":2})"}));
}

TEST(PageLoad, ServedPagesHaveTheBridgeFromTheirFirstLine)
{
    const std::string dir = tempDir();
    writeFile(dir + "/one.html", reportingPage);
    writeFile(dir + "/two.html", reportingPage);
    LoopbackServer server(dir);

    const int wv = kiv_webview_create(0, recordEvent);
    EXPECT_EQ(kiv_webview_set_url(wv, server.url("/one.html").c_str()), oke);
    ASSERT_TRUE(waitForLoads(wv, 1));
    EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 1; }));
    // The page's own script found the bridge when it ran, before its load
    // had finished.
    EXPECT_EQ(
        itemsOf(wv), std::vector<std::string> {R"({"before":"function","ready":"/one.html"})"});
    EXPECT_EQ(callJs(wv, "return location.href;").value,
        R"({"exn":false,"oke":true,"result":")" + server.url("/one.html") + "\"}");

    EXPECT_EQ(kiv_webview_set_url(wv, server.url("/two.html").c_str()), oke);
    ASSERT_TRUE(waitForLoads(wv, 2));
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 2; }));
    EXPECT_EQ(itemsOf(wv).back(), R"({"before":"function","ready":"/two.html"})");
    EXPECT_EQ(loadsOf(wv), 2u);
}

namespace {

// Sends from its first inline script, while it is being read, when its
// document is complete, and once it has loaded.
const char *earlyPage = R"(<!doctype html><meta charset="utf-8"><title>early</title>
<script>
  const page = location.protocol == "data:" ? "text"
      : location.pathname + (location.search || "");
  window.kiv_send_event({page, at: "first line"});
  window.kiv_send_event({page, at: "first line, again"});
  document.addEventListener("DOMContentLoaded",
    () => window.kiv_send_event({page, at: "document complete"}));
  window.addEventListener("load", () => window.kiv_send_event({page, at: "loaded"}));
</script><p>early</p>
<script>window.kiv_send_event({page, at: "last line"});</script>)";

std::vector<std::string> expectedItems(const std::string &page)
{
    std::vector<std::string> items;
    for (const char *at : {"first line", "first line, again", "last line", "document complete",
             "loaded"})
        items.push_back("{\"at\":\"" + std::string(at) + "\",\"page\":\"" + page + "\"}");
    return items;
}

} // namespace

// What a page sends from its first line on arrives once the loop runs, in
// order, each item once: across the run of the bridge after its load, a
// reload and a navigation.
TEST(PageLoad, APageSendsFromItsFirstLineAcrossReloadsAndNavigations)
{
    const std::string dir = tempDir();
    writeFile(dir + "/early.html", earlyPage);
    writeFile(dir + "/next.html", earlyPage);
    LoopbackServer server(dir);

    const int wv = kiv_webview_create(0, recordEvent);
    std::vector<std::string> expected;
    auto expect = [&](const std::string &page) {
        const std::vector<std::string> more = expectedItems(page);
        expected.insert(expected.end(), more.begin(), more.end());
        ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= expected.size(); }));
        pumpUntil([] { return false; }, 300); // nothing more comes
        EXPECT_EQ(itemsOf(wv), expected);
    };

    kiv_webview_set_url(wv, server.url("/early.html").c_str());
    expect("/early.html");
    kiv_webview_run_js(wv, "location.reload();");
    expect("/early.html");
    kiv_webview_run_js(wv, "location.href = 'next.html?n=2';");
    expect("/next.html?n=2");
    // Pages shown from HTML text too.
    kiv_webview_set_html(wv, earlyPage);
    expect("text");
    EXPECT_EQ(loadsOf(wv), 4u);
}

TEST(PageLoad, AFailedLoadStillGetsTheBridge)
{
    const int wv = kiv_webview_create(0, recordEvent);
    const std::string url = "http://127.0.0.1:" + std::to_string(unusedPort()) + "/";
    EXPECT_EQ(kiv_webview_set_url(wv, url.c_str()), oke);
    ASSERT_TRUE(waitForLoads(wv, 1));
    EXPECT_EQ(loadTexts(wv), std::vector<std::string> {R"({"event":"page-loaded","oke":false})"});

    kiv_webview_run_js(wv, "window.kiv_send_event({after: 'failure'});");
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 1; }));
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"after":"failure"})"});
    const CallResult r = callJs(wv, "return typeof window.kiv_get_events;");
    EXPECT_EQ(r.status, oke);
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":"function"})");
}

namespace {

// Declines every file dialog of the application once it has shown.
struct DeclineFileDialogs : QObject
{
    int declined = 0;
    DeclineFileDialogs() { qApp->installEventFilter(this); }
    ~DeclineFileDialogs() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QFileDialog *>(watched);
        if (dialog && event->type() == QEvent::Show) {
            ++declined;
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace

TEST(PageLoad, QueuedItemsSurviveASecondBridgeRunInTheSameDocument)
{
    const std::string dir = tempDir();
    writeFile(dir + "/queue.html", "<!doctype html><title>queue</title><p>queue</p>");
    writeFile(dir + "/data.bin", std::string(1000, 'x'));
    LoopbackServer server(dir);

    const int wv = kiv_webview_create(0, recordEvent);
    kiv_webview_set_url(wv, server.url("/queue.html").c_str());
    ASSERT_TRUE(waitForLoads(wv, 1));

    // Without kiv_get_events the polls take nothing: items stay queued.
    kiv_webview_run_js(wv,
        "window.kiv_get_events = undefined; window.marker = 'same document';"
        "window.kiv_event_queue.push({kept: 1}); window.kiv_send_event({kept: 2});");
    kiv_webview_process_events(300);
    EXPECT_TRUE(itemsOf(wv).empty());

    // A link to a file that the engine does not display is a download; the
    // user declines to save it, and the load ends as a failed one that
    // leaves the document in place: the bridge runs again in it and keeps
    // the queue.
    // (The dialog runs inside the engine's own task, where this thread's
    // timers do not fire: the user declines as soon as it shows.)
    DeclineFileDialogs decline;
    DialogGuard guard(60000);
    kiv_webview_set_url(wv, server.url("/data.bin").c_str());
    ASSERT_TRUE(waitForLoads(wv, 2));
    // The engine ends the load as soon as it sees a download, and asks
    // about the download after that.
    EXPECT_TRUE(pumpUntil([&] { return decline.declined == 1; }));
    EXPECT_EQ(loadTexts(wv),
        (std::vector<std::string> {
            R"({"event":"page-loaded","oke":true})", R"({"event":"page-loaded","oke":false})"}));
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 2; }));
    kiv_webview_process_events(100);
    EXPECT_EQ(itemsOf(wv), (std::vector<std::string> {R"({"kept":1})", R"({"kept":2})"}));
    EXPECT_EQ(callJs(wv, "return window.marker;").value,
        R"({"exn":false,"oke":true,"result":"same document"})");
}
