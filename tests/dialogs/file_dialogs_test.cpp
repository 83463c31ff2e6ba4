// The file and directory dialogs through the C interface, answered by a
// user at the display: each dialog stays open, however many slices of the
// event pump pass, until the user accepts or cancels it.
#include "dialog_user.h"
#include "failure_values.h"
#include "test_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numeric>
#include <sys/stat.h>

using namespace kivtest;

namespace {

// Long enough for some thousand slices of the pump to end meanwhile.
constexpr int holdMs = 2500;

struct Answer
{
    int status = -1;
    std::string value;
    long long ms = 0; // how long the call blocked
};

Answer ask(const std::function<kiv_js_result_t *()> &call)
{
    const auto start = std::chrono::steady_clock::now();
    kiv_js_result_t *record = call();
    Answer answer;
    answer.ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start)
                    .count();
    if (!record)
        return answer;
    answer.status = record->result;
    answer.value = record->value ? record->value : "(null)";
    kiv_webview_destroy_js_result(record);
    return answer;
}

int browserWindow()
{
    const int wv = createWindowWithHtml("<p>dialog owner</p>");
    kiv_webview_set_title(wv, "dialog owner");
    return wv;
}

void touch(const std::string &path)
{
    std::ofstream(path) << "x\n";
}

bool exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool anyFileDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QFileDialog *>(w))
            return true;
    return false;
}

std::string typed(const std::string &text)
{
    return "type --delay 30 " + shellQuoted(text);
}

// The user's keys, and the checks that the dialog was there for them.
#define EXPECT_ANSWERED_BY_USER(user, answer)                                                      \
    do {                                                                                           \
        EXPECT_TRUE((user).found()) << "no dialog appeared";                                       \
        EXPECT_TRUE((user).stillOpenWhenAnswered()) << "the dialog closed by itself";              \
        EXPECT_GE((user).heldMs(), holdMs);                                                        \
        EXPECT_GE((answer).ms, holdMs) << "the call returned before the user answered";            \
        EXPECT_TRUE((user).goneAfterAnswer()) << "the dialog is still open after the answer";      \
    } while (0)

// The exact texts the dialogs give: compact, members in key order.
std::string fileText(const std::string &file, const std::string &state, const std::string &filter)
{
    return "{\"file\":\"" + file + "\",\"state\":\"" + state + "\",\"used-filter\":\"" + filter
        + "\"}";
}

std::string dirText(const std::string &dir, const std::string &state)
{
    return "{\"dir\":\"" + dir + "\",\"state\":\"" + state + "\"}";
}

const char *const twoFilters = "Text (*.txt);;Images (*.png)";

} // namespace

TEST(FileDialogs, UnknownHandleFailsWithoutShowingADialog)
{
    const std::string dir = tempDir();
    // Before any window exists, then with a closed window's handle.
    EXPECT_EQ(Outcome::of(kiv_webview_file_open(7, "Never shown", dir.c_str(), twoFilters)),
        failureOf("kiv_webview_file_open"));

    const int wv = browserWindow();
    kiv_webview_close(wv);
    ASSERT_FALSE(kiv_webview_valid(wv));
    for (int handle : {wv, 0, -1, wv + 1}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(
            Outcome::of(kiv_webview_file_save(handle, "Never shown", dir.c_str(), twoFilters)),
            failureOf("kiv_webview_file_save"));
        EXPECT_EQ(Outcome::of(kiv_webview_choose_dir(handle, "Never shown", dir.c_str())),
            failureOf("kiv_webview_choose_dir"));
    }
    kiv_webview_process_events(200);
    EXPECT_FALSE(anyFileDialog());
    EXPECT_EQ(visibleWindows("Never shown"), "");
}

TEST(FileDialogs, OpenChosenFileReportsTheDefaultFilterEntry)
{
    const std::string dir = tempDir();
    touch(dir + "/a.txt");
    touch(dir + "/b.png");
    const int wv = browserWindow();

    DialogUser user("Open a text", holdMs, {typed(dir + "/a.txt"), "key Return"});
    const Answer answer
        = ask([&] { return kiv_webview_file_open(wv, "Open a text", dir.c_str(), twoFilters); });
    user.join();
    EXPECT_ANSWERED_BY_USER(user, answer);
    EXPECT_EQ(answer.status, oke);
    EXPECT_EQ(answer.value, fileText(dir + "/a.txt", "choosen", "Text (*.txt)"));
    EXPECT_FALSE(anyFileDialog());
}

