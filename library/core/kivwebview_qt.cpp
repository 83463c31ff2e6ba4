// The central object: the application, the event pump and the waiting
// methods behind the C interface.
#include "kivwebview_qt_class.h"

#include "command.h"
#include "failure_codes.h"
#include "quiet_output.h"
#include "records.h"
#include "../windows/served_html.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>

#include <cstring>

namespace {

char applicationName[] = "Kivwebview_qt";
Kivwebview_qt *handler = nullptr;

QString fromUtf8(const char *text)
{
    // Invalid UTF-8 becomes U+FFFD; a null pointer is the empty string.
    return text ? QString::fromUtf8(text, static_cast<qsizetype>(std::strlen(text))) : QString();
}

} // namespace

Kivwebview_qt::Kivwebview_qt(Kivwebview_qt **handlerRef)
    : handlerRef(handlerRef)
    , ownerThread(QThread::currentThreadId())
{
    argv[0] = applicationName;
    // Every browser window ends up composing its web view through the GPU
    // path. A window first created for plain raster drawing is destroyed and
    // created again when its view's renderer appears, and that new native
    // window loses what was set on the old one: a window-modal window stops
    // blocking its parent, a maximised window comes back normal. Choosing
    // that path for every top-level window from the start avoids the
    // recreation. (Read once, when the first window is created; a host's own
    // setting wins.)
    // Large HTML texts are served from memory under a scheme of the
    // library's own, which the web engine must know before it starts.
    ServedHtml::registerScheme();
    if (auto *existing = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        app = existing;
    } else {
        if (!qEnvironmentVariableIsSet("QT_WIDGETS_RHI"))
            qputenv("QT_WIDGETS_RHI", "1");
        // Nothing of the toolkit's or the engine's reaches the host's output.
        silenceToolkitMessages();
        for (int i = 0; i < webEngineQuietArgumentCount; ++i)
            argv[argc++] = webEngineQuietArguments[i];
        // The web engine shares OpenGL contexts between its views.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        app = new QApplication(argc, argv);
        ownsApplication = true;
    }
    // Slices end only through our own timer or a completed command: the
    // application must not quit when its last window closes, because an
    // application-wide quit would end every later event loop at once.
    app->setQuitOnLastWindowClosed(false);

    sliceLoop = new QEventLoop(this);
    servedHtml = new ServedHtml(this);

    connect(&jsPollTimer, &QTimer::timeout, this, &Kivwebview_qt::processJsEventQueues);
    jsPollTimer.start(5);

    sliceTimer.setSingleShot(true);
    connect(&sliceTimer, &QTimer::timeout, this, &Kivwebview_qt::stopEventloop);

    if (handlerRef)
        *handlerRef = nullptr;
}

Kivwebview_qt::~Kivwebview_qt() = default;

Kivwebview_qt *Kivwebview_qt::instance()
{
    if (!handler) {
        auto *created = new Kivwebview_qt(&handler);
        handler = created;
        handler->doEvents();
    }
    return handler;
}

Kivwebview_qt *Kivwebview_qt::instanceIfCreated()
{
    return handler;
}

bool Kivwebview_qt::onOwnerThread() const
{
    return QThread::currentThreadId() == ownerThread;
}

// ---------------------------------------------------------------------------
// The event pump
// ---------------------------------------------------------------------------

void Kivwebview_qt::doEvents()
{
    runSlice(nullptr);
}

void Kivwebview_qt::runSlice(const Command *awaited)
{
    if (loopActive != 0)
        return; // a slice is already running further up the stack
    loopActive = 1;
    sliceAwaits = awaited;
    sliceTimer.start(2);
    // A slice runs its own event loop rather than the application's, so
    // that ending it never ends a modal dialog's loop nested inside it: the
    // dialog keeps running until the user answers it, and the slice ends
    // when control comes back here.
    sliceLoop->exec();
    sliceTimer.stop();
    sliceAwaits = nullptr;
    loopActive = 0;
}

