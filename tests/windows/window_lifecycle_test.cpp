// The life of a browser window through the C interface: creation and its
// handles, the close protocol, what a closed handle still answers, windows
// with a parent, and the library going on after its last window closed.
#include "failure_values.h"
#include "test_support.h"
#include "window_queries.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

using namespace kivtest;

TEST(WindowLifecycle, FirstCreateReturnsOneAfterItsShowEvent)
{
    const int wv = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(wv, 1);
    // Nothing pumped since create returned: what is recorded arrived inside it.
    ASSERT_FALSE(events().empty());
    EXPECT_EQ(events().front().wv, 1);
    EXPECT_EQ(events().front().json, R"({"event":"show"})");
    EXPECT_TRUE(kiv_webview_valid(1));
    EXPECT_FALSE(kiv_webview_valid(2));

    const size_t before = events().size();
    const int second = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(second, 2);
    ASSERT_GT(events().size(), before);
    EXPECT_EQ(eventsOf(2), std::vector<std::string> {R"({"event":"show"})"});
}

TEST(WindowLifecycle, HandlesAreNeverReusedAndTheLibraryOutlivesItsLastWindow)
{
    const int first = kiv_webview_create(0, recordEvent);
    ASSERT_EQ(first, 1);
    kiv_webview_close(first);
    EXPECT_FALSE(kiv_webview_valid(first));

    // No window is left: the loop must still run and end its slices.
    const auto start = std::chrono::steady_clock::now();
    kiv_webview_process_events(300);
    EXPECT_LT(msSince(start), 10000) << "the pump got stuck with no window open";
    EXPECT_EQ(browserWindowCount(), 0) << "the closed window was never deleted";

    const int second = createWindowWithHtml("<body>second</body>");
    ASSERT_EQ(second, 2);
    ASSERT_EQ(eventsNamed(second, QStringLiteral("page-loaded")).size(), 1u);
    EXPECT_EQ(eventsNamed(second, QStringLiteral("page-loaded"))[0].value("oke").toBool(), true);
    const CallResult text = callJs(second, "return document.body.textContent;");
    EXPECT_EQ(text.status, oke);
    EXPECT_EQ(text.value, R"({"exn":false,"oke":true,"result":"second"})");

    kiv_webview_close(second);
    const int third = kiv_webview_create(0, recordEvent);
    EXPECT_EQ(third, 3);
    const int fourth = kiv_webview_create(0, recordEvent);
    EXPECT_EQ(fourth, 4);
    EXPECT_FALSE(kiv_webview_valid(first));
    EXPECT_FALSE(kiv_webview_valid(second));
    EXPECT_TRUE(kiv_webview_valid(third));
    EXPECT_TRUE(kiv_webview_valid(fourth));
    EXPECT_EQ(kiv_webview_set_title(third, "three"), oke);
}

TEST(WindowLifecycle, CloseSendsClosedLastAndNoHide)
{
    const int wv = createWindowWithHtml("<p>page</p>");
    ASSERT_EQ(wv, 1);
    kiv_webview_close(wv);
    EXPECT_FALSE(kiv_webview_valid(wv)) << "still valid right after close returned";
    std::vector<std::string> texts = eventsOf(wv);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), R"({"event":"closed"})");
    EXPECT_EQ(countOf(wv, "hide"), 0);

    // Nothing reaches the host for that handle afterwards, not even the
    // debounced geometry notifications of its first show.
    pumpFor(1500);
    EXPECT_EQ(eventsOf(wv), texts);
    EXPECT_EQ(browserWindowCount(), 0);
}

TEST(WindowLifecycle, ClosingAHiddenWindowSendsClosedAndNoFurtherHide)
{
    const int wv = kiv_webview_create(0, recordEvent);
    settle();
    ASSERT_EQ(kiv_webview_hide(wv), oke);
    EXPECT_EQ(eventsOf(wv), std::vector<std::string> {R"({"event":"hide"})"});
    EXPECT_EQ(kiv_webview_window_state(wv), hidden);
    kiv_webview_close(wv);
    EXPECT_FALSE(kiv_webview_valid(wv));
    pumpFor(700);
    EXPECT_EQ(
        eventsOf(wv), (std::vector<std::string> {R"({"event":"hide"})", R"({"event":"closed"})"}));
}

TEST(WindowLifecycle, CloseTwiceOrOfAnUnissuedHandleDoesNothing)
{
    const int kept = kiv_webview_create(0, recordEvent);
    const int closed = kiv_webview_create(0, recordEvent);
    settle();
    kiv_webview_close(closed);
    kiv_webview_close(closed);
    kiv_webview_close(0);
    kiv_webview_close(-3);
    kiv_webview_close(77);
    pumpFor(300);
    EXPECT_EQ(eventsOf(closed), std::vector<std::string> {R"({"event":"closed"})"});
    EXPECT_TRUE(eventsOf(kept).empty());
    EXPECT_TRUE(kiv_webview_valid(kept));
    EXPECT_EQ(kiv_webview_window_state(kept), kiv_webview_window_state(kept));
    EXPECT_NE(kiv_webview_window_state(kept), invalid);
    EXPECT_EQ(kiv_webview_create(0, recordEvent), 3);
}