TEST(FileDialogs, OpenReportsTheFilterEntryTheUserSelected)
{
    const std::string dir = tempDir();
    touch(dir + "/a.txt");
    touch(dir + "/b.png");
    const int wv = browserWindow();

    // From the empty name field, Tab reaches the file-type box; Down selects
    // its second entry; Alt+N goes back to the name field.
    DialogUser user("Open an image", holdMs,
        {"key Tab", "key Down", "key alt+n", typed(dir + "/b.png"), "key Return"});
    const Answer answer
        = ask([&] { return kiv_webview_file_open(wv, "Open an image", dir.c_str(), twoFilters); });
    user.join();
    EXPECT_ANSWERED_BY_USER(user, answer);
    EXPECT_EQ(answer.status, oke);
    EXPECT_EQ(answer.value, fileText(dir + "/b.png", "choosen", "Images (*.png)"));
}

TEST(FileDialogs, CancelledOpenAndSaveReportNoFileAndNoFilter)
{
    const std::string dir = tempDir();
    touch(dir + "/a.txt");
    const int wv = browserWindow();
    {
        // The user selects a filter entry and a file, then changes their mind.
        DialogUser user("Open nothing", holdMs,
            {"key Tab", "key Down", "key alt+n", typed(dir + "/a.txt"), "key Escape"});
        const Answer answer = ask(
            [&] { return kiv_webview_file_open(wv, "Open nothing", dir.c_str(), twoFilters); });
        user.join();
        EXPECT_ANSWERED_BY_USER(user, answer);
        EXPECT_EQ(answer.status, oke);
        EXPECT_EQ(answer.value, fileText("", "canceled", ""));
    }
    {
        DialogUser user("Save nothing", holdMs, {typed("never-saved.txt"), "key Escape"});
        const Answer answer = ask(
            [&] { return kiv_webview_file_save(wv, "Save nothing", dir.c_str(), twoFilters); });
        user.join();
        EXPECT_ANSWERED_BY_USER(user, answer);
        EXPECT_EQ(answer.status, oke);
        EXPECT_EQ(answer.value, fileText("", "canceled", ""));
    }
    EXPECT_FALSE(exists(dir + "/never-saved.txt"));
}

TEST(FileDialogs, SaveAcceptsANameThatDoesNotExistYet)
{
    const std::string dir = tempDir();
    const int wv = browserWindow();

    // A name relative to the start directory, as a user types it.
    DialogUser user("Save notes", holdMs, {typed("new-notes.txt"), "key Return"});
    const Answer answer
        = ask([&] { return kiv_webview_file_save(wv, "Save notes", dir.c_str(), twoFilters); });
    user.join();
    EXPECT_ANSWERED_BY_USER(user, answer);
    EXPECT_EQ(answer.status, oke);
    EXPECT_EQ(answer.value, fileText(dir + "/new-notes.txt", "choosen", "Text (*.txt)"));
    // The dialog only names the file; saving is the host's business.
    EXPECT_FALSE(exists(dir + "/new-notes.txt"));
}

TEST(FileDialogs, SaveOverAnExistingFileAsksTheUserFirst)
{
    const std::string dir = tempDir();
    touch(dir + "/old.txt");
    const int wv = browserWindow();

    // Return asks whether to replace the file, in a message box over the
    // dialog with the dialog's title; the user leaves both open for a while,
    // then says yes.
    DialogUser user(
        "Replace notes", holdMs, {typed("old.txt"), "key Return", "sleep 2.5", "key y"});
    const Answer answer
        = ask([&] { return kiv_webview_file_save(wv, "Replace notes", dir.c_str(), twoFilters); });
    user.join();
    EXPECT_ANSWERED_BY_USER(user, answer);
    EXPECT_EQ(user.windowsAfterSteps(), (std::vector<int> {1, 2, 2, 0}));
    EXPECT_GE(answer.ms, holdMs + 2500);
    EXPECT_EQ(answer.status, oke);
    EXPECT_EQ(answer.value, fileText(dir + "/old.txt", "choosen", "Text (*.txt)"));
}

