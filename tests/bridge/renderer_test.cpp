// A page whose renderer process dies: the host is told, nothing is polled
// until the next load, and the next load brings the page back. Linked with
// the library's internals to see the polls themselves.
#include "page_queries.h"
#include "test_support.h"

#include "bridge/page_bridge.h"
#include "windows/webview_window.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

using namespace kivtest;

namespace {

WebviewWindow *browserWindowTitled(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<WebviewWindow *>(w); window && w->windowTitle() == title)
            return window;
    return nullptr;
}

} // namespace

TEST(DeadRenderer, TheHostIsToldAndThePageIsNotPolledUntilItsNextLoad)
{
    const int wv = createWindowWithHtml("<p>doomed</p>");
    kiv_webview_set_title(wv, "doomed");
    WebviewWindow *window = browserWindowTitled(QStringLiteral("doomed"));
    ASSERT_NE(window, nullptr);
    const long long renderer = renderProcessOf("doomed");
    ASSERT_GT(renderer, 0);

    kill(static_cast<pid_t>(renderer), SIGKILL);
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("renderer-gone")));
    const QJsonObject gone = eventsNamed(wv, QStringLiteral("renderer-gone")).front();
    EXPECT_EQ(gone.value("reason").toString(), QStringLiteral("killed"));
    EXPECT_TRUE(gone.value("exit-code").isDouble());
    EXPECT_EQ(gone.keys(), (QStringList {"event", "exit-code", "reason"}));

    // Nothing would answer a poll: none is started, however long the host
    // pumps, so nothing piles up.
    const quint64 polls = window->pageBridge()->pollsStarted();
    pumpFor(1000);
    EXPECT_EQ(window->pageBridge()->pollsStarted(), polls);
    EXPECT_TRUE(kiv_webview_valid(wv));

    // The next page brings polling and the page's events back.
    const size_t loads = loadTexts(wv).size();
    ASSERT_EQ(kiv_webview_set_html(wv, "<p>again</p>"), oke);
    ASSERT_TRUE(pumpUntil([&] { return loadTexts(wv).size() > loads; }));
    EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
    kiv_webview_run_js(wv, "window.kiv_send_event({back: true});");
    EXPECT_TRUE(pumpUntil([&] { return !itemsOf(wv).empty(); }));
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"back":true})"});
    EXPECT_GT(window->pageBridge()->pollsStarted(), polls);
}

// While the page is busy, the poll that waits for it will take whatever it
// queues: no second poll is started meanwhile, and none waits afterwards.
TEST(Polling, ABusyPageHasOnePollWaitingForIt)
{
    const int wv = createWindowWithHtml("<p>busy</p>");
    kiv_webview_set_title(wv, "busy");
    WebviewWindow *window = browserWindowTitled(QStringLiteral("busy"));
    ASSERT_NE(window, nullptr);
    pumpFor(200);

    kiv_webview_run_js(wv,
        "const end = Date.now() + 1500; while (Date.now() < end) {}"
        " window.kiv_send_event({done: true});");
    pumpFor(300);
    const quint64 polls = window->pageBridge()->pollsStarted();
    EXPECT_NE(window->pageBridge()->pollWaiting(), 0u) << "no poll waits for the busy page";
    pumpFor(800);
    EXPECT_EQ(window->pageBridge()->pollsStarted(), polls) << "a poll was started while another waited";

    ASSERT_TRUE(pumpUntil([&] { return !itemsOf(wv).empty(); }));
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"done":true})"});
}

// A poll sent to a document that is then replaced by another site's is never
// answered: the engine drops it with the old document. The new document is
// polled all the same, and what its first script queues arrives in order.
TEST(Polling, APollLeftWithAReplacedDocumentDoesNotStallTheNextOne)
{
    const std::string dir = tempDir();
    const std::string page = "<script>for (let i = 0; i < 50; ++i) window.kiv_send_event({n: i});</script>";
    run("echo '" + page + "' > " + dir + "/burst.html");
    LoopbackServer server(dir);

    const int wv = createWindowWithHtml("<p>old</p>");
    kiv_webview_set_title(wv, "replaced");
    WebviewWindow *window = browserWindowTitled(QStringLiteral("replaced"));
    ASSERT_NE(window, nullptr);
    pumpFor(200);

    kiv_webview_run_js(wv, "const end = Date.now() + 10000; while (Date.now() < end) {}");
    pumpFor(100);
    ASSERT_NE(window->pageBridge()->pollWaiting(), 0u) << "no poll waits for the busy page";

    const size_t loads = loadTexts(wv).size();
    ASSERT_EQ(kiv_webview_set_url(wv, server.url("/burst.html").c_str()), oke);
    ASSERT_TRUE(pumpUntil([&] { return loadTexts(wv).size() > loads; }, 30000));
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() >= 50; }));
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i)
        expected.push_back("{\"n\":" + std::to_string(i) + "}");
    EXPECT_EQ(itemsOf(wv), expected);

    const quint64 polls = window->pageBridge()->pollsStarted();
    pumpFor(300);
    EXPECT_GT(window->pageBridge()->pollsStarted(), polls + 10) << "polling stalled";
}
