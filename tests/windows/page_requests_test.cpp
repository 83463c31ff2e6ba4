// What a page asks of its window: its title in the title bar, the address
// it shows ("url-changed"), window.close(), and the whole screen.
#include "page_queries.h"
#include "test_support.h"
#include "window_queries.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <fstream>

using namespace kivtest;

namespace {

// The one browser window of the test, or null.
QWidget *theBrowserWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (isBrowserWindow(w))
            return w;
    return nullptr;
}

std::string titleNow()
{
    QWidget *w = theBrowserWindow();
    return w ? w->windowTitle().toStdString() : std::string("(no window)");
}

bool titleBecomes(const std::string &title)
{
    return pumpUntil([&] { return titleNow() == title; }, 20000);
}

std::vector<std::string> urlsOf(int wv)
{
    std::vector<std::string> urls;
    for (const QJsonObject &e : eventsNamed(wv, QStringLiteral("url-changed")))
        urls.push_back(e.value("url").toString().toStdString());
    return urls;
}

// The event names of wv from the index first on, leaving out the window's
// geometry and visibility.
std::vector<std::string> pageNamesSince(int wv, size_t first)
{
    std::vector<std::string> names;
    const std::vector<std::string> all = namesOf(wv);
    for (size_t i = first; i < all.size(); ++i)
        if (all[i] == "url-changed" || all[i] == "page-loaded")
            names.push_back(all[i]);
    return names;
}

} // namespace

TEST(PageRequests, TheWindowShowsItsPagesTitleUntilTheHostSetsOne)
{
    const int wv = kiv_webview_create(0, recordEvent);
    // Before any page: a title of its own, never the application's name.
    EXPECT_EQ(titleNow(), "Untitled");

    kiv_webview_set_html(wv, "<title>My App</title><p>app</p>");
    EXPECT_TRUE(titleBecomes("My App")) << titleNow();
    kiv_webview_run_js(wv, "document.title = 'Changed  by   the page';");
    EXPECT_TRUE(titleBecomes("Changed by the page")) << titleNow();
    // The window manager shows it too.
    EXPECT_FALSE(xWindowId("Changed by the page").empty());

    kiv_webview_set_html(wv, ("<p>no title, and a long text " + std::string(3000, 'x') + "</p>").c_str());
    EXPECT_TRUE(titleBecomes("Untitled")) << titleNow().substr(0, 80);

    // However long, it stays within what the window system carries (the
    // engine itself keeps only the first few thousand characters).
    kiv_webview_set_html(wv, ("<title>" + std::string(100000, 't') + "</title>").c_str());
    EXPECT_TRUE(pumpUntil([] { return titleNow().rfind("tttt", 0) == 0; })) << titleNow();
    EXPECT_LE(titleNow().size(), 65536u);

    const std::string dir = tempDir();
    std::ofstream(dir + "/untitled.html") << "<p>served without a title</p>";
    LoopbackServer server(dir);
    kiv_webview_set_url(wv, server.url("/untitled.html").c_str());
    EXPECT_TRUE(titleBecomes("127.0.0.1")) << titleNow();

    // Once the host has set a title, the page's changes leave it alone.
    ASSERT_EQ(kiv_webview_set_title(wv, "Host's title"), oke);
    kiv_webview_run_js(wv, "document.title = 'The page again';");
    pumpFor(500);
    kiv_webview_set_html(wv, "<title>Another page</title>");
    ASSERT_TRUE(pumpUntil([&] {
        return callJs(wv, "return document.title;").value.find("Another page") != std::string::npos;
    }));
    pumpFor(300);
    EXPECT_EQ(titleNow(), "Host's title");
}