TEST(DirectoryDialog, CancelReportsTheStartDirectoryAsPassed)
{
    const std::string dir = tempDir();
    mkdir((dir + "/sub").c_str(), 0700);
    const int wv = browserWindow();

    // Not the directory the dialog shows, but the text the caller gave.
    const std::string asPassed = dir + "/sub/../sub/";
    const char *const starts[] = {asPassed.c_str(), "", nullptr};
    for (const char *start : starts) {
        SCOPED_TRACE(start ? start : "(null)");
        DialogUser user("Pick no folder", holdMs, {"key Escape"});
        const Answer answer
            = ask([&] { return kiv_webview_choose_dir(wv, "Pick no folder", start); });
        user.join();
        EXPECT_ANSWERED_BY_USER(user, answer);
        EXPECT_EQ(answer.status, oke);
        EXPECT_EQ(answer.value, dirText(start ? start : "", "canceled"));
    }
}

// A title far too long for the window system (megabytes would break the
// display connection and end the process) is cut, as window titles are.
TEST(DirectoryDialog, AHugeTitleIsCutAndTheDialogWorks)
{
    const std::string dir = tempDir();
    const int wv = browserWindow();
    const std::string title = "Huge title " + std::string(20u << 20, 'x');
    DialogUser user(title.substr(0, 65536), holdMs, {"key Escape"});
    const Answer answer
        = ask([&] { return kiv_webview_choose_dir(wv, title.c_str(), dir.c_str()); });
    user.join();
    EXPECT_ANSWERED_BY_USER(user, answer);
    EXPECT_EQ(answer.status, oke);
    EXPECT_EQ(answer.value, dirText(dir, "canceled"));
    EXPECT_TRUE(kiv_webview_valid(wv));
}

TEST(DirectoryDialog, NonAsciiPathsArriveAsUtf8)
{
    const std::string dir = tempDir();
    const std::string name = u8"grüße-✓";
    const std::string chosen = dir + "/" + name;
    ASSERT_EQ(mkdir(chosen.c_str(), 0700), 0);
    touch(chosen + "/notiz.txt");
    const int wv = browserWindow();

    // The dialog opens in the folder the host names; the user takes it.
    DialogUser user(u8"Wähle einen Ordner", holdMs, {"key Return"});
    const Answer answer
        = ask([&] { return kiv_webview_choose_dir(wv, u8"Wähle einen Ordner", chosen.c_str()); });
    user.join();
    EXPECT_ANSWERED_BY_USER(user, answer);
    EXPECT_EQ(answer.status, oke);
    EXPECT_EQ(answer.value, dirText(chosen, "choosen"));

    // A start directory with non-ASCII letters reaches the dialog intact, and
    // the file chosen in it comes back as UTF-8 (no \u escapes).
    DialogUser fileUser("Open a note", holdMs, {typed("notiz.txt"), "key Return"});
    const Answer file = ask(
        [&] { return kiv_webview_file_open(wv, "Open a note", chosen.c_str(), "Notes (*.txt)"); });
    fileUser.join();
    EXPECT_ANSWERED_BY_USER(fileUser, file);
    EXPECT_EQ(file.status, oke);
    EXPECT_EQ(file.value, fileText(chosen + "/notiz.txt", "choosen", "Notes (*.txt)"));
}

namespace {

struct PageDuringDialog
{
    const DialogUser *user = nullptr;
    bool dialogReturned = false;
    int queuedItems = 0;
    bool queuedWhileModal = false;
    bool queuedBeforeReturn = false;
    int ticksWhileShowing = 0;
};
PageDuringDialog page;

void pageEvents(kiv_event_t *event)
{
    const QJsonObject object = QJsonDocument::fromJson(event->event).object();
    const QJsonObject item = object.value("js-evt").toObject();
    if (item.contains("queued")) {
        ++page.queuedItems;
        page.queuedWhileModal = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        page.queuedBeforeReturn = !page.dialogReturned;
    }
    if (item.contains("tick") && page.user && page.user->dialogShowing())
        ++page.ticksWhileShowing;
    recordEvent(event);
}

} // namespace

