// A request of the C interface on its way to the event loop: the issuing
// method keeps the Command on its stack, posts a CommandEvent that points to
// it, and runs slices until the executor marks it done.
#ifndef KIVWEBVIEW_COMMAND_H
#define KIVWEBVIEW_COMMAND_H

#include <QEvent>
#include <QList>
#include <QVariant>

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
    explicit Command(int c)
        : code(c)
    {
    }
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    qint32 code;
    QList<QVariant> args;
    QVariant result;
    bool done = false;
    bool ok = true;
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