TEST(WindowLifecycle, EveryCallOnAClosedHandleFailsAndSendsNothing)
{
    const int wv = createWindowWithHtml("<p>page</p>");
    kiv_webview_close(wv);
    const size_t recorded = events().size();
    EXPECT_TRUE(everyCallFails(wv));
    pumpFor(300);
    EXPECT_EQ(events().size(), recorded) << "a call on a closed handle produced an event";
    // The library is still fine.
    EXPECT_EQ(kiv_webview_create(0, recordEvent), 2);
}

TEST(WindowLifecycle, AWindowWithAParentIsWindowModalOverIt)
{
    // Pages loaded, so that each view's renderer is in place: the window
    // must still be modal after that.
    const int parent = createWindowWithHtml("<p>parent</p>");
    ASSERT_EQ(kiv_webview_set_title(parent, "parent"), oke);
    const int child = createWindowWithHtml("<p>child</p>", parent);
    ASSERT_EQ(kiv_webview_set_title(child, "child"), oke);
    // A closed handle as parent gives an ordinary window.
    const int gone = kiv_webview_create(0, recordEvent);
    kiv_webview_close(gone);
    const int orphan = kiv_webview_create(gone, recordEvent);
    ASSERT_EQ(kiv_webview_set_title(orphan, "orphan"), oke);

    QWidget *parentWindow = browserWindowTitled(QStringLiteral("parent"));
    QWidget *childWindow = browserWindowTitled(QStringLiteral("child"));
    QWidget *orphanWindow = browserWindowTitled(QStringLiteral("orphan"));
    ASSERT_NE(parentWindow, nullptr);
    ASSERT_NE(childWindow, nullptr);
    ASSERT_NE(orphanWindow, nullptr);

    EXPECT_TRUE(childWindow->isWindow());
    EXPECT_EQ(childWindow->parentWidget(), parentWindow);
    EXPECT_EQ(childWindow->windowModality(), Qt::WindowModal);
    EXPECT_EQ(childWindow->windowType(), Qt::Dialog);
    EXPECT_TRUE(childWindow->isVisible());
    // The parent is blocked by its modal child; the child itself is not.
    ASSERT_NE(childWindow->windowHandle(), nullptr);
    EXPECT_EQ(childWindow->windowHandle()->modality(), Qt::WindowModal);
    EXPECT_EQ(childWindow->windowHandle()->transientParent(), parentWindow->windowHandle());
    EXPECT_EQ(QGuiApplication::modalWindow(), childWindow->windowHandle());
    EXPECT_EQ(QApplication::activeModalWidget(), childWindow);

    EXPECT_EQ(parentWindow->windowModality(), Qt::NonModal);
    EXPECT_EQ(parentWindow->windowType(), Qt::Window);
    EXPECT_EQ(orphanWindow->parentWidget(), nullptr);
    EXPECT_EQ(orphanWindow->windowModality(), Qt::NonModal);
    EXPECT_EQ(orphanWindow->windowType(), Qt::Window);
}

TEST(WindowLifecycle, ClosingAParentClosesItsChildrenFirst)
{
    const int parent = createWindowWithHtml("<p>parent</p>");
    const int child = createWindowWithHtml("<p>child</p>", parent);
    const int grandchild = createWindowWithHtml("<p>grandchild</p>", child);
    const int secondChild = kiv_webview_create(parent, recordEvent);
    const int other = kiv_webview_create(0, recordEvent);
    settle();

    kiv_webview_close(parent);
    for (int wv : {parent, child, grandchild, secondChild})
        EXPECT_FALSE(kiv_webview_valid(wv)) << wv;
    EXPECT_TRUE(kiv_webview_valid(other));

    // Each closed window reports "closed" once, children before parents, and
    // nothing else.
    std::vector<int> closedOrder;
    for (const RecordedEvent &e : events()) {
        EXPECT_EQ(e.json, R"({"event":"closed"})") << "handle " << e.wv;
        closedOrder.push_back(e.wv);
    }
    ASSERT_EQ(closedOrder.size(), 4u);
    auto position = [&](int wv) {
        return std::find(closedOrder.begin(), closedOrder.end(), wv) - closedOrder.begin();
    };
    EXPECT_LT(position(grandchild), position(child));
    EXPECT_LT(position(child), position(parent));
    EXPECT_LT(position(secondChild), position(parent));
    EXPECT_EQ(position(parent), 3);

    pumpFor(500);
    EXPECT_EQ(browserWindowCount(), 1) << "windows of closed handles are still alive";
    for (int wv : {child, grandchild, secondChild})
        EXPECT_TRUE(everyCallFails(wv));
    pumpFor(300);
    EXPECT_EQ(events().size(), 4u);

    // The survivor and the library go on.
    EXPECT_EQ(kiv_webview_set_html(other, "<p>still here</p>"), oke);
    EXPECT_TRUE(waitForEvent(other, QStringLiteral("page-loaded")));
    EXPECT_EQ(kiv_webview_create(other, recordEvent), 6);
}

