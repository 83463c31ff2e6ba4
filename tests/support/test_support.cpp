#include "test_support.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kivtest {

namespace {

std::vector<RecordedEvent> &log()
{
    static std::vector<RecordedEvent> recorded;
    return recorded;
}

} // namespace

void recordEvent(kiv_event_t *event)
{
    log().push_back({event->wv, event->event});
    kiv_webview_destroy_event(event);
}

const std::vector<RecordedEvent> &events()
{
    return log();
}

std::vector<std::string> eventsOf(int wv)
{
    std::vector<std::string> texts;
    for (const RecordedEvent &e : log())
        if (e.wv == wv)
            texts.push_back(e.json);
    return texts;
}

std::vector<QJsonObject> eventsNamed(int wv, const QString &name)
{
    std::vector<QJsonObject> found;
    for (const RecordedEvent &e : log()) {
        if (e.wv != wv)
            continue;
        QJsonObject object = parseObject(e.json);
        if (object.value(QStringLiteral("event")).toString() == name)
            found.push_back(object);
    }
    return found;
}

void clearEvents()
{
    log().clear();
}

bool pumpUntil(const std::function<bool()> &pred, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (pred())
            return true;
        kiv_webview_process_events(5);
    }
    return pred();
}

size_t countOf(int wv, const char *name)
{
    return eventsNamed(wv, QString::fromLatin1(name)).size();
}

std::vector<std::string> namesOf(int wv)
{
    std::vector<std::string> names;
    for (const std::string &json : eventsOf(wv))
        names.push_back(parseObject(json).value(QStringLiteral("event")).toString().toStdString());
    return names;
}

void pumpFor(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        kiv_webview_process_events(5);
}

bool waitForCount(int wv, const char *name, size_t n, int timeoutMs)
{
    return pumpUntil([&] { return countOf(wv, name) >= n; }, timeoutMs);
}

void settle(int quietMs)
{
    size_t seen = events().size();
    auto lastChange = std::chrono::steady_clock::now();
    const auto start = lastChange;
    while (msSince(lastChange) < quietMs && msSince(start) < 20000) {
        kiv_webview_process_events(10);
        if (events().size() != seen) {
            seen = events().size();
            lastChange = std::chrono::steady_clock::now();
        }
    }
    clearEvents();
}

long long msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start)
        .count();
}

bool waitForEvent(int wv, const QString &name, int timeoutMs)
{
    return pumpUntil([&] { return !eventsNamed(wv, name).empty(); }, timeoutMs);
}

int createWindowWithHtml(const std::string &html, int parent)
{
    const int wv = kiv_webview_create(parent, recordEvent);
    if (wv <= 0)
        return wv;
    const size_t before = eventsNamed(wv, QStringLiteral("page-loaded")).size();
    kiv_webview_set_html(wv, html.c_str());
    pumpUntil([&] { return eventsNamed(wv, QStringLiteral("page-loaded")).size() > before; });
    return wv;
}

QJsonObject parseObject(const std::string &json)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

CallResult callJs(int wv, const char *js)
{
    kiv_js_result_t *r = kiv_webview_call_js(wv, js);
    CallResult result {r->result, r->value};
    kiv_webview_destroy_js_result(r);
    return result;
}

std::string sourceDir()
{
    return KIV_TEST_SOURCE_DIR;
}

LoopbackServer::LoopbackServer(
    const std::string &directory, const std::string &tlsCert, const std::string &tlsKey)
    : tls(!tlsCert.empty())
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    std::string script = sourceDir() + "/support/serve.py";
    std::vector<std::string> args = {"python3", script, directory, std::to_string(fds[1])};
    if (tls) {
        args.push_back(tlsCert);
        args.push_back(tlsKey);
    }
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    if (posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("could not start the loopback server");
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char buffer[32] = {};
    ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
    close(fds[0]);
    if (n <= 0)
        throw std::runtime_error("the loopback server did not start");
    listenPort = std::atoi(buffer);
}

