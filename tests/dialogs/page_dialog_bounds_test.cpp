// A page cannot hold its window with dialogs: the close button works while
// any of them is open (the host hears "can-close?" and may close the
// window, which ends the dialog), and from its second dialog on a page's
// alert, confirm and prompt offer to prevent more. The login dialog of HTTP
// authentication retries with what the user typed, or ends the load.
#include "dialog_user.h"
#include "page_queries.h"
#include "test_support.h"
#include "window_queries.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace kivtest;

namespace {

// A host that closes a window as soon as it is asked to, from its callback.
void closeWhenAsked(kiv_event_t *event)
{
    const bool asked = std::strstr(event->event, "\"can-close?\"") != nullptr;
    const int wv = event->wv;
    recordEvent(event);
    if (asked)
        kiv_webview_close(wv);
}

// The user waits for the dialog titled dialogTitle, then asks the window
// manager to close the window titled windowTitle, as its close button does.
struct CloserUser
{
    std::atomic<bool> sawDialog {false};
    std::atomic<bool> asked {false};
    std::thread worker;

    CloserUser(const std::string &dialogTitle, const std::string &windowTitle)
        : worker([this, dialogTitle, windowTitle] {
            for (int waited = 0; waited < 60000 && !sawDialog; waited += 200) {
                sawDialog = !visibleWindows(dialogTitle).empty();
                if (!sawDialog)
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
            if (!sawDialog)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            const std::string ids = visibleWindows(windowTitle);
            const std::string id = ids.substr(0, ids.find('\n'));
            asked = !id.empty() && run("timeout 10 wmctrl -i -c " + id) == 0;
        })
    {
    }
    ~CloserUser()
    {
        if (worker.joinable())
            worker.join();
    }
};

struct Case
{
    const char *name;
    const char *dialogTitle;
    std::function<void(int wv)> start;
};

} // namespace

TEST(PageDialogBounds, TheCloseButtonWorksWhileAnyPageDialogIsOpen)
{
    const std::string dir = tempDir();
    std::ofstream(dir + "/private.html") << "<title>private</title><p>private</p>";
    std::ofstream(dir + "/where.html") << "<title>Where</title><p>where</p>";
    LoopbackServer server(dir);
    const std::vector<Case> cases = {
        {"alert", "Alerts", [](int wv) {
             kiv_webview_set_html(wv, "<title>Alerts</title><p>alerts</p>");
             waitForCount(wv, "page-loaded", 1);
             kiv_webview_run_js(wv, "setTimeout(() => { for (;;) alert('again'); }, 10);");
         }},
        {"confirm", "Confirms", [](int wv) {
             kiv_webview_set_html(wv, "<title>Confirms</title><p>confirms</p>");
             waitForCount(wv, "page-loaded", 1);
             kiv_webview_run_js(wv, "setTimeout(() => { while (!confirm('leave?')); }, 10);");
         }},
        {"prompt", "Prompts", [](int wv) {
             kiv_webview_set_html(wv, "<title>Prompts</title><p>prompts</p>");
             waitForCount(wv, "page-loaded", 1);
             kiv_webview_run_js(wv, "setTimeout(() => { for (;;) prompt('name?'); }, 10);");
         }},
        {"login", "127.0.0.1", [&](int wv) {
             kiv_webview_set_url(wv, server.url("/private/private.html").c_str());
         }},
        {"permission", "Where", [&](int wv) {
             kiv_webview_set_url(wv, server.url("/where.html").c_str());
             waitForCount(wv, "page-loaded", 1);
             kiv_webview_run_js(wv, "navigator.geolocation.getCurrentPosition(() => {}, () => {});");
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DialogGuard guard(60000);
        const int wv = kiv_webview_create(0, closeWhenAsked);
        const std::string windowTitle = std::string("closable ") + c.name;
        kiv_webview_set_title(wv, windowTitle.c_str());
        CloserUser user(c.dialogTitle, windowTitle);
        c.start(wv);
        // The loop pumps until the window has closed: the call that runs
        // the dialog returns once the host has closed the window.
        EXPECT_TRUE(pumpUntil([&] { return countOf(wv, "closed") == 1; }, 90000));
        user.worker.join();
        EXPECT_TRUE(user.sawDialog) << "no dialog titled " << c.dialogTitle;
        EXPECT_TRUE(user.asked);
        EXPECT_EQ(countOf(wv, "can-close?"), 1u);
        EXPECT_FALSE(kiv_webview_valid(wv));
        EXPECT_TRUE(guard.cancelled().isEmpty()) << guard.cancelled().join(", ").toStdString();
        EXPECT_TRUE(pumpUntil([] { return browserWindowCount() == 0; }));
        EXPECT_TRUE(visibleWindows(c.dialogTitle).empty());
    }
}

namespace {

// What the test sees of each of the page's dialogs as it opens: whether it
// offers to prevent more.
struct DialogsSeen
{
    std::vector<bool> offered;
    QTimer look;

    DialogsSeen()
    {
        QObject::connect(&look, &QTimer::timeout, [this] {
            QWidget *dialog = QApplication::activeModalWidget();
            // Marked, since the next dialog may well take the same address.
            if (!dialog || !dialog->isVisible() || dialog->property("kivtest-seen").toBool())
                return;
            dialog->setProperty("kivtest-seen", true);
            offered.push_back(!dialog->findChildren<QCheckBox *>().isEmpty());
        });
        look.start(50);
    }
};

} // namespace

namespace {

// A user who answers dialogs titled title one after the other: for each, the
// keys of one list (xdotool commands), once the dialog before has gone.
struct SequenceUser
{
    std::atomic<int> answered {0};
    std::thread worker;

    SequenceUser(const std::string &title, std::vector<std::vector<std::string>> answers)
        : worker([this, title, answers] {
            std::string previous;
            for (const std::vector<std::string> &keys : answers) {
                std::string id;
                for (int waited = 0; waited < 60000 && id.empty(); waited += 100) {
                    const std::string ids = visibleWindows(title);
                    const std::string first = ids.substr(0, ids.find('\n'));
                    if (!first.empty() && first != previous)
                        id = first;
                    else
                        std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                if (id.empty())
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                run("timeout 10 xdotool windowactivate --sync " + id + " >/dev/null 2>&1");
                for (const std::string &key : keys) {
                    run("timeout 10 xdotool " + key);
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                }
                for (int waited = 0; waited < 10000
                     && visibleWindows(title).find(id) != std::string::npos;
                     waited += 100)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                previous = id;
                ++answered;
            }
        })
    {
    }
    ~SequenceUser()
    {
        if (worker.joinable())
            worker.join();
    }
};

} // namespace

TEST(PageDialogBounds, FromTheSecondDialogOnAPageMayBePreventedFromOpeningMore)
{
    const int wv = kiv_webview_create(0, recordEvent);
    kiv_webview_set_title(wv, "chatty window");
    kiv_webview_set_html(wv, "<title>Chatty</title><p>chatty</p>");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));
    DialogGuard guard(60000);
    DialogsSeen seen;
    {
        // The user answers the first, then prevents more in the second.
        SequenceUser user("Chatty", {{"key Return"}, {"key alt+p", "key Return"}});
        kiv_webview_run_js(wv,
            "setTimeout(() => { alert('one'); alert('two'); alert('three');"
            " const c = confirm('four'); const p = prompt('five'); kiv_send_event({c, p}); }, 10);");
        ASSERT_TRUE(pumpUntil([&] { return !itemsOf(wv).empty(); }, 90000));
        user.worker.join();
        EXPECT_EQ(user.answered, 2);
    }
    EXPECT_EQ(seen.offered, (std::vector<bool> {false, true}));
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"c":false,"p":null})"});

