// What a page asks leave to use: every request is answered, by the user in
// a dialog modal to the window; the answer is kept for the origin. Granted
// features this machine lacks fail in the page; notifications reach the
// host; the clipboard takes what a page writes after a click.
#include "dialog_user.h"
#include "page_queries.h"
#include "test_support.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

using namespace kivtest;

namespace {

// A page titled "Asking", in a window titled "asking window", whose big
// buttons make requests and send what came of them.
const char *askingPage = R"html(<title>Asking</title>
<style>button { display: block; width: 400px; height: 50px; }</style>
<button id=where onclick="where()">where</button>
<button id=notify onclick="notify()">notify</button>
<button id=lock onclick="document.body.requestPointerLock()">lock</button>
<button id=camera onclick="media({video: true}, 'camera')">camera</button>
<button id=microphone onclick="media({audio: true}, 'microphone')">microphone</button>
<button id=write onclick="navigator.clipboard.writeText('written by the page')
  .then(() => kiv_send_event({write: 'ok'}), e => kiv_send_event({write: e.name}))">write</button>
<input id=text value="copied by the page">
<button id=copy onclick="document.getElementById('text').select();
  kiv_send_event({copy: document.execCommand('copy')})">copy</button>
<script>
function where() {
  const start = performance.now();
  navigator.geolocation.getCurrentPosition(
    p => kiv_send_event({where: 'position', ms: performance.now() - start}),
    e => kiv_send_event({where: e.code, ms: performance.now() - start}));
}
function notify() {
  Notification.requestPermission().then(p => {
    kiv_send_event({notify: p});
    if (p !== 'granted') return;
    const n = new Notification('Hello', {body: 'from the page'});
    n.onshow = () => kiv_send_event({shown: true});
  });
}
function media(constraints, what) {
  navigator.mediaDevices.getUserMedia(constraints).then(
    () => kiv_send_event({[what]: 'stream'}), e => kiv_send_event({[what]: e.name}));
}
document.addEventListener('pointerlockchange',
  () => kiv_send_event({lock: !!document.pointerLockElement}));
document.addEventListener('pointerlockerror', () => kiv_send_event({lock: 'error'}));
navigator.clipboard.readText().then(t => kiv_send_event({read: t}), e => kiv_send_event({read: e.name}));
</script>)html";

struct AskingPage
{
    std::string served = tempDir();
    std::unique_ptr<LoopbackServer> server;
    int wv = 0;

    explicit AskingPage(const std::string &windowTitle = "asking window")
    {
        std::ofstream(served + "/asking.html") << askingPage;
        server = std::make_unique<LoopbackServer>(served);
        wv = open(windowTitle);
    }

    int open(const std::string &windowTitle) const
    {
        const int handle = kiv_webview_create(0, recordEvent);
        kiv_webview_set_title(handle, windowTitle.c_str());
        kiv_webview_resize(handle, 500, 600);
        const size_t loads = loadTexts(handle).size();
        kiv_webview_set_url(handle, server->url("/asking.html").c_str());
        pumpUntil([&] { return loadTexts(handle).size() > loads; });
        return handle;
    }

    // The value the page sent under key, once it came.
    QJsonValue sent(int handle, const QString &key, int timeoutMs = 60000) const
    {
        QJsonValue value(QJsonValue::Undefined);
        pumpUntil(
            [&] {
                for (const std::string &item : itemsOf(handle)) {
                    const QJsonObject object = parseObject(item);
                    if (object.contains(key))
                        value = object.value(key);
                }
                return !value.isUndefined();
            },
            timeoutMs);
        return value;
    }
};

// The texts of the permission questions that opened, read as they open.
struct Questions
{
    QStringList texts;
    QTimer look;

    Questions()
    {
        QObject::connect(&look, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box->property("kivtest-seen").toBool())
                return;
            box->setProperty("kivtest-seen", true);
            texts << box->text();
        });
        look.start(50);
    }
};

} // namespace

