// Browser windows as the window manager (openbox on the private display) and
// the user see them: states, activation, titles, the close button, and the
// developer-tools windows.
#include "test_support.h"
#include "window_queries.h"

#include <QMainWindow>
#include <QPointer>

#include <gtest/gtest.h>

using namespace kivtest;

namespace {

// Waits until the window state of wv is expected (the window manager answers
// asynchronously) and returns the last state read.
window_state_t waitForState(int wv, window_state_t expected, int timeoutMs = 15000)
{
    window_state_t state = kiv_webview_window_state(wv);
    pumpUntil(
        [&] {
            state = kiv_webview_window_state(wv);
            return state == expected;
        },
        timeoutMs);
    return state;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string activeWindowId()
{
    return trimmed(capture("xdotool getactivewindow 2>/dev/null"));
}

} // namespace

TEST(WindowManager, MaximizeMinimizeHideAndShowNormalGiveTheirStates)
{
    const int wv = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_present(wv), oke);
    EXPECT_EQ(waitForState(wv, normal_active), normal_active);

    ASSERT_EQ(kiv_webview_maximize(wv), oke);
    EXPECT_EQ(waitForState(wv, maximized_active), maximized_active);

    ASSERT_EQ(kiv_webview_minimize(wv), oke);
    EXPECT_EQ(waitForState(wv, minimized), minimized);

    ASSERT_EQ(kiv_webview_show_normal(wv), oke);
    EXPECT_NE(waitForState(wv, normal_active), minimized);

    ASSERT_EQ(kiv_webview_hide(wv), oke);
    EXPECT_EQ(kiv_webview_window_state(wv), hidden);
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("hide")));
    ASSERT_EQ(kiv_webview_show(wv), oke);
    EXPECT_NE(kiv_webview_window_state(wv), hidden);
    // The last visibility change is the show.
    const std::vector<std::string> names = namesOf(wv);
    const auto lastShow = std::find(names.rbegin(), names.rend(), "show");
    const auto lastHide = std::find(names.rbegin(), names.rend(), "hide");
    ASSERT_NE(lastShow, names.rend());
    EXPECT_LT(lastShow - names.rbegin(), lastHide - names.rbegin());
}

// The window manager carries out a minimise after the call has returned; a
// show-normal asked before it did still wins, as the host's last word.
TEST(WindowManager, ShowNormalRightAfterMinimizeLeavesTheWindowNormal)
{
    const int wv = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_set_title(wv, "quick"), oke);
    ASSERT_EQ(kiv_webview_present(wv), oke);
    ASSERT_EQ(waitForState(wv, normal_active), normal_active);
    const std::string id = xWindowId("quick");
    ASSERT_FALSE(id.empty());

    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(kiv_webview_minimize(wv), oke);
        ASSERT_EQ(kiv_webview_show_normal(wv), oke);
        // Give the window manager time to act on both requests; then the
        // window must be shown, as the window manager sees it too.
        settle(1000);
        EXPECT_NE(kiv_webview_window_state(wv), minimized);
        EXPECT_NE(capture("xprop -id " + id + " WM_STATE").find("Normal"), std::string::npos);
    }
}

TEST(WindowManager, ShowNormalOfAnInactiveWindowGivesNormal)
{
    const int first = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_maximize(first), oke);
    const int second = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_present(second), oke);
    ASSERT_EQ(waitForState(second, normal_active), normal_active);
    EXPECT_EQ(waitForState(first, maximized), maximized);

    ASSERT_EQ(kiv_webview_show_normal(first), oke);
    EXPECT_EQ(waitForState(first, normal), normal);
    EXPECT_EQ(kiv_webview_window_state(second), normal_active);
}

