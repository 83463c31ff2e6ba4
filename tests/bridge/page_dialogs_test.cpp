// The page's own modal dialogs stay open, however many slices pass, until
// the user answers them; the page then gets the user's answer.
#include "page_queries.h"
#include "dialog_guard.h"
#include "test_support.h"

#include <QApplication>
#include <QJsonDocument>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace kivtest;

namespace {

// What the user (a second thread driving the display) saw and did.
struct User
{
    std::atomic<bool> found {false};
    std::atomic<bool> stillOpen {false};
    std::atomic<bool> answered {false};
};

std::string firstLine(std::string text)
{
    const size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

// Waits for the dialog whose title matches pattern, leaves it open for 1.5 s
// (hundreds of slices), checks it is still there, then gives it the focus
// and types into it (each of keys is one xdotool command) until it closes.
void answerDialog(User &user, const std::string &pattern, std::vector<std::string> keys)
{
    const std::string name = "--onlyvisible --name '" + pattern + "'";
    std::string id;
    for (int waited = 0; id.empty() && waited < 60000; waited += 100) {
        id = firstLine(searchWindows(name));
        if (id.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (id.empty()) {
        std::fprintf(stderr, "no window matching %s appeared; visible windows:\n%s", pattern.c_str(),
            capture("for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do"
                    " echo \"  $w $(xdotool getwindowname $w 2>&1)\"; done; wmctrl -l 2>&1")
                .c_str());
        return;
    }
    user.found = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto open
        = [&] { return searchWindows(name).find(id) != std::string::npos; };
    user.stillOpen = open();
    user.answered = true;
    for (int attempt = 0; attempt < 10 && open(); ++attempt) {
        run("timeout 10 xdotool windowactivate --sync " + id + " >/dev/null 2>&1");
        run("timeout 10 xdotool windowfocus --sync " + id + " >/dev/null 2>&1");
        std::fprintf(stderr, "answering dialog %s (attempt %d), focus on %s\n", id.c_str(),
            attempt + 1, firstLine(capture("xdotool getwindowfocus 2>&1")).c_str());
        for (const std::string &command : keys)
            run("xdotool " + command);
        for (int wait = 0; wait < 20 && open(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

User user;
int afterDismissal = 0;
int beforeDismissal = 0;

// Records the page's items and whether the user had answered by then.
void dialogPageEvents(kiv_event_t *event)
{
    if (QJsonDocument::fromJson(event->event).object().value("event") == "js-evt")
        ++(user.answered ? afterDismissal : beforeDismissal);
    recordEvent(event);
}

int dialogWindow()
{
    const int wv = kiv_webview_create(0, dialogPageEvents);
    kiv_webview_set_title(wv, "dialog page");
    kiv_webview_set_html(wv, "<p>dialogs</p>");
    waitForEvent(wv, QStringLiteral("page-loaded"));
    return wv;
}

// Fails the test when the guard had to cancel a dialog the user missed.
void expectNoneLeftOpen(const DialogGuard &guard)
{
    EXPECT_TRUE(guard.cancelled().isEmpty())
        << "dialogs left open and cancelled after the bound: "
        << guard.cancelled().join(QStringLiteral(", ")).toStdString();
}

} // namespace

TEST(PageDialogs, ConfirmAnsweredByTheUserReturnsTrue)
{
    const int wv = dialogWindow();
    DialogGuard guard;
    const std::string dir = tempDir();
    run("echo '<p>witness</p>' > " + dir + "/witness.html");
    LoopbackServer server(dir);
    const int witness = kiv_webview_create(0, recordEvent);
    kiv_webview_set_url(witness, server.url("/witness.html").c_str());
    ASSERT_TRUE(waitForEvent(witness, QStringLiteral("page-loaded")));
    kiv_webview_run_js(
        witness, "let n = 0; setInterval(() => window.kiv_send_event({n: n++}), 20);");

    std::thread driver(answerDialog, std::ref(user), "^Confirm$",
        std::vector<std::string> {"key Return"});
    kiv_webview_run_js(wv,
        "setTimeout(() => { const r = confirm('Proceed?'); window.kiv_send_event({answer: r}); },"
        " 10);");
    const bool arrived = pumpUntil([&] { return !itemsOf(wv).empty(); }, 90000);
    driver.join();
    expectNoneLeftOpen(guard);
    ASSERT_TRUE(user.found) << "no confirm dialog appeared";
    EXPECT_TRUE(user.stillOpen) << "the dialog closed before the user answered";
    ASSERT_TRUE(arrived);
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"answer":true})"});
    EXPECT_EQ(beforeDismissal, 0);
    // The other window's items, queued while the dialog was open, are all
    // delivered once it has closed, in order.
    const size_t seen = itemsOf(witness).size();
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(witness).size() >= seen + 10; }));
    const std::vector<std::string> ticks = itemsOf(witness);
    for (size_t i = 0; i < ticks.size(); ++i)
        ASSERT_EQ(ticks[i], "{\"n\":" + std::to_string(i) + "}");
}

TEST(PageDialogs, AlertStaysOpenUntilDismissed)
{
    const int wv = dialogWindow();
    DialogGuard guard;
    std::thread driver(
        answerDialog, std::ref(user), "^Alert$", std::vector<std::string> {"key Return"});
    kiv_webview_run_js(wv, "alert('Hello'); window.kiv_send_event({after: 'alert'});");
    const bool arrived = pumpUntil([&] { return !itemsOf(wv).empty(); }, 90000);
    driver.join();
    expectNoneLeftOpen(guard);
    ASSERT_TRUE(user.found) << "no alert dialog appeared";
    EXPECT_TRUE(user.stillOpen);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"after":"alert"})"});
    // The page went on only once the user had dismissed the alert.
    EXPECT_EQ(beforeDismissal, 0);
    EXPECT_EQ(afterDismissal, 1);
}

