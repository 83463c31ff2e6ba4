// A request of the C interface on its way to the event loop: the issuing
// method keeps the Command on its stack, posts a CommandEvent that points to
// it, and runs slices until the command is done.
#ifndef KIVWEBVIEW_COMMAND_H
#define KIVWEBVIEW_COMMAND_H

#include <QEvent>
#include <QList>
#include <QVariant>

#include <functional>

enum CommandCode {
    cmd_quit = 1,
    cmd_close = 2,
    cmd_create = 3,
    cmd_set_url = 4,
    cmd_set_html = 5,
    cmd_run_js = 6,
    cmd_open_devtools = 7,
    cmd_move = 8,
    cmd_resize = 9,
    cmd_call_js = 10,
    cmd_hide = 11,
    cmd_show = 12,
    cmd_maximize = 13,
    cmd_minimize = 14,
    cmd_present = 15,
    cmd_show_normal = 16,
    cmd_window_state = 17,
    cmd_set_title = 18,
    cmd_choose_dir = 19,
    cmd_file_open = 20,
    cmd_file_save = 21,
    cmd_set_ou_token = 22,
};

struct Command
{
    explicit Command(int code, QList<QVariant> args = {})
        : code(code)
        , args(std::move(args))
    {
    }
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    // Completes the command: stores its result, clears ok for a call or a
    // dialog that failed, marks it done, and runs whenDone.
    void complete(QVariant value, bool succeeded = true);

    qint32 code;
    QList<QVariant> args;
    QVariant result;
    bool done = false;
    bool ok = true;
    // Installed by the code that waits for the command; run once it is done.
    std::function<void()> whenDone;
};

class CommandEvent : public QEvent
{
public:
    static constexpr QEvent::Type commandType = static_cast<QEvent::Type>(QEvent::User + 1);

    explicit CommandEvent(Command *command)
        : QEvent(commandType)
        , command(command)
    {
    }
    Command *cmd() const { return command; }

private:
    Command *command;
};

#endif // KIVWEBVIEW_COMMAND_H