void Kivwebview_qt::stopEventloop()
{
    sliceLoop->exit(0);
}

void Kivwebview_qt::commandCompleted(const Command *cmd)
{
    // The waiting method gets its thread back as soon as its command is
    // done instead of sitting out the rest of the slice.
    if (loopActive != 0 && cmd == sliceAwaits)
        sliceLoop->exit(0);
}

int Kivwebview_qt::nextHandle()
{
    return ++handleCounter;
}

// ---------------------------------------------------------------------------
// The command channel
// ---------------------------------------------------------------------------

void Kivwebview_qt::postCommand(Command *cmd)
{
    QCoreApplication::postEvent(this, new CommandEvent(cmd), Qt::NormalEventPriority);
}

void Kivwebview_qt::customEvent(QEvent *e)
{
    if (e->type() == CommandEvent::commandType)
        handleCommandEvent(static_cast<CommandEvent *>(e));
}

void Kivwebview_qt::handleCommandEvent(CommandEvent *e)
{
    Command *cmd = e->cmd();
    processCommand(cmd);
    if (cmd->done)
        commandCompleted(cmd);
}

void Kivwebview_qt::postAndWait(Command &cmd)
{
    if (loopActive != 0) {
        runInPlace(cmd);
        return;
    }
    postCommand(&cmd);
    while (!cmd.done)
        runSlice(&cmd);
}

void Kivwebview_qt::runInPlace(Command &cmd)
{
    // Called from inside a callback: no further slice can start until the
    // callback returns, so a command cannot wait for the loop here.
    switch (cmd.code) {
    case cmd_close:
        cmd.result = closeHandle(cmd.args.value(0).toInt(), /*deferred=*/true);
        cmd.done = true;
        return;
    case cmd_call_js:
        cmd.ok = false;
        cmd.result = QStringLiteral(
            R"({"exn":"kiv_webview_call_js cannot wait for the page from inside an event callback","oke":false,"result":false})");
        cmd.done = true;
        return;
    case cmd_quit:
        cmd.done = true;
        return;
    default:
        processCommand(&cmd);
        cmd.done = true;
        return;
    }
}

// ---------------------------------------------------------------------------
// Waiting methods
// ---------------------------------------------------------------------------

namespace {

result_t okOr(const Command &cmd, result_t failure)
{
    return cmd.result.toBool() ? oke : failure;
}

} // namespace

int Kivwebview_qt::kivWebViewCreate(int parent, void (*callback)(kiv_event_t *))
{
    Command cmd(cmd_create);
    cmd.args << parent << QVariant::fromValue(reinterpret_cast<void *>(callback));
    postAndWait(cmd);
    const int handle = cmd.result.toInt();
    waitUntilPlaced(handle);
    registerExitShutdown(firstWindow);
    return handle;
}

void Kivwebview_qt::kivWebViewClose(int handle)
{
    Command cmd(cmd_close);
    cmd.args << handle;
    postAndWait(cmd);
}

result_t Kivwebview_qt::kivSetUrl(int handle, const char *url)
{
    Command cmd(cmd_set_url);
    cmd.args << handle << fromUtf8(url);
    postAndWait(cmd);
    return okOr(cmd, set_url_failed);
}

result_t Kivwebview_qt::kivSetHtml(int handle, const char *html)
{
    Command cmd(cmd_set_html);
    cmd.args << handle << fromUtf8(html);
    postAndWait(cmd);
    return okOr(cmd, setHtmlFailure());
}

result_t Kivwebview_qt::kivRunJs(int handle, const char *js)
{
    Command cmd(cmd_run_js);
    cmd.args << handle << fromUtf8(js);
    postAndWait(cmd);
    return okOr(cmd, eval_js_failed);
}

result_t Kivwebview_qt::kivWindowSetTitle(int handle, const char *title)
{
    Command cmd(cmd_set_title);
    cmd.args << handle << fromUtf8(title);
    postAndWait(cmd);
    return okOr(cmd, windowActionFailure());
}

