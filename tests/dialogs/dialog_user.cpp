#include "dialog_user.h"

#include "test_support.h"

#include <algorithm>

using namespace kivtest;

namespace dialogtest {

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
    return capture(
        "xdotool search --onlyvisible --name " + shellQuoted(exactName(title)) + " 2>/dev/null");
}

DialogUser::DialogUser(const std::string &title, int holdMs, std::vector<std::string> steps)
    : worker(&DialogUser::act, this, title, holdMs, std::move(steps))
{
}

DialogUser::~DialogUser()
{
    join();
}

void DialogUser::join()
{
    if (worker.joinable())
        worker.join();
}

void DialogUser::act(std::string title, int holdMs, std::vector<std::string> steps)
{
    const std::string id
        = firstLine(capture("timeout 60 xdotool search --sync --onlyvisible --name "
            + shellQuoted(exactName(title)) + " 2>/dev/null"));
    if (id.empty())
        return;
    const auto seen = std::chrono::steady_clock::now();
    sawDialog = true;
    showing = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    stillOpen = visibleWindows(title).find(id) != std::string::npos;
    held = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - seen)
               .count();
    showing = false;
    run("xdotool windowactivate --sync " + id);
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
}

} // namespace dialogtest