// Every address the main frame shows is reported, once each: a load, a link,
// a redirect, history.pushState and replaceState, a fragment; a load's
// before its page-loaded. A load the host starts shows its address at once,
// then where a redirect takes it. A page shown from HTML text is reported by
// a short stand-in, kiv-html:HANDLE/N, whatever its size.
TEST(PageRequests, UrlChangedFollowsTheMainFrameAndComesBeforeItsLoad)
{
    const std::string dir = tempDir();
    std::ofstream(dir + "/a.html") << "<title>a</title><a id=next href='/b.html'>b</a>";
    std::ofstream(dir + "/b.html") << "<title>b</title><p>b</p>";
    LoopbackServer server(dir);
    const int wv = kiv_webview_create(0, recordEvent);
    const std::string a = server.url("/a.html"), b = server.url("/b.html");

    size_t first = namesOf(wv).size();
    kiv_webview_set_url(wv, a.c_str());
    ASSERT_TRUE(waitForCount(wv, "page-loaded", 1));
    EXPECT_EQ(pageNamesSince(wv, first), (std::vector<std::string> {"url-changed", "page-loaded"}));

    first = namesOf(wv).size();
    kiv_webview_run_js(wv, "document.getElementById('next').click();");
    ASSERT_TRUE(waitForCount(wv, "page-loaded", 2));
    EXPECT_EQ(pageNamesSince(wv, first), (std::vector<std::string> {"url-changed", "page-loaded"}));

    kiv_webview_set_url(wv, server.url("/redirect?to=/a.html").c_str());
    ASSERT_TRUE(waitForCount(wv, "page-loaded", 3));
    kiv_webview_run_js(wv, "history.pushState({}, '', '/pushed'); "
                           "history.replaceState({}, '', '/replaced#top'); location.hash = 'end';");
    ASSERT_TRUE(pumpUntil([&] { return urlsOf(wv).size() >= 7; }));

    const int large = 3 << 20;
    kiv_webview_set_html(wv, "<p>small</p>");
    ASSERT_TRUE(waitForCount(wv, "page-loaded", 4));
    kiv_webview_set_html(wv, ("<p>large</p><!--" + std::string(large, 'x') + "-->").c_str());
    ASSERT_TRUE(waitForCount(wv, "page-loaded", 5, 120000));
    kiv_webview_run_js(wv, "history.back();");
    ASSERT_TRUE(waitForCount(wv, "page-loaded", 6));
    ASSERT_TRUE(pumpUntil([&] { return urlsOf(wv).size() >= 10; }));
    kiv_webview_run_js(wv, "location.hash = 'part';");
    ASSERT_TRUE(pumpUntil([&] { return urlsOf(wv).size() >= 11; }));

    const std::vector<std::string> urls = urlsOf(wv);
    ASSERT_EQ(urls.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(urls.begin(), urls.begin() + 7),
        (std::vector<std::string> {a, b, server.url("/redirect?to=/a.html"), a,
            server.url("/pushed"), server.url("/replaced#top"), server.url("/replaced#end")}));
    const std::string handle = std::to_string(wv);
    const std::string small = urls[7];
    EXPECT_EQ(small.rfind("kiv-html:" + handle + "/", 0), 0u) << small;
    EXPECT_EQ(urls[8].rfind("kiv-html:" + handle + "/", 0), 0u) << urls[8];
    EXPECT_NE(small, urls[8]);
    // Going back to the small page finds its own stand-in again, and a
    // fragment follows it.
    EXPECT_EQ(urls[9], small);
    EXPECT_EQ(urls[10], small + "#part");
    for (const std::string &url : urls)
        EXPECT_LT(url.size(), 200u) << url.substr(0, 80);
}

// window.close() asks the host, as the close button does; the window stays
// until the host closes it.
TEST(PageRequests, WindowCloseIsACloseRequest)
{
    const int wv = createWindowWithHtml("<p>closing</p>");
    kiv_webview_run_js(wv, "window.close();");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("can-close?")));
    pumpFor(300);
    EXPECT_TRUE(kiv_webview_valid(wv));
    EXPECT_EQ(countOf(wv, "closed"), 0u);
    kiv_webview_run_js(wv, "window.close();");
    ASSERT_TRUE(waitForCount(wv, "can-close?", 2));
    kiv_webview_close(wv);
    EXPECT_EQ(countOf(wv, "closed"), 1u);
}