TEST(FileDialogs, PageEventsReachTheHostWhileTheDialogIsOpen)
{
    const std::string dir = tempDir();
    touch(dir + "/a.txt");
    const int wv = kiv_webview_create(0, pageEvents);
    kiv_webview_set_html(wv, "<p>page</p>");
    ASSERT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));

    // The page queues its item a little after the dialog has opened, and
    // keeps ticking.
    ASSERT_EQ(kiv_webview_run_js(wv,
                  "setTimeout(() => window.kiv_send_event({queued: 'before the dialog'}), 300);"
                  "setInterval(() => window.kiv_send_event({tick: 1}), 100);"),
        oke);
    DialogUser user("Open while busy", holdMs, {typed(dir + "/a.txt"), "key Return"});
    page.user = &user;
    const Answer answer = ask(
        [&] { return kiv_webview_file_open(wv, "Open while busy", dir.c_str(), twoFilters); });
    page.dialogReturned = true;
    user.join();
    EXPECT_ANSWERED_BY_USER(user, answer);
    EXPECT_EQ(answer.value, fileText(dir + "/a.txt", "choosen", "Text (*.txt)"));

    EXPECT_EQ(page.queuedItems, 1);
    EXPECT_TRUE(page.queuedBeforeReturn) << "the item waited for the dialog to close";
    EXPECT_TRUE(page.queuedWhileModal) << "the item came while no file dialog was open";
    EXPECT_GT(page.ticksWhileShowing, 0) << "the page poll stopped while the dialog was open";
    page.user = nullptr;
}

namespace {

struct InCallback
{
    int wv = 0;
    std::string dir;
    Answer answer;
    bool asked = false;
    bool closeRequested = false;
};
InCallback inCallback;

// Opens a dialog from inside the callback, where it runs in place.
void askFromCallback(kiv_event_t *event)
{
    const bool ask = std::string(event->event).find("\"ask\"") != std::string::npos;
    recordEvent(event);
    if (!ask)
        return;
    inCallback.answer = ::ask([] {
        return kiv_webview_file_open(
            inCallback.wv, "Asked by the page", inCallback.dir.c_str(), twoFilters);
    });
    inCallback.asked = true;
}

// Counts another page's ticks that arrive while the user looks at the
// dialog opened from a page event's callback.
const DialogUser *tickWatcher = nullptr;
int ticksWhileShowing = 0;
void countTicks(kiv_event_t *event)
{
    if (tickWatcher && tickWatcher->dialogShowing()
        && std::string(event->event).find("\"tick\"") != std::string::npos)
        ++ticksWhileShowing;
    recordEvent(event);
}

// Closes the window from inside the callback, once the user is looking at
// its dialog.
const DialogUser *watcher = nullptr;
void closeFromCallback(kiv_event_t *event)
{
    recordEvent(event);
    if (watcher && watcher->dialogShowing() && !inCallback.closeRequested) {
        inCallback.closeRequested = true;
        kiv_webview_close(inCallback.wv);
    }
}

} // namespace

TEST(FileDialogs, DialogOpenedFromACallbackRunsInPlace)
{
    inCallback.dir = tempDir();
    touch(inCallback.dir + "/a.txt");
    inCallback.wv = kiv_webview_create(0, askFromCallback);
    kiv_webview_set_html(inCallback.wv, "<p>page</p>");
    ASSERT_TRUE(waitForEvent(inCallback.wv, QStringLiteral("page-loaded")));

    // Another page keeps sending events all along.
    const int witness = kiv_webview_create(0, countTicks);
    kiv_webview_set_html(witness, "<p>witness</p>");
    ASSERT_TRUE(waitForEvent(witness, QStringLiteral("page-loaded")));
    kiv_webview_run_js(witness, "setInterval(() => window.kiv_send_event({tick: 1}), 50);");

    DialogUser user("Asked by the page", holdMs, {typed("a.txt"), "key Return"});
    tickWatcher = &user;
    kiv_webview_run_js(inCallback.wv, "window.kiv_send_event({ask: 1});");
    ASSERT_TRUE(pumpUntil([] { return inCallback.asked; }, 90000));
    tickWatcher = nullptr;
    user.join();
    // A dialog opened from a page event's callback holds back no page's
    // events while it is open.
    EXPECT_GT(ticksWhileShowing, 5);
    EXPECT_ANSWERED_BY_USER(user, inCallback.answer);
    EXPECT_EQ(inCallback.answer.status, oke);
    EXPECT_EQ(
        inCallback.answer.value, fileText(inCallback.dir + "/a.txt", "choosen", "Text (*.txt)"));
    // The library goes on normally afterwards.
    EXPECT_EQ(parseObject(callJs(inCallback.wv, "return 1 + 1;").value).value("result").toInt(), 2);
}