TEST(WindowManager, PresentShowsRaisesAndActivatesAHiddenWindow)
{
    const int back = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_set_title(back, "back"), oke);
    const int front = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_set_title(front, "front"), oke);
    ASSERT_EQ(kiv_webview_present(front), oke);
    ASSERT_EQ(waitForState(front, normal_active), normal_active);

    ASSERT_EQ(kiv_webview_hide(back), oke);
    ASSERT_EQ(kiv_webview_window_state(back), hidden);
    clearEvents();
    ASSERT_EQ(kiv_webview_present(back), oke);
    EXPECT_EQ(eventsOf(back), std::vector<std::string> {R"({"event":"show"})"});
    EXPECT_EQ(waitForState(back, normal_active), normal_active);
    EXPECT_EQ(waitForState(front, normal), normal);

    // The window manager agrees: "back" is active and on top of the stack.
    const std::string backId = xWindowId("back");
    ASSERT_FALSE(backId.empty());
    pumpUntil([&] { return activeWindowId() == backId; }, 10000);
    EXPECT_EQ(activeWindowId(), backId);
    // Nothing is stacked above it.
    const std::string stack = trimmed(capture("xprop -root _NET_CLIENT_LIST_STACKING"));
    const std::string backHex = capture("printf '0x%x' " + backId);
    EXPECT_EQ(stack.substr(stack.size() - backHex.size()), backHex) << stack;
}

TEST(WindowManager, CloseButtonAsksTheHostEachTimeAndTheWindowStays)
{
    const int wv = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_set_title(wv, "close me"), oke);
    settle();

    ASSERT_TRUE(requestClose("close me"));
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("can-close?")));
    ASSERT_TRUE(requestClose("close me"));
    ASSERT_TRUE(
        pumpUntil([&] { return eventsNamed(wv, QStringLiteral("can-close?")).size() == 2; }));
    pumpFor(500);

    EXPECT_EQ(eventsOf(wv),
        (std::vector<std::string> {R"({"event":"can-close?"})", R"({"event":"can-close?"})"}));
    EXPECT_TRUE(kiv_webview_valid(wv));
    EXPECT_NE(kiv_webview_window_state(wv), hidden);
    EXPECT_FALSE(xWindowId("close me").empty()) << "the window manager no longer shows it";

    // The host agrees: now it closes.
    kiv_webview_close(wv);
    EXPECT_EQ(eventsOf(wv).back(), R"({"event":"closed"})");
    EXPECT_EQ(countOf(wv, "hide"), 0);
}

TEST(WindowManager, TitleIsVisibleToTheWindowManager)
{
    const int wv = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(kiv_webview_set_title(wv, "Grüße aus dem Fenster 1"), oke);
    const std::string id = xWindowId("Grüße aus dem Fenster 1");
    ASSERT_FALSE(id.empty());
    EXPECT_NE(capture("xprop -id " + id + " _NET_WM_NAME").find("Grüße aus dem Fenster 1"),
        std::string::npos);

    ASSERT_EQ(kiv_webview_set_title(wv, "renamed"), oke);
    EXPECT_EQ(xWindowId("renamed"), id);
    EXPECT_TRUE(trimmed(capture("xdotool search --name '^Grüße aus dem Fenster 1$'")).empty());
}

TEST(WindowManager, DeveloperToolsOpenTwiceAndGoWithTheirWindow)
{
    const int wv = createWindowWithHtml("<p>inspected</p>");
    const int other = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(devToolsWindows().size(), 0u);

    ASSERT_EQ(kiv_webview_open_devtools(wv), oke);
    ASSERT_EQ(kiv_webview_open_devtools(wv), oke);
    std::vector<QMainWindow *> tools = devToolsWindows();
    ASSERT_EQ(tools.size(), 2u);
    std::vector<QPointer<QMainWindow>> watched;
    for (QMainWindow *t : tools) {
        watched.emplace_back(t);
        EXPECT_TRUE(t->isVisible());
        EXPECT_EQ(t->size(), QSize(800, 600));
    }
    // The window manager shows two more windows of 800x600.
    const std::string geometries = capture("xwininfo -root -tree | grep -c ' 800x600+'");
    EXPECT_GE(std::atoi(geometries.c_str()), 2) << geometries;

    // Each call gives a new window, and the page still works.
    const CallResult text = callJs(wv, "return document.body.textContent;");
    EXPECT_EQ(text.value, R"({"exn":false,"oke":true,"result":"inspected"})");

    kiv_webview_close(wv);
    pumpUntil([&] { return devToolsWindows().empty(); }, 10000);
    EXPECT_TRUE(devToolsWindows().empty());
    for (const QPointer<QMainWindow> &t : watched)
        EXPECT_TRUE(t.isNull()) << "a developer-tools window outlived its browser window";
    EXPECT_TRUE(kiv_webview_valid(other));
    EXPECT_EQ(kiv_webview_open_devtools(other), oke);
    EXPECT_EQ(devToolsWindows().size(), 1u);
}
