#include "dialog_user.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kivtest {

namespace {

// xdotool matches window names with an extended regular expression.
std::string exactName(const std::string &title)
{
    std::string pattern = "^";
    for (char c : title) {
        if (std::string(".[]()*+?{}^$|\\").find(c) != std::string::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern + "$";
}

std::string firstLine(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

} // namespace

std::string shellQuoted(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string visibleWindows(const std::string &title)
{
    return searchWindows("--onlyvisible --name " + shellQuoted(exactName(title)));
}

DialogUser::DialogUser(const std::string &title, int holdMs, std::vector<std::string> steps)
    : worker(&DialogUser::act, this, title, holdMs, std::move(steps))
{
}

DialogUser::~DialogUser()
{
    join();
    if (!guard.cancelled().isEmpty())
        ADD_FAILURE() << "dialogs left open and cancelled after the bound: "
                      << guard.cancelled().join(QStringLiteral(", ")).toStdString();
}

void DialogUser::join()
{
    // A user who has not seen the dialog by now never will: the call that
    // showed it has returned.
    callReturned = true;
    if (worker.joinable())
        worker.join();
}

void DialogUser::act(std::string title, int holdMs, std::vector<std::string> steps)
{
    std::string id;
    for (int waited = 0; id.empty() && waited < 60000 && !callReturned; waited += 200) {
        id = firstLine(visibleWindows(title));
        if (id.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (id.empty())
        return;
    const auto seen = std::chrono::steady_clock::now();
    sawDialog = true;
    showing = true;
    // The user looks at the dialog, and notices when it goes by itself.
    const auto until = seen + std::chrono::milliseconds(holdMs);
    bool open = true;
    while (open && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        open = visibleWindows(title).find(id) != std::string::npos;
    }
    stillOpen = open;
    held = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - seen)
               .count();
    showing = false;
    if (!stillOpen)
        return; // nothing left to answer
    run("timeout 10 xdotool windowactivate --sync " + id);
    for (const std::string &step : steps) {
        run("xdotool " + step);
        // Give the dialog time to take each key before the next one.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::string ids = visibleWindows(title);
        counts.push_back(static_cast<int>(std::count(ids.begin(), ids.end(), '\n')));
    }
    // The dialog goes once answered; wait generously for it.
    for (int i = 0; i < 100 && !gone; ++i) {
        gone = visibleWindows(title).find(id) == std::string::npos;
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // A dialog the answer did not close (a key that went astray, a message
    // box the user did not expect) is cancelled, so that the test fails on
    // its checks instead of waiting for ever.
    for (int i = 0; i < 10 && !visibleWindows(title).empty(); ++i) {
        run("timeout 10 xdotool windowactivate --sync " + firstLine(visibleWindows(title))
            + " key Escape");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

} // namespace kivtest
