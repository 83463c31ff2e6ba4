// window.print() asks where to save the page as a PDF, writes it, and tells
// the host; a page cannot ask again without the user.
#include "dialog_user.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace kivtest;

namespace {

const char *printedPage = R"html(<!doctype html><title>Printed</title>
<style>button { display: block; width: 300px; height: 60px; }</style>
<h1>A page worth printing</h1>
<button id=print onclick="window.print()">print</button>)html";

} // namespace

TEST(PagePrinting, PrintSavesAPdfAndAnotherPrintNeedsTheUser)
{
    const std::string saved = tempDir();
    const int wv = kiv_webview_create(0, recordEvent);
    kiv_webview_set_title(wv, "printing window");
    kiv_webview_set_html(wv, printedPage);
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));

    const std::string target = saved + "/the page.pdf";
    {
        DialogUser user("Print to PDF", 500,
            {"key ctrl+a", "type --delay 20 " + shellQuoted(target), "key Return"});
        kiv_webview_run_js(wv, "window.print();");
        ASSERT_TRUE(waitForEvent(wv, QStringLiteral("print-finished"), 90000));
        user.join();
        EXPECT_TRUE(user.found());
    }
    EXPECT_EQ(eventsNamed(wv, QStringLiteral("print-finished")).front(),
        parseObject(R"({"event":"print-finished","oke":true,"path":")" + target + "\"}"));
    const std::string pdf = readFile(target);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_GT(pdf.size(), 1000u);

    // Without a click or key of the user's in between, nothing is asked.
    kiv_webview_run_js(wv, "window.print(); window.kiv_send_event({printed: 'again'});");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("js-evt")));
    pumpUntil([] { return false; }, 1500);
    EXPECT_TRUE(visibleWindows("Print to PDF").empty()) << "asked again without the user";

    // The user's click asks again; cancelled, nothing is printed or told.
    DialogUser user("Print to PDF", 500, {"key Escape"});
    ASSERT_TRUE(userClicks(wv, "printing window", "#print"));
    ASSERT_TRUE(pumpUntil([&] { return user.found() && !user.dialogShowing(); }, 60000));
    user.join();
    EXPECT_TRUE(user.goneAfterAnswer());
    pumpUntil([] { return false; }, 1000);
    EXPECT_EQ(eventsNamed(wv, QStringLiteral("print-finished")).size(), 1u);
    kiv_webview_close(wv);
}