LoopbackServer::~LoopbackServer()
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

std::string LoopbackServer::url(const std::string &path) const
{
    return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(listenPort)
        + path;
}

int unusedPort()
{
    return std::atoi(capture("python3 -c 'import socket; s=socket.socket(); "
                             "s.bind((\"127.0.0.1\",0)); print(s.getsockname()[1])'")
                         .c_str());
}

int run(const std::string &command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string capture(const std::string &command)
{
    std::string output;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

std::string searchWindows(const std::string &arguments)
{
    // The search's standard error goes through grep, its output to ours.
    const std::string command = "{ /usr/bin/xdotool search " + arguments
        + " 2>&1 1>&3 | grep -q 'X Error' && echo x-error; } 3>&1";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::string output = capture(command);
        if (output.find("x-error") == std::string::npos
            || std::chrono::steady_clock::now() > deadline) {
            const size_t mark = output.find("x-error");
            return mark == std::string::npos ? output : output.substr(0, mark);
        }
    }
}

std::string xWindowId(const std::string &title)
{
    // Ask again and again, pumping the library in between, so that the
    // window's own requests (title, mapping) reach the server meanwhile.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string id = searchWindows("--onlyvisible --name '^" + title + "$'");
        id = id.substr(0, id.find('\n'));
        while (!id.empty() && (id.back() == '\n' || id.back() == ' '))
            id.pop_back();
        if (!id.empty())
            return id;
        kiv_webview_process_events(100);
    }
    return {};
}

bool requestClose(const std::string &title)
{
    const std::string id = xWindowId(title);
    return !id.empty() && run("wmctrl -i -c " + id) == 0;
}

bool userClicks(int wv, const std::string &title, const std::string &selector)
{
    const std::string id = xWindowId(title);
    if (id.empty())
        return false;
    const QJsonObject answer = parseObject(
        callJs(wv,
            ("const e = document.querySelector(" + QJsonDocument(QJsonArray {QString::fromStdString(selector)})
                                                        .toJson(QJsonDocument::Compact)
                                                        .mid(1)
                                                        .chopped(1)
                                                        .toStdString()
                + "); if (!e) return null; e.scrollIntoView({block: 'center', inline: 'center'});"
                  " const r = e.getBoundingClientRect();"
                  " return [r.left + Math.min(r.width, innerWidth) / 2,"
                  " r.top + Math.min(r.height, innerHeight) / 2];")
                .c_str())
            .value);
    const QJsonArray at = answer.value("result").toArray();
    if (at.size() != 2)
        return false;
    const std::string x = std::to_string(static_cast<int>(at.at(0).toDouble()));
    const std::string y = std::to_string(static_cast<int>(at.at(1).toDouble()));
    const bool clicked = run("/usr/bin/timeout 10 /usr/bin/xdotool windowactivate --sync " + id
                             + " >/dev/null 2>&1; /usr/bin/timeout 10 /usr/bin/xdotool mousemove --window " + id + " "
                             + x + " " + y + " click 1")
        == 0;
    kiv_webview_process_events(50);
    return clicked;
}

bool userPressesKey(const std::string &title, const std::string &key)
{
    const std::string id = xWindowId(title);
    if (id.empty())
        return false;
    const bool pressed = run("/usr/bin/timeout 10 /usr/bin/xdotool windowactivate --sync " + id
                             + " >/dev/null 2>&1; /usr/bin/timeout 10 /usr/bin/xdotool key " + key)
        == 0;
    kiv_webview_process_events(50);
    return pressed;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string tempDir()
{
    char pattern[] = "/tmp/kivtest.XXXXXX";
    const char *made = mkdtemp(pattern);
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    std::string dir = made;
    static std::vector<std::string> made_dirs;
    static bool registered = false;
    made_dirs.push_back(dir);
    if (!registered) {
        registered = true;
        std::atexit([] {
            for (const std::string &d : made_dirs)
                std::system(("rm -rf '" + d + "'").c_str());
        });
    }
    return dir;
}

} // namespace kivtest
