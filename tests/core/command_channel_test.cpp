// The command channel: posted commands, their order and the executor frame.
#include "core/command.h"
#include "kivwebview_qt_class.h"
#include "test_support.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace kivtest;

namespace {

void post(Command &cmd)
{
    QCoreApplication::postEvent(Kivwebview_qt::instance(), new CommandEvent(&cmd));
}

} // namespace

TEST(CommandChannel, CodesOutsideTheTableCompleteWithFalse)
{
    for (int code : {0, 23, -4}) {
        Command cmd(code);
        cmd.args << 1;
        post(cmd);
        ASSERT_TRUE(pumpUntil([&] { return cmd.done; }, 2000)) << code;
        EXPECT_EQ(cmd.result, QVariant(false));
        EXPECT_TRUE(cmd.ok);
    }
}

TEST(CommandChannel, CommandsRunInPostingOrder)
{
    Command create(cmd_create);
    create.args << 0 << QVariant::fromValue(reinterpret_cast<void *>(&recordEvent));
    Command title(cmd_set_title);
    title.args << 1 << QStringLiteral("second");
    Command state(cmd_window_state);
    state.args << 1;
    post(create);
    post(title);
    post(state);
    ASSERT_TRUE(pumpUntil([&] { return create.done && title.done && state.done; }, 5000));
    EXPECT_EQ(create.result.toInt(), 1);
    EXPECT_EQ(title.result, QVariant(true)) << "set title ran before the window existed";
    EXPECT_NE(state.result.toInt(), int(invalid));
}

TEST(CommandChannel, DataCommandsOnUnknownHandlesClearOk)
{
    kiv_webview_init();
    for (int code :
        {int(cmd_call_js), int(cmd_choose_dir), int(cmd_file_open), int(cmd_file_save)}) {
        Command cmd(code);
        cmd.args << 42 << QString() << QString() << QString();
        post(cmd);
        ASSERT_TRUE(pumpUntil([&] { return cmd.done; }, 2000));
        EXPECT_FALSE(cmd.ok) << code;
        EXPECT_EQ(cmd.result, QVariant(false));
    }
    Command state(cmd_window_state);
    state.args << 42;
    post(state);
    ASSERT_TRUE(pumpUntil([&] { return state.done; }, 2000));
    EXPECT_EQ(state.result.toInt(), -1);
}

TEST(CommandChannel, QuitClosesEveryWindowAndTheLibraryGoesOn)
{
    const int first = kiv_webview_create(0, recordEvent);
    const int second = kiv_webview_create(first, recordEvent);
    Kivwebview_qt::instance()->kivQuit();
    EXPECT_FALSE(kiv_webview_valid(first));
    EXPECT_FALSE(kiv_webview_valid(second));
    ASSERT_TRUE(waitForEvent(first, QStringLiteral("closed"), 2000));
    ASSERT_TRUE(waitForEvent(second, QStringLiteral("closed"), 2000));

    // The pump recovers: a later create, load and call work as before.
    const int third = createWindowWithHtml("<p id=x>after quit</p>");
    EXPECT_EQ(third, 3);
    CallResult r = callJs(third, "return document.getElementById('x').textContent;");
    EXPECT_EQ(r.value, R"({"exn":false,"oke":true,"result":"after quit"})");
}

TEST(CommandChannel, LibraryKeepsWorkingAfterTheLastWindowCloses)
{
    const int first = kiv_webview_create(0, recordEvent);
    kiv_webview_close(first);
    const int second = kiv_webview_create(0, recordEvent);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(kiv_webview_set_title(second, "still here"), oke);
    kiv_webview_close(second);
    const int third = createWindowWithHtml("<p>x</p>");
    EXPECT_EQ(callJs(third, "return 2+2;").value, R"({"exn":false,"oke":true,"result":4})");
}
