// Pages that ask for a new window (a link with a target, window.open): the
// host is told, web addresses go to the desktop's browser, and without one
// they show in the window itself. A request needs a click or a key of the
// user's: one request per gesture; any other is reported as blocked and
// opens nothing.
#include "page_queries.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using namespace kivtest;

namespace {

// Big targets for the user's clicks.
const char *linkingPage = R"html(<!doctype html><title>links</title>
<style>a, button { display: block; width: 300px; height: 40px; }</style>
<a id=blank target=_blank href="/other.html">other</a>
<a id=mail target=_blank href="mailto:someone@example.org">mail</a>
<button id=open onclick="window.open(location.origin + '/other.html?by=script')">open</button>
<button id=empty onclick="window.open('about:blank')">empty</button>
<button id=many onclick="for (let i = 0; i < 30; ++i) window.open('about:blank#' + i)">many</button>)html";

struct LinkingPage
{
    std::string served = tempDir();
    std::unique_ptr<LoopbackServer> server;
    int wv = 0;

    LinkingPage()
    {
        std::ofstream(served + "/links.html") << linkingPage;
        std::ofstream(served + "/other.html") << "<title>other</title><p>other page</p>";
        server = std::make_unique<LoopbackServer>(served);
        wv = kiv_webview_create(0, recordEvent);
        kiv_webview_set_title(wv, "links");
        kiv_webview_resize(wv, 500, 400);
        kiv_webview_set_url(wv, server->url("/links.html").c_str());
        waitForEvent(wv, QStringLiteral("page-loaded"));
    }

    std::vector<std::string> requested(const char *name = "new-window") const
    {
        std::vector<std::string> urls;
        for (const QJsonObject &e : eventsNamed(wv, QString::fromLatin1(name)))
            urls.push_back(e.value("url").toString().toStdString());
        return urls;
    }

    void click(const std::string &id) const
    {
        ASSERT_TRUE(userClicks(wv, "links", "#" + id)) << "could not click #" << id;
    }

    std::string location() const
    {
        return parseObject(callJs(wv, "return location.href;").value)
            .value("result")
            .toString()
            .toStdString();
    }
};

// The desktop's opener, as the toolkit finds it on the PATH: this one only
// writes down what it was asked to open.
std::string fakeDesktopOpener()
{
    const std::string bin = tempDir();
    const std::string log = bin + "/opened.txt";
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$@\" >> '" << log << "'\n";
    chmod((bin + "/xdg-open").c_str(), 0755);
    setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
    return log;
}

} // namespace

TEST(NewWindow, WebAddressesGoToTheDesktopsBrowserAndThePageStays)
{
    const std::string opened = fakeDesktopOpener();
    LinkingPage page;
    const std::string here = page.location();
    const std::string other = page.server->url("/other.html");

    page.click("blank");
    ASSERT_TRUE(pumpUntil([&] { return readFile(opened).find(other) != std::string::npos; }));
    page.click("open");
    ASSERT_TRUE(pumpUntil([&] { return readFile(opened).find("?by=script") != std::string::npos; }));
    page.click("mail");
    ASSERT_TRUE(pumpUntil([&] { return readFile(opened).find("mailto:") != std::string::npos; }));
    // An empty window is only reported: nothing to show anywhere.
    page.click("empty");
    ASSERT_TRUE(pumpUntil([&] { return page.requested().size() >= 4; }));

    EXPECT_EQ(page.requested(),
        (std::vector<std::string> {
            other, other + "?by=script", "mailto:someone@example.org", "about:blank"}));
    EXPECT_EQ(readFile(opened),
        other + "\n" + other + "?by=script\nmailto:someone@example.org\n");
    EXPECT_EQ(page.location(), here);
    EXPECT_EQ(eventsNamed(page.wv, QStringLiteral("page-loaded")).size(), 1u);
}

TEST(NewWindow, WithoutADesktopBrowserTheAddressShowsInTheWindow)
{
    LinkingPage page;
    // No opener and no browser anywhere on the PATH.
    const std::string emptyBin = tempDir();
    const std::string path = std::getenv("PATH");
    setenv("PATH", emptyBin.c_str(), 1);
    unsetenv("BROWSER");
    unsetenv("DEFAULT_BROWSER");
    page.click("blank");
    const bool shown = pumpUntil(
        [&] { return eventsNamed(page.wv, QStringLiteral("page-loaded")).size() >= 2; });
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(shown);
    EXPECT_EQ(page.requested(), std::vector<std::string> {page.server->url("/other.html")});
    EXPECT_EQ(page.location(), page.server->url("/other.html"));
}

// Without a gesture of the user's, no request opens anything: a page's own
// script, or a script the host runs, gets only "popup-blocked". A click gives
// one request, however many the page makes in it.
TEST(NewWindow, RequestsWithoutAUserGestureOpenNothingAndOneGestureGivesOne)
{
    const std::string opened = fakeDesktopOpener();
    LinkingPage page;
    const std::string other = page.server->url("/other.html");
    kiv_webview_run_js(page.wv,
        "for (let i = 0; i < 30; ++i) window.open(location.origin + '/other.html?auto=' + i);"
        "document.getElementById('blank').click();");
    ASSERT_TRUE(pumpUntil([&] { return page.requested("popup-blocked").size() >= 31; }));
    EXPECT_EQ(page.requested("popup-blocked").front(), other + "?auto=0");
    EXPECT_EQ(page.requested("popup-blocked").back(), other);

    page.click("many");
    ASSERT_TRUE(pumpUntil([&] { return page.requested("popup-blocked").size() >= 31 + 29; }));
    pumpFor(500);
    EXPECT_EQ(page.requested(), std::vector<std::string> {"about:blank#0"});
    EXPECT_EQ(page.requested("popup-blocked").size(), 31u + 29u);
    EXPECT_EQ(page.requested("popup-blocked").back(), "about:blank#29");
    // Nothing was handed to the desktop, nothing loaded here.
    EXPECT_EQ(readFile(opened), "");
    EXPECT_EQ(eventsNamed(page.wv, QStringLiteral("page-loaded")).size(), 1u);
}
