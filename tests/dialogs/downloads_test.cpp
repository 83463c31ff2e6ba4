// Downloads that pages start, saved where the user chooses in the library's
// save dialog, and reported to the host; a page cannot ask again without the
// user.
#include "dialog_user.h"
#include "test_support.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>

using namespace kivtest;

namespace {

bool exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// A page with a link to a file of the server and a link that saves a blob
// the page makes.
const char *downloadPage = R"(<!doctype html><title>downloads</title>
<a id=file href="/report.bin">report</a>
<a id=blob download="notes.txt">notes</a>
<script>
  document.getElementById("blob").href =
      URL.createObjectURL(new Blob(["notes written by the page\n"], {type: "text/plain"}));
</script>)";

struct DownloadPage
{
    std::string served = tempDir();
    std::string saved = tempDir();
    std::unique_ptr<LoopbackServer> server;
    int wv = 0;

    DownloadPage()
    {
        std::ofstream(served + "/report.bin", std::ios::binary) << std::string("\x01\x02report\x00\xff", 10);
        std::ofstream(served + "/page.html") << downloadPage;
        server = std::make_unique<LoopbackServer>(served);
        wv = kiv_webview_create(0, recordEvent);
        kiv_webview_set_url(wv, server->url("/page.html").c_str());
        waitForEvent(wv, QStringLiteral("page-loaded"));
    }

    std::vector<QJsonObject> named(const char *name) const
    {
        return eventsNamed(wv, QString::fromLatin1(name));
    }
};

// The user waits for the save dialog and types where the file goes.
std::vector<std::string> saveAs(const std::string &path)
{
    return {"type --delay 20 " + shellQuoted(path), "key Return"};
}

} // namespace

TEST(Downloads, ALinkToAServedFileIsSavedWhereTheUserChooses)
{
    DownloadPage page;
    const std::string target = page.saved + "/my report.bin";
    DialogUser user("Save download", 1000, saveAs(target));
    kiv_webview_run_js(page.wv, "document.getElementById('file').click();");
    ASSERT_TRUE(pumpUntil([&] { return !page.named("download-finished").empty(); }, 90000));
    user.join();
    EXPECT_TRUE(user.found());

    const std::string url = page.server->url("/report.bin");
    ASSERT_EQ(page.named("download-started").size(), 1u);
    EXPECT_EQ(page.named("download-started")[0],
        parseObject(R"({"event":"download-started","path":")" + target + R"(","url":")" + url
            + "\"}"));
    EXPECT_EQ(page.named("download-finished")[0],
        parseObject(R"({"event":"download-finished","oke":true,"path":")" + target
            + R"(","url":")" + url + "\"}"));
    EXPECT_EQ(readFile(target), std::string("\x01\x02report\x00\xff", 10));
    // The page stays where it was.
    EXPECT_EQ(parseObject(callJs(page.wv, "return location.pathname;").value).value("result"),
        QStringLiteral("/page.html"));
}

TEST(Downloads, ABlobThePageMakesIsSavedUnderTheNameTheUserGives)
{
    DownloadPage page;
    const std::string target = page.saved + "/saved-notes.txt";
    DialogUser user("Save download", 1000, saveAs(target));
    kiv_webview_run_js(page.wv, "document.getElementById('blob').click();");
    ASSERT_TRUE(pumpUntil([&] { return !page.named("download-finished").empty(); }, 90000));
    user.join();
    const QJsonObject finished = page.named("download-finished")[0];
    EXPECT_EQ(finished.value("oke"), QJsonValue(true));
    EXPECT_EQ(finished.value("path").toString().toStdString(), target);
    EXPECT_TRUE(finished.value("url").toString().startsWith(QStringLiteral("blob:")));
    EXPECT_EQ(readFile(target), "notes written by the page\n");
}

TEST(Downloads, CancellingTheDialogCancelsTheDownload)
{
    DownloadPage page;
    const std::string proposed
        = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString()
        + "/report.bin";
    const bool existedBefore = exists(proposed);
    DialogUser user("Save download", 1000, {"key Escape"});
    kiv_webview_run_js(page.wv,
        "document.getElementById('file').click();"
        " setTimeout(() => window.kiv_send_event({after: 'download'}), 10);");
    ASSERT_TRUE(pumpUntil([&] { return user.found() && !user.dialogShowing(); }, 90000));
    user.join();
    EXPECT_TRUE(user.goneAfterAnswer());
    ASSERT_TRUE(waitForEvent(page.wv, QStringLiteral("js-evt")));
    pumpUntil([] { return false; }, 1000);
    EXPECT_TRUE(page.named("download-started").empty());
    EXPECT_TRUE(page.named("download-finished").empty());
    // Nothing was written where the engine proposed to put it.
    EXPECT_EQ(exists(proposed), existedBefore) << proposed;
}

// A script that starts six downloads gets one save dialog; the other five
// are refused and reported. A click of the user's on the page earns the
// next dialog.
TEST(Downloads, APageGetsOneSaveDialogPerUserGesture)
{
    DownloadPage page;
    kiv_webview_set_title(page.wv, "downloading window");
    kiv_webview_run_js(page.wv,
        "const b = document.createElement('button'); b.id = 'again';"
        " b.textContent = 'again'; b.style = 'display:block;width:300px;height:60px';"
        " b.onclick = () => document.getElementById('file').click();"
        " document.body.append(b);");
    {
        DialogUser user("Save download", 500, {"key Escape"});
        kiv_webview_run_js(page.wv,
            "for (let i = 0; i < 6; i++) {"
            "  const a = document.createElement('a'); a.href = '/report.bin?' + i; a.download = '';"
            "  document.body.append(a); a.click(); }");
        ASSERT_TRUE(pumpUntil([&] { return page.named("download-blocked").size() >= 5; }, 90000))
            << page.named("download-blocked").size() << " blocked";
        ASSERT_TRUE(pumpUntil([&] { return user.found() && !user.dialogShowing(); }, 60000));
        user.join();
        EXPECT_TRUE(user.goneAfterAnswer());
    }
    pumpUntil([] { return false; }, 1500);
    EXPECT_TRUE(visibleWindows("Save download").empty()) << "a second dialog opened";
    // Which five were refused depends on which one the engine asked about
    // first: each of the six is either the dialog's or refused.
    std::set<std::string> urls;
    for (const QJsonObject &event : page.named("download-blocked"))
        urls.insert(event.value("url").toString().toStdString());
    std::set<std::string> all;
    for (int i = 0; i < 6; ++i)
        all.insert(page.server->url("/report.bin?" + std::to_string(i)));
    EXPECT_EQ(urls.size(), 5u);
    EXPECT_TRUE(std::includes(all.begin(), all.end(), urls.begin(), urls.end()));
    EXPECT_TRUE(page.named("download-started").empty());

    const std::string target = page.saved + "/after a click.bin";
    DialogUser user("Save download", 500, saveAs(target));
    ASSERT_TRUE(userClicks(page.wv, "downloading window", "#again"));
    ASSERT_TRUE(pumpUntil([&] { return !page.named("download-finished").empty(); }, 90000));
    user.join();
    EXPECT_TRUE(user.found());
    EXPECT_EQ(readFile(target), std::string("\x01\x02report\x00\xff", 10));
    EXPECT_EQ(page.named("download-blocked").size(), 5u);
}