TEST(PageDialogs, PromptReturnsWhatTheUserTyped)
{
    const int wv = dialogWindow();
    DialogGuard guard;
    std::thread driver(answerDialog, std::ref(user), "^Prompt$",
        std::vector<std::string> {"type --delay 50 'kiv typed'", "key Return"});
    kiv_webview_run_js(wv, "window.kiv_send_event({typed: prompt('Name?', '')});");
    const bool arrived = pumpUntil([&] { return !itemsOf(wv).empty(); }, 90000);
    driver.join();
    expectNoneLeftOpen(guard);
    ASSERT_TRUE(user.found) << "no prompt dialog appeared";
    EXPECT_TRUE(user.stillOpen);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(itemsOf(wv), std::vector<std::string> {R"({"typed":"kiv typed"})"});
}

namespace {

// What the page's dialog looked like: its title and width, read on the
// library's thread while the dialog runs; the dialog is then dismissed.
struct Seen
{
    QString title;
    int width = 0;
};

Seen nextDialog(int wv, const std::string &script)
{
    Seen seen;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            seen.title = dialog->windowTitle();
            seen.width = dialog->width();
            dialog->close();
        }
    });
    look.start(100);
    DialogGuard guard(60000);
    const size_t before = itemsOf(wv).size();
    kiv_webview_run_js(wv, (script + " window.kiv_send_event({shown: 1});").c_str());
    pumpUntil([&] { return itemsOf(wv).size() > before; }, 60000);
    return seen;
}

} // namespace

// The page's dialogs are titled by the page's title, else its host name,
// else a plain word: never by the URL of a page shown from HTML text, which
// is that whole text. A title taken from the page is cut like window titles.
TEST(PageDialogs, TitlesAreShortAndNeverTheUrl)
{
    const int wv = kiv_webview_create(0, recordEvent);
    kiv_webview_resize(wv, 500, 400);
    auto show = [&](const std::string &html) {
        const size_t loads = loadTexts(wv).size();
        kiv_webview_set_html(wv, html.c_str());
        pumpUntil([&] { return loadTexts(wv).size() > loads; });
    };

    show("<p>no title of its own, and a long text " + std::string(2000, 'x') + "</p>");
    const Seen alert = nextDialog(wv, "alert('Hello');");
    EXPECT_EQ(alert.title, QStringLiteral("Alert"));
    EXPECT_LT(alert.width, 500) << "wider than its window";
    EXPECT_EQ(nextDialog(wv, "confirm('Sure?');").title, QStringLiteral("Confirm"));
    EXPECT_EQ(nextDialog(wv, "prompt('Name?', 'x');").title, QStringLiteral("Prompt"));

    show("<title>Notes</title><p>titled</p>");
    EXPECT_EQ(nextDialog(wv, "confirm('Save?');").title, QStringLiteral("Notes"));

    show("<title>" + std::string(100000, 't') + "</title><p>long title</p>");
    const QString longTitle = nextDialog(wv, "alert('long');").title;
    EXPECT_TRUE(longTitle.startsWith(QStringLiteral("tttt"))) << longTitle.left(40).toStdString();
    EXPECT_LE(longTitle.size(), 65536);

    const std::string dir = tempDir();
    run("echo '<p>served</p>' > " + dir + "/untitled.html");
    LoopbackServer server(dir);
    const size_t loads = loadTexts(wv).size();
    kiv_webview_set_url(wv, server.url("/untitled.html").c_str());
    ASSERT_TRUE(pumpUntil([&] { return loadTexts(wv).size() > loads; }));
    EXPECT_EQ(nextDialog(wv, "alert('from a server');").title, QStringLiteral("127.0.0.1"));
}
