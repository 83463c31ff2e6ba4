// Pages that ask for a new window (a link with a target, window.open): the
// host is told, web addresses go to the desktop's browser, and without one
// they show in the window itself.
#include "page_queries.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using namespace kivtest;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const char *linkingPage = R"(<!doctype html><title>links</title>
<a id=blank target=_blank href="/other.html">other</a>
<a id=mail target=_blank href="mailto:someone@example.org">mail</a>)";

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
        kiv_webview_set_url(wv, server->url("/links.html").c_str());
        waitForEvent(wv, QStringLiteral("page-loaded"));
    }

    std::vector<std::string> requested() const
    {
        std::vector<std::string> urls;
        for (const QJsonObject &e : eventsNamed(wv, QStringLiteral("new-window")))
            urls.push_back(e.value("url").toString().toStdString());
        return urls;
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

    kiv_webview_run_js(page.wv, "document.getElementById('blank').click();");
    ASSERT_TRUE(pumpUntil([&] { return readFile(opened).find(other) != std::string::npos; }));
    kiv_webview_run_js(page.wv, ("window.open('" + other + "?by=script');").c_str());
    ASSERT_TRUE(pumpUntil([&] { return readFile(opened).find("?by=script") != std::string::npos; }));
    kiv_webview_run_js(page.wv, "document.getElementById('mail').click();");
    ASSERT_TRUE(pumpUntil([&] { return readFile(opened).find("mailto:") != std::string::npos; }));
    // An empty window is only reported: nothing to show anywhere.
    kiv_webview_run_js(page.wv, "window.open('about:blank');");
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
    kiv_webview_run_js(page.wv, "document.getElementById('blank').click();");
    const bool shown = pumpUntil(
        [&] { return eventsNamed(page.wv, QStringLiteral("page-loaded")).size() >= 2; });
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(shown);
    EXPECT_EQ(page.requested(), std::vector<std::string> {page.server->url("/other.html")});
    EXPECT_EQ(page.location(), page.server->url("/other.html"));
}
