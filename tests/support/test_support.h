// Helpers shared by the tests: an event recorder for the C callbacks, a pump
// that waits for a condition, loopback servers and a private display.
#ifndef KIVWEBVIEW_TEST_SUPPORT_H
#define KIVWEBVIEW_TEST_SUPPORT_H

#include "kivwebview_qt.h"

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kivtest {

struct RecordedEvent
{
    int wv;
    std::string json;
};

// A callback for kiv_webview_create that records every event and frees it.
void recordEvent(kiv_event_t *event);
// Every event recorded so far, in arrival order.
const std::vector<RecordedEvent> &events();
// The event texts recorded for one window, in arrival order.
std::vector<std::string> eventsOf(int wv);
// The recorded events of one window whose "event" member is name.
std::vector<QJsonObject> eventsNamed(int wv, const QString &name);
void clearEvents();

// How many events named name window wv has received so far.
size_t countOf(int wv, const char *name);
// The event names recorded for one window, in arrival order.
std::vector<std::string> namesOf(int wv);

// Pumps the library in 5 ms steps until pred is true or timeoutMs passed.
bool pumpUntil(const std::function<bool()> &pred, int timeoutMs = 20000);
// Runs the library's loop for ms milliseconds of wall-clock time.
void pumpFor(int ms);
// Pumps until window wv has received at least n events named name.
bool waitForCount(int wv, const char *name, size_t n, int timeoutMs = 60000);
// Waits until no event has arrived for quietMs (the debounced geometry
// notifications of a fresh window come 500 ms after its first show), then
// forgets every recorded event.
void settle(int quietMs = 1500);
// Milliseconds since start.
long long msSince(std::chrono::steady_clock::time_point start);
// Waits for the first event of window wv named name; true when it came.
bool waitForEvent(int wv, const QString &name, int timeoutMs = 20000);
// Creates a window with recordEvent and waits until its page-loaded event
// for the given HTML has arrived.
int createWindowWithHtml(const std::string &html, int parent = 0);

// Parses a JSON object text; an empty object when it is not one.
QJsonObject parseObject(const std::string &json);

// Calls JavaScript and returns status and text, freeing the record.
struct CallResult
{
    int status;
    std::string value;
};
CallResult callJs(int wv, const char *js);

// A directory with the test's sources (for scripts and fixtures).
std::string sourceDir();

// A loopback HTTP or HTTPS server serving files of a directory, in a child
// process that ends with this object.
class LoopbackServer
{
public:
    // tlsCert and tlsKey empty: plain HTTP.
    explicit LoopbackServer(const std::string &directory, const std::string &tlsCert = {},
        const std::string &tlsKey = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    int port() const { return listenPort; }
    // "http://127.0.0.1:PORT" + path (or https).
    std::string url(const std::string &path = "/") const;

private:
    int pid = -1;
    int listenPort = 0;
    bool tls = false;
};

// A port on loopback where nothing listens.
int unusedPort();

// Runs a shell command; returns its exit status.
int run(const std::string &command);
// Runs a shell command and returns what it printed on standard output.
std::string capture(const std::string &command);

// The X window id of the visible window titled exactly title ("" if none
// appears within a few seconds).
std::string xWindowId(const std::string &title);

// The output of `xdotool search ARGUMENTS` (window ids, one per line). A
// search that ends in an X error, because a window went away during its
// walk as windows do while a dialog closes, says nothing about the windows
// asked for: it is made again, for up to 10 s.
std::string searchWindows(const std::string &arguments);
// Asks the window titled title to close through the window manager, as its
// close button would.
bool requestClose(const std::string &title);

// Clicks, as the user would with the mouse, the middle of the page's
// element matched by the CSS selector in the window titled title; true when
// the element and the window were found. A click is a user gesture, which
// pages need for some requests (a new window, a second download).
bool userClicks(int wv, const std::string &title, const std::string &selector);
// Presses a key (an xdotool key name, e.g. "Escape") in the window titled
// title, as the user would.
bool userPressesKey(const std::string &title, const std::string &key);

// A fresh temporary directory, removed when the process ends.
std::string tempDir();

// The whole content of a file (empty when it cannot be read).
std::string readFile(const std::string &path);

} // namespace kivtest

#endif // KIVWEBVIEW_TEST_SUPPORT_H
