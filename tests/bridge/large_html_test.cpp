// HTML texts of any size through kiv_webview_set_html: those that fit the
// web engine's 2 MiB data URLs as before, larger ones served from memory.
#include "page_queries.h"
#include "test_support.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <fstream>

using namespace kivtest;

namespace {

// A page of about size bytes: a title, a first paragraph, then lines of text
// (every space takes three characters in a data URL), and a script at the
// end that records that the whole page has been read.
std::string largePage(size_t size, const std::string &title)
{
    std::string html = "<title>" + title + "</title><p id=first>first</p><pre>";
    const std::string line = "a b c d e f g h i j k l m n o p q r s t u v w x y z\n";
    while (html.size() < size)
        html += line;
    html += "</pre><script>window.readWhole = document.documentElement.outerHTML.length;"
            "</script>";
    return html;
}

// A page of about size bytes of one of two kinds, each ending in a script
// that counts what the page holds: "text" is one long run of letters in one
// paragraph (its count is the run's length), "elements" a <div> with two
// children, repeated (its count is the number of those <div>s). A script at
// the top notes how the page stood while it was loading.
struct KindedPage
{
    std::string html;
    long long count = 0;
};

KindedPage kindedPage(size_t size, bool text, const std::string &title)
{
    KindedPage page;
    page.html = "<title>" + title
        + "</title>"
          "<script>window.drawnWhileLoading = document.visibilityState;</script>";
    if (text) {
        page.html += "<p id=run>";
        while (page.html.size() < size)
            page.html += static_cast<char>('a' + page.count++ % 26);
        page.html += "</p><script>window.counted ="
                     " document.getElementById('run').textContent.length;</script>";
    } else {
        const std::string unit = "<div><span>a</span><b>b</b></div>\n";
        while (page.html.size() < size) {
            page.html += unit;
            ++page.count;
        }
        page.html += "<script>window.counted = document.getElementsByTagName('div').length;"
                     "</script>";
    }
    return page;
}

size_t loadCount(int wv)
{
    return loadTexts(wv).size();
}

} // namespace

TEST(LargeHtml, PagesOfOneThreeAndSixteenMebibytesShowWhole)
{
    const int wv = kiv_webview_create(0, recordEvent);
    for (bool text : {true, false}) {
        for (size_t mib : {1u, 3u, 16u}) {
            const std::string title
                = std::string(text ? "text " : "elements ") + std::to_string(mib) + " MiB";
            SCOPED_TRACE(title);
            const KindedPage page = kindedPage(mib << 20, text, title);
            const size_t loads = loadCount(wv);
            ASSERT_EQ(kiv_webview_set_html(wv, page.html.c_str()), oke);
            ASSERT_TRUE(pumpUntil([&] { return loadCount(wv) > loads; }, 180000));
            EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
            // The whole page is there, counted by its own script at its end
            // and again now; it was not drawn while it loaded, and is now.
            const QJsonArray seen
                = parseObject(callJs(wv,
                                  text ? "return [document.title, window.counted,"
                                         " document.getElementById('run').textContent.length,"
                                         " window.drawnWhileLoading, document.visibilityState];"
                                       : "return [document.title, window.counted,"
                                         " document.getElementsByTagName('div').length,"
                                         " window.drawnWhileLoading, document.visibilityState];")
                                  .value)
                      .value("result")
                      .toArray();
            EXPECT_EQ(seen.at(0).toString().toStdString(), title);
            EXPECT_EQ(seen.at(1).toDouble(), static_cast<double>(page.count));
            EXPECT_EQ(seen.at(2).toDouble(), static_cast<double>(page.count));
            EXPECT_EQ(seen.at(3).toString().toStdString(), "hidden");
            EXPECT_EQ(seen.at(4).toString().toStdString(), "visible");
        }
    }
}

// Up to 64 KiB a text goes as a data URL, drawn as it comes like any page;
// one byte more and it is served, and drawn once it has loaded.
TEST(LargeHtml, TextsUpTo64KiBGoAsDataUrlsAndLargerOnesAreServed)
{
    const int wv = kiv_webview_create(0, recordEvent);
    for (size_t size : {size_t(64) << 10, (size_t(64) << 10) + 1}) {
        SCOPED_TRACE(std::to_string(size) + " bytes");
        std::string html = kindedPage(size - 200, false, "edge").html;
        html.append(size - html.size(), ' ');
        ASSERT_EQ(html.size(), size);
        const size_t loads = loadCount(wv);
        ASSERT_EQ(kiv_webview_set_html(wv, html.c_str()), oke);
        ASSERT_TRUE(pumpUntil([&] { return loadCount(wv) > loads; }, 60000));
        const bool served = size > (size_t(64) << 10);
        EXPECT_EQ(callJs(wv,
                      "return [location.protocol, window.drawnWhileLoading,"
                      " document.visibilityState].join(' ');")
                      .value,
            std::string(R"({"exn":false,"oke":true,"result":")")
                + (served ? "kiv-html: hidden visible" : "data: visible visible") + "\"}");
    }
}