namespace {

const char *fullScreenPage = R"html(<title>full</title>
<style>button { width: 100%; height: 100px; }</style>
<button id=go onclick="document.documentElement.requestFullscreen()
  .then(() => kiv_send_event({full: true}), e => kiv_send_event({refused: e.message}))">go</button>
<script>
  addEventListener('fullscreenchange', () => kiv_send_event({element: !!document.fullscreenElement}));
</script>)html";

std::vector<bool> fullScreenEvents(int wv)
{
    std::vector<bool> on;
    for (const QJsonObject &e : eventsNamed(wv, QStringLiteral("fullscreen")))
        on.push_back(e.value("on").toBool());
    return on;
}

QRect screenGeometry()
{
    return QGuiApplication::primaryScreen()->geometry();
}

} // namespace

// A page's requestFullscreen() after a click covers the whole screen; Escape
// or the page's exitFullscreen() ends it, and the window comes back as it
// was: the same geometry, or maximised.
TEST(PageRequests, FullScreenCoversTheScreenAndEscapeBringsTheWindowBack)
{
    const int wv = kiv_webview_create(0, recordEvent);
    kiv_webview_set_title(wv, "full");
    ASSERT_EQ(kiv_webview_move(wv, 120, 140), oke);
    ASSERT_EQ(kiv_webview_resize(wv, 420, 300), oke);
    kiv_webview_set_html(wv, fullScreenPage);
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));
    settle();
    QWidget *window = theBrowserWindow();
    ASSERT_NE(window, nullptr);
    const QRect before = window->geometry();

    // A script alone may not: the engine asks for a user's gesture.
    kiv_webview_run_js(wv, "document.getElementById('go').click();");
    ASSERT_TRUE(pumpUntil([&] { return !itemsOf(wv).empty(); }));
    EXPECT_NE(itemsOf(wv).front().find("refused"), std::string::npos) << itemsOf(wv).front();

    ASSERT_TRUE(userClicks(wv, "full", "#go"));
    ASSERT_TRUE(pumpUntil([&] { return fullScreenEvents(wv).size() == 1; }));
    EXPECT_EQ(fullScreenEvents(wv), std::vector<bool> {true});
    ASSERT_TRUE(pumpUntil([&] { return window->geometry() == screenGeometry(); }))
        << window->geometry().width() << "x" << window->geometry().height();
    EXPECT_TRUE(window->isFullScreen());
    const window_state_t state = kiv_webview_window_state(wv);
    EXPECT_TRUE(state == maximized || state == maximized_active) << state;

    ASSERT_TRUE(userPressesKey("full", "Escape"));
    ASSERT_TRUE(pumpUntil([&] { return fullScreenEvents(wv).size() == 2; }));
    EXPECT_EQ(fullScreenEvents(wv), (std::vector<bool> {true, false}));
    ASSERT_TRUE(pumpUntil([&] { return window->geometry() == before; }))
        << window->geometry().x() << "," << window->geometry().y() << " "
        << window->geometry().width() << "x" << window->geometry().height();
    EXPECT_FALSE(window->isFullScreen());
    // The page's renderer hears that full screen has ended after the window
    // has: its document follows shortly.
    EXPECT_TRUE(pumpUntil([&] {
        return parseObject(callJs(wv, "return document.fullscreenElement === null;").value)
            .value("result")
            .toBool();
    }));

    // From a maximised window, and ended by the page itself.
    ASSERT_EQ(kiv_webview_maximize(wv), oke);
    ASSERT_TRUE(pumpUntil([&] { return window->isMaximized(); }));
    ASSERT_TRUE(userClicks(wv, "full", "#go"));
    ASSERT_TRUE(pumpUntil([&] { return fullScreenEvents(wv).size() == 3; }));
    kiv_webview_run_js(wv, "document.exitFullscreen();");
    ASSERT_TRUE(pumpUntil([&] { return fullScreenEvents(wv).size() == 4; }));
    EXPECT_EQ(fullScreenEvents(wv), (std::vector<bool> {true, false, true, false}));
    EXPECT_TRUE(pumpUntil([&] { return window->isMaximized() && !window->isFullScreen(); }));
}