TEST(Permissions, EscapeBlocksAtOnceAndTheAnswerIsKeptForTheOrigin)
{
    AskingPage page;
    Questions questions;
    const std::string where = "127.0.0.1:" + std::to_string(page.server->port());
    {
        DialogUser user("Asking", 1000, {"key Escape"});
        ASSERT_TRUE(userClicks(page.wv, "asking window", "#where"));
        const QJsonValue answer = page.sent(page.wv, "where");
        user.join();
        ASSERT_TRUE(user.found()) << "no permission question";
        EXPECT_TRUE(user.stillOpenWhenAnswered());
        EXPECT_EQ(answer.toInt(), 1) << "not PERMISSION_DENIED";
        // How long the page waited, and how much of it after the user's key.
        const QJsonObject item = parseObject(itemsOf(page.wv).back());
        std::fprintf(stderr,
            "permission: request to answer %.0f ms, of which the user looked %lld ms\n",
            item.value("ms").toDouble(), user.heldMs());
    }
    ASSERT_EQ(questions.texts.size(), 1);
    EXPECT_EQ(questions.texts.front().toStdString(), where + " wants to know your location");

    // Asked again, in this window and in another of the same origin: the
    // answer comes at once, and nothing is asked.
    kiv_webview_run_js(page.wv, "where();");
    const int other = page.open("asking window 2");
    kiv_webview_run_js(other, "where();");
    EXPECT_EQ(page.sent(other, "where", 20000).toInt(), 1);
    ASSERT_TRUE(pumpUntil([&] { return itemsOf(page.wv).size() >= 3; }));
    pumpFor(500);
    EXPECT_EQ(questions.texts.size(), 1);
    // Reading the clipboard was refused at once, without a question.
    EXPECT_EQ(page.sent(page.wv, "read").toString(), "NotAllowedError");
}

TEST(Permissions, AllowedNotificationsReachTheHost)
{
    AskingPage page;
    Questions questions;
    DialogUser user("Asking", 500, {"key alt+a"});
    ASSERT_TRUE(userClicks(page.wv, "asking window", "#notify"));
    EXPECT_EQ(page.sent(page.wv, "notify").toString(), "granted");
    user.join();
    EXPECT_TRUE(user.found());
    ASSERT_TRUE(waitForEvent(page.wv, QStringLiteral("notification")));
    const QJsonObject note = eventsNamed(page.wv, QStringLiteral("notification")).front();
    EXPECT_EQ(note.value("title").toString(), "Hello");
    EXPECT_EQ(note.value("body").toString(), "from the page");
    EXPECT_EQ(note.value("origin").toString().toStdString(), page.server->url(""));
    EXPECT_TRUE(page.sent(page.wv, "shown").toBool());
    EXPECT_EQ(questions.texts.size(), 1);
    EXPECT_TRUE(questions.texts.front().endsWith(QStringLiteral(" wants to show notifications")));
}

// Granted, but this machine has no positioning service, no camera and no
// microphone: the page gets the engine's errors, not silence. The pointer
// lock works.
TEST(Permissions, GrantedFeaturesThisMachineLacksFailInThePage)
{
    AskingPage page;
    Questions questions;
    {
        DialogUser user("Asking", 300, {"key alt+a"});
        ASSERT_TRUE(userClicks(page.wv, "asking window", "#where"));
        const QJsonValue where = page.sent(page.wv, "where", 90000);
        user.join();
        EXPECT_TRUE(user.found());
        EXPECT_EQ(where.toInt(), 2) << "not POSITION_UNAVAILABLE";
    }
    // No device: refused before anyone is asked.
    for (const char *device : {"camera", "microphone"}) {
        ASSERT_TRUE(userClicks(page.wv, "asking window", std::string("#") + device));
        EXPECT_EQ(page.sent(page.wv, device, 30000).toString(), "NotFoundError") << device;
    }
    // Last: a locked pointer no longer clicks where it points.
    {
        DialogUser user("Asking", 300, {"key alt+a"});
        ASSERT_TRUE(userClicks(page.wv, "asking window", "#lock"));
        EXPECT_EQ(page.sent(page.wv, "lock"), QJsonValue(true));
        user.join();
        EXPECT_TRUE(user.found());
    }
    ASSERT_EQ(questions.texts.size(), 2);
    EXPECT_TRUE(questions.texts.at(1).endsWith(QStringLiteral(" wants to hide and lock your mouse pointer")));
}

namespace {

// The desktop's clipboard, as another program reads it. The library's
// thread answers the clipboard request, so it pumps meanwhile.
std::string desktopClipboard()
{
    std::string text;
    std::atomic<bool> done {false};
    std::thread reader([&] {
        text = capture("timeout 10 xclip -o -selection clipboard 2>/dev/null");
        done = true;
    });
    pumpUntil([&] { return done.load(); }, 15000);
    reader.join();
    return text;
}

} // namespace

TEST(Permissions, APageWritesTheClipboardAfterAClick)
{
    AskingPage page;
    ASSERT_TRUE(userClicks(page.wv, "asking window", "#write"));
    EXPECT_EQ(page.sent(page.wv, "write").toString(), "ok");
    EXPECT_EQ(desktopClipboard(), "written by the page");
    ASSERT_TRUE(userClicks(page.wv, "asking window", "#copy"));
    EXPECT_TRUE(page.sent(page.wv, "copy").toBool());
    EXPECT_EQ(desktopClipboard(), "copied by the page");
}