    // A new document starts afresh.
    kiv_webview_set_html(wv, "<title>Chatty</title><p>again</p>");
    ASSERT_TRUE(waitForCount(wv, "page-loaded", 2));
    {
        SequenceUser user("Chatty", {{"key Return"}});
        kiv_webview_run_js(wv, "setTimeout(() => { alert('back'); kiv_send_event({back: 1}); }, 10);");
        ASSERT_TRUE(pumpUntil([&] { return itemsOf(wv).size() == 2; }, 60000));
        user.worker.join();
        EXPECT_EQ(user.answered, 1);
    }
    EXPECT_EQ(seen.offered, (std::vector<bool> {false, true, false}));
    EXPECT_TRUE(guard.cancelled().isEmpty()) << guard.cancelled().join(", ").toStdString();
}

namespace {

// What the login dialog showed.
struct LoginSeen
{
    QString text;
    QTimer look;

    LoginSeen()
    {
        QObject::connect(&look, &QTimer::timeout, [this] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (!dialog || !text.isEmpty())
                return;
            for (QLabel *label : dialog->findChildren<QLabel *>())
                text += label->text() + QLatin1Char('\n');
        });
        look.start(50);
    }
};

std::string bodyText(int wv)
{
    return parseObject(callJs(wv, "return document.body.innerText;").value)
        .value("result")
        .toString()
        .toStdString();
}

} // namespace

TEST(PageDialogBounds, TheLoginDialogRetriesWithTheCredentialsOrEndsTheLoad)
{
    const std::string dir = tempDir();
    std::ofstream(dir + "/page.html") << "<title>inside</title><p>the private page</p>";
    LoopbackServer server(dir);
    const std::string where = "127.0.0.1:" + std::to_string(server.port());

    const int wv = kiv_webview_create(0, recordEvent);
    kiv_webview_set_title(wv, "login window");
    {
        LoginSeen seen;
        DialogUser user("127.0.0.1", 500,
            {"type --delay 30 kiv", "key Tab", "type --delay 30 s3cret", "key Return"});
        ASSERT_EQ(kiv_webview_set_url(wv, server.url("/private/page.html").c_str()), oke);
        ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded"), 60000));
        user.join();
        EXPECT_TRUE(user.found());
        EXPECT_TRUE(seen.text.contains(QString::fromStdString(where))) << seen.text.toStdString();
        EXPECT_TRUE(seen.text.contains(QStringLiteral("kiv tests"))) << seen.text.toStdString();
    }
    // The user's keys went to the user name first, then, after Tab, to the
    // password: the server let the page through.
    EXPECT_EQ(loadTexts(wv).back(), R"({"event":"page-loaded","oke":true})");
    EXPECT_EQ(bodyText(wv), "the private page");

    // Cancelled: the load ends with what the server answered. (Another
    // server: the engine keeps the credentials that worked for the first.)
    LoopbackServer otherServer(dir);
    const int other = kiv_webview_create(0, recordEvent);
    kiv_webview_set_title(other, "login window 2");
    {
        DialogUser user("127.0.0.1", 300, {"key Escape"});
        ASSERT_EQ(kiv_webview_set_url(other, otherServer.url("/private/page.html").c_str()), oke);
        ASSERT_TRUE(waitForEvent(other, QStringLiteral("page-loaded"), 60000));
        user.join();
        EXPECT_TRUE(user.found());
    }
    EXPECT_EQ(bodyText(other), "denied");
    // The password went nowhere else.
    for (const RecordedEvent &e : events())
        EXPECT_EQ(e.json.find("s3cret"), std::string::npos) << e.json;
}
