// A user at the display, on a thread of its own: waits for a dialog to
// appear, leaves it open for a while, then answers it with the keyboard.
#ifndef KIVWEBVIEW_DIALOG_USER_H
#define KIVWEBVIEW_DIALOG_USER_H

#include "dialog_guard.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kivtest {

class DialogUser
{
public:
    // Starts at once: waits (up to a minute) for a visible window titled
    // exactly title, keeps it open for holdMs, then activates it and runs
    // each step as an xdotool command ("type 'text'", "key Return",
    // "sleep 2"); the keys go to whichever window has the focus.
    DialogUser(const std::string &title, int holdMs, std::vector<std::string> steps);
    ~DialogUser();
    DialogUser(const DialogUser &) = delete;
    DialogUser &operator=(const DialogUser &) = delete;

    // Waits until the user is done; call it once the dialog function has
    // returned.
    void join();

    // The dialog appeared.
    bool found() const { return sawDialog; }
    // The dialog was still there when the user began to answer it.
    bool stillOpenWhenAnswered() const { return stillOpen; }
    // Between the dialog appearing and the user's first key.
    bool dialogShowing() const { return showing; }
    // The dialog had gone once the user had answered.
    bool goneAfterAnswer() const { return gone; }
    // How long the user looked at the open dialog.
    long long heldMs() const { return held; }
    // How many visible windows had the dialog's title after each step (a
    // dialog's own message boxes share it). Read after join().
    const std::vector<int> &windowsAfterSteps() const { return counts; }
    // Dialogs left open that the guard had to cancel (the user missed them).
    QStringList cancelledByGuard() const { return guard.cancelled(); }

private:
    void act(std::string title, int holdMs, std::vector<std::string> steps);

    std::atomic<bool> sawDialog {false};
    std::atomic<bool> stillOpen {false};
    std::atomic<bool> showing {false};
    std::atomic<bool> gone {false};
    std::atomic<bool> callReturned {false};
    std::atomic<long long> held {0};
    std::vector<int> counts;
    // Constructed first, on the test's thread: ends a dialog that the user
    // never answers.
    DialogGuard guard;
    std::thread worker;
};

// Single-quotes text for the shell.
std::string shellQuoted(const std::string &text);

// Visible windows titled exactly title, as X window ids ("" when none).
std::string visibleWindows(const std::string &title);

} // namespace kivtest

#endif // KIVWEBVIEW_DIALOG_USER_H