namespace {

int familyParent = 0;
std::vector<int> openedWhileClosing;

// Records the event; when a child of familyParent reports "closed", opens
// another child of familyParent from inside the callback, once per child, as
// a host that replaces a closed dialog would.
void reopenChildWhenClosed(kiv_event_t *event)
{
    const bool closed = std::string(event->event) == R"({"event":"closed"})";
    const int wv = event->wv;
    recordEvent(event);
    if (closed && wv != familyParent && openedWhileClosing.size() < 3
        && std::find(openedWhileClosing.begin(), openedWhileClosing.end(), wv)
            == openedWhileClosing.end())
        openedWhileClosing.push_back(kiv_webview_create(familyParent, reopenChildWhenClosed));
}

} // namespace

// A child opened while its parent closes (from another child's "closed"
// callback) is closed with the family and sends its own "closed" too: no
// handle leaves the registry without it.
TEST(WindowLifecycle, ChildrenOpenedWhileTheirParentClosesAreClosedWithIt)
{
    familyParent = kiv_webview_create(0, reopenChildWhenClosed);
    const int child = kiv_webview_create(familyParent, reopenChildWhenClosed);
    const int grandchild = kiv_webview_create(child, reopenChildWhenClosed);
    settle();

    kiv_webview_close(familyParent);
    pumpFor(500);

    ASSERT_FALSE(openedWhileClosing.empty());
    std::vector<int> family = {familyParent, child, grandchild};
    family.insert(family.end(), openedWhileClosing.begin(), openedWhileClosing.end());
    std::vector<int> closedOrder;
    for (const RecordedEvent &e : events())
        if (e.json == R"({"event":"closed"})")
            closedOrder.push_back(e.wv);
    for (int wv : family) {
        SCOPED_TRACE("handle " + std::to_string(wv));
        EXPECT_FALSE(kiv_webview_valid(wv));
        ASSERT_FALSE(eventsOf(wv).empty());
        EXPECT_EQ(eventsOf(wv).back(), R"({"event":"closed"})");
        EXPECT_EQ(std::count(closedOrder.begin(), closedOrder.end(), wv), 1);
    }
    // The parent's "closed" comes last, after every child's.
    ASSERT_FALSE(closedOrder.empty());
    EXPECT_EQ(closedOrder.back(), familyParent);
    EXPECT_EQ(browserWindowCount(), 0) << "a window outlived its closed handle";
}

// A host that links the toolkit may delete the library's widgets itself: the
// handles still end as the close protocol ends them, children first, and a
// call waiting for the page ends.
TEST(WindowLifecycle, AWindowDeletedByTheHostsOwnCodeStillEndsItsHandles)
{
    const int parent = createWindowWithHtml("<p>parent</p>");
    ASSERT_EQ(kiv_webview_set_title(parent, "deleted by the host"), oke);
    const int child = createWindowWithHtml("<p>child</p>", parent);
    settle();
    QWidget *parentWindow = browserWindowTitled(QStringLiteral("deleted by the host"));
    ASSERT_NE(parentWindow, nullptr);
    clearEvents();

    QTimer::singleShot(500, [parentWindow] { delete parentWindow; });
    const CallResult call = callJs(
        child, "const t = Date.now(); while (Date.now() - t < 3000) {} return 1;");
    EXPECT_EQ(call.status, eval_js_failed);
    EXPECT_NE(call.value.find("closed"), std::string::npos) << call.value;
    pumpFor(300);
    // Each handle's last and only event is "closed"; the child's comes first.
    std::vector<int> closedOrder;
    for (const RecordedEvent &event : events())
        if (event.json == R"({"event":"closed"})")
            closedOrder.push_back(event.wv);
    EXPECT_EQ(closedOrder, (std::vector<int> {child, parent}));
    EXPECT_EQ(eventsOf(child), std::vector<std::string> {R"({"event":"closed"})"});
    EXPECT_EQ(browserWindowCount(), 0);
    const size_t recorded = events().size();
    EXPECT_TRUE(everyCallFails(parent));
    EXPECT_TRUE(everyCallFails(child));
    pumpFor(300);
    EXPECT_EQ(events().size(), recorded) << "a call on an ended handle produced an event";
}