// The dialog's own loop delivers the page's later answers while the
// callback that opened it still runs. The page's items reach the host in the
// order it queued them all the same, those it queued with the asking item too.
TEST(FileDialogs, ThePagesItemsKeepTheirOrderAcrossADialogOpenedForOne)
{
    inCallback.dir = tempDir();
    inCallback.wv = kiv_webview_create(0, askFromCallback);
    kiv_webview_set_html(inCallback.wv, "<p>page</p>");
    ASSERT_TRUE(waitForEvent(inCallback.wv, QStringLiteral("page-loaded")));

    DialogUser user("Asked by the page", 1000, {"key Escape"});
    ASSERT_EQ(kiv_webview_run_js(inCallback.wv,
                  "window.n = 1; window.kiv_send_event({ask: 1}); window.kiv_send_event({n: 1});"
                  "window.ticking = setInterval(() => window.kiv_send_event({n: ++window.n}), 50);"),
        oke);
    ASSERT_TRUE(pumpUntil([] { return inCallback.asked; }, 90000));
    user.join();
    EXPECT_TRUE(user.found());
    const int sent = parseObject(
        callJs(inCallback.wv, "clearInterval(window.ticking); return window.n;").value)
                         .value("result")
                         .toInt();
    EXPECT_GT(sent, 10) << "the page did not tick while the dialog was open";

    auto numbers = [] {
        std::vector<int> seen;
        for (const QJsonObject &event : eventsNamed(inCallback.wv, QStringLiteral("js-evt"))) {
            const QJsonObject item = event.value("js-evt").toObject();
            if (item.contains("n"))
                seen.push_back(item.value("n").toInt());
        }
        return seen;
    };
    ASSERT_TRUE(pumpUntil([&] { return int(numbers().size()) >= sent; }));
    std::vector<int> expected(static_cast<size_t>(sent));
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(numbers(), expected);
}

TEST(FileDialogs, WindowClosedWhileItsDialogIsOpenCancelsTheDialog)
{
    const std::string dir = tempDir();
    touch(dir + "/a.txt");
    inCallback.wv = kiv_webview_create(0, closeFromCallback);
    kiv_webview_set_html(inCallback.wv, "<p>page</p>");
    ASSERT_TRUE(waitForEvent(inCallback.wv, QStringLiteral("page-loaded")));
    const int other = createWindowWithHtml("<p>other</p>");

    ASSERT_EQ(kiv_webview_run_js(
                  inCallback.wv, "setInterval(() => window.kiv_send_event({tick: 1}), 100);"),
        oke);
    DialogUser user("Open then lose the window", 60000, {typed(dir + "/a.txt"), "key Return"});
    watcher = &user;
    const Answer answer = ask([&] {
        return kiv_webview_file_open(
            inCallback.wv, "Open then lose the window", dir.c_str(), twoFilters);
    });
    watcher = nullptr;
    user.join();
    EXPECT_TRUE(user.found());
    EXPECT_TRUE(inCallback.closeRequested);
    // The dialog went with its window, long before the user would have
    // answered it.
    EXPECT_FALSE(user.stillOpenWhenAnswered());
    EXPECT_LT(answer.ms, 60000);
    EXPECT_EQ(answer.status, oke);
    EXPECT_EQ(answer.value, fileText("", "canceled", ""));
    EXPECT_EQ(eventsNamed(inCallback.wv, QStringLiteral("closed")).size(), 1u);
    EXPECT_FALSE(kiv_webview_valid(inCallback.wv));
    EXPECT_FALSE(anyFileDialog());
    // The library goes on serving the other window.
    EXPECT_EQ(parseObject(callJs(other, "return 6 * 7;").value).value("result").toInt(), 42);
}

TEST(FileDialogs, WithoutAFilterAnyFileIsChosenUnderTheDialogsOwnEntry)
{
    const std::string dir = tempDir();
    touch(dir + "/data.bin");
    const int wv = browserWindow();
    {
        DialogUser user("Open anything", holdMs, {typed("data.bin"), "key Return"});
        const Answer answer
            = ask([&] { return kiv_webview_file_open(wv, "Open anything", dir.c_str(), ""); });
        user.join();
        EXPECT_ANSWERED_BY_USER(user, answer);
        EXPECT_EQ(answer.value, fileText(dir + "/data.bin", "choosen", "All Files (*)"));
    }
    {
        DialogUser user("Save anything", holdMs, {typed("new.dat"), "key Return"});
        const Answer answer
            = ask([&] { return kiv_webview_file_save(wv, "Save anything", dir.c_str(), nullptr); });
        user.join();
        EXPECT_ANSWERED_BY_USER(user, answer);
        EXPECT_EQ(answer.value, fileText(dir + "/new.dat", "choosen", "All Files (*)"));
    }
}