kiv_js_result_t *Kivwebview_qt::kivCallJs(int handle, const char *js)
{
    Command cmd(cmd_call_js);
    cmd.args << handle << fromUtf8(js);
    postAndWait(cmd);
    return newResultRecord(cmd.ok ? oke : eval_js_failed, cmd.result.toString().toUtf8());
}

kiv_js_result_t *Kivwebview_qt::dialogRecord(
    int code, int handle, const char *title, const char *dir, const char *filter)
{
    Command cmd(code);
    cmd.args << handle << fromUtf8(title) << fromUtf8(dir);
    if (code != cmd_choose_dir)
        cmd.args << fromUtf8(filter);
    postAndWait(cmd);
    return newResultRecord(cmd.ok ? oke : dialog_failed, cmd.result.toString().toUtf8());
}

kiv_js_result_t *Kivwebview_qt::kivChooseDir(int handle, const char *title, const char *dir)
{
    return dialogRecord(cmd_choose_dir, handle, title, dir, nullptr);
}

kiv_js_result_t *Kivwebview_qt::kivFileOpen(
    int handle, const char *title, const char *dir, const char *filter)
{
    return dialogRecord(cmd_file_open, handle, title, dir, filter);
}

kiv_js_result_t *Kivwebview_qt::kivFileSave(
    int handle, const char *title, const char *dir, const char *filter)
{
    return dialogRecord(cmd_file_save, handle, title, dir, filter);
}

result_t Kivwebview_qt::kivOpenDevtools(int handle)
{
    Command cmd(cmd_open_devtools);
    cmd.args << handle;
    postAndWait(cmd);
    return okOr(cmd, eval_js_failed);
}

result_t Kivwebview_qt::doWindow(int handle, int code, result_t failure)
{
    Command cmd(code);
    cmd.args << handle;
    postAndWait(cmd);
    return okOr(cmd, failure);
}

result_t Kivwebview_qt::kivHideWindow(int handle)
{
    return doWindow(handle, cmd_hide, windowActionFailure());
}

result_t Kivwebview_qt::kivShowWindow(int handle)
{
    return doWindow(handle, cmd_show, windowActionFailure());
}

result_t Kivwebview_qt::kivPresentWindow(int handle)
{
    return doWindow(handle, cmd_present, windowActionFailure());
}

result_t Kivwebview_qt::kivMaximizeWindow(int handle)
{
    return doWindow(handle, cmd_maximize, windowActionFailure());
}

result_t Kivwebview_qt::kivMinimizeWindow(int handle)
{
    return doWindow(handle, cmd_minimize, windowActionFailure());
}

result_t Kivwebview_qt::kivShowNormalWindow(int handle)
{
    return doWindow(handle, cmd_show_normal, windowActionFailure());
}

result_t Kivwebview_qt::kivMove(int handle, int x, int y)
{
    Command cmd(cmd_move);
    cmd.args << handle << x << y;
    postAndWait(cmd);
    return okOr(cmd, move_window_failed);
}

result_t Kivwebview_qt::kivResize(int handle, int width, int height)
{
    Command cmd(cmd_resize);
    cmd.args << handle << width << height;
    postAndWait(cmd);
    return okOr(cmd, resize_window_failed);
}

bool Kivwebview_qt::kivValid(int handle)
{
    return windows.contains(handle);
}

window_state_t Kivwebview_qt::kivWindowState(int handle)
{
    Command cmd(cmd_window_state);
    cmd.args << handle;
    postAndWait(cmd);
    return static_cast<window_state_t>(cmd.result.toInt());
}

void Kivwebview_qt::kivSetOUToken(int handle, const char *token)
{
    Command cmd(cmd_set_ou_token);
    cmd.args << handle << fromUtf8(token);
    postAndWait(cmd);
}

void Kivwebview_qt::kivQuit()
{
    const QList<int> handles = windows.keys();
    for (int handle : handles)
        kivWebViewClose(handle);
    Command cmd(cmd_quit);
    postAndWait(cmd);
}