// A large text that replaces another one still loading is held until it
// has loaded itself, then drawn.
TEST(LargeHtml, ATextThatReplacesOneStillLoadingIsDrawnOnceLoaded)
{
    const int wv = kiv_webview_create(0, recordEvent);
    const KindedPage first = kindedPage(size_t(3) << 20, false, "first");
    const KindedPage second = kindedPage(size_t(3) << 20, false, "second");
    ASSERT_EQ(kiv_webview_set_html(wv, first.html.c_str()), oke);
    ASSERT_EQ(kiv_webview_set_html(wv, second.html.c_str()), oke);
    ASSERT_TRUE(pumpUntil(
        [&] {
            const std::vector<std::string> loads = loadTexts(wv);
            return !loads.empty() && loads.back() == R"({"event":"page-loaded","oke":true})";
        },
        120000));
    EXPECT_EQ(callJs(wv,
                  "return [document.title, window.drawnWhileLoading,"
                  " document.visibilityState].join(' ');")
                  .value,
        R"({"exn":false,"oke":true,"result":"second hidden visible"})");
}

// The served page behaves like a small one: it reloads whole, the bridge
// works, it may not show local files, and the next small page replaces it.
TEST(LargeHtml, AServedPageReloadsAndKeepsToItselfLikeASmallOne)
{
    const std::string dir = tempDir();
    // A 1x1 PNG.
    const unsigned char png[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00,
        0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06,
        0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54,
        0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x1f, 0x00, 0x05, 0x00, 0x01, 0xff, 0x89, 0x99,
        0x3d, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    std::ofstream(dir + "/dot.png", std::ios::binary)
        .write(reinterpret_cast<const char *>(png), sizeof png);
    const std::string image = "<img id=dot src='file://" + dir + "/dot.png'>";

    const int wv = kiv_webview_create(0, recordEvent);
    for (size_t size : {size_t(1000), size_t(3) << 20}) {
        SCOPED_TRACE(std::to_string(size) + " bytes");
        const size_t loads = loadCount(wv);
        ASSERT_EQ(kiv_webview_set_html(wv, (image + largePage(size, "page")).c_str()), oke);
        ASSERT_TRUE(pumpUntil([&] { return loadCount(wv) > loads; }, 120000));
        // The image is there, and broken: not loaded from the local file.
        EXPECT_EQ(callJs(wv,
                      "const dot = document.getElementById('dot');"
                      " return dot.complete + ' ' + dot.naturalWidth;")
                      .value,
            R"({"exn":false,"oke":true,"result":"true 0"})");
        EXPECT_EQ(callJs(wv, "return window.isSecureContext;").value,
            R"({"exn":false,"oke":true,"result":false})");
    }
    const std::string served = parseObject(callJs(wv, "return location.href;").value)
                                   .value("result")
                                   .toString()
                                   .toStdString();
    EXPECT_EQ(served.rfind("kiv-html:", 0), 0u) << served;

    // A reload shows the same page again, with the bridge in place.
    const size_t loads = loadCount(wv);
    kiv_webview_run_js(wv, "location.reload();");
    ASSERT_TRUE(pumpUntil([&] { return loadCount(wv) > loads; }, 120000));
    EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
    EXPECT_EQ(callJs(wv, "return document.title + ' ' + document.visibilityState;").value,
        R"({"exn":false,"oke":true,"result":"page visible"})");
    kiv_webview_run_js(wv, "window.kiv_send_event({from: 'served'});");
    EXPECT_TRUE(pumpUntil(
        [&] { return !itemsOf(wv).empty() && itemsOf(wv).back() == R"({"from":"served"})"; }));

    // A small page replaces it as a data: document.
    const size_t before = loadCount(wv);
    ASSERT_EQ(kiv_webview_set_html(wv, "<p>small</p>"), oke);
    ASSERT_TRUE(pumpUntil([&] { return loadCount(wv) > before; }));
    EXPECT_EQ(callJs(wv, "return location.protocol;").value,
        R"({"exn":false,"oke":true,"result":"data:"})");
}
