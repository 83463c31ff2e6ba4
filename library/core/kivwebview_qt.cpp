// The central object: the application, the event pump and the command
// channel.
#include "kivwebview_qt_class.h"

#include "../windows/served_html.h"
#include "command.h"
#include "quiet_output.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>

namespace {

char applicationName[] = "Kivwebview_qt";
Kivwebview_qt *handler = nullptr;

} // namespace

Kivwebview_qt::Kivwebview_qt(Kivwebview_qt **handlerRef)
    : ownerThread(QThread::currentThreadId())
{
    argv[0] = applicationName;
    // Large HTML texts are served from memory under a scheme of the
    // library's own, which the web engine must know before it starts.
    ServedHtml::registerScheme();
    if (auto *existing = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        app = existing;
    } else {
        // Every browser window ends up composing its web view through the
        // GPU path. A window first created for plain raster drawing is
        // destroyed and created again when its view's renderer appears, and
        // that new native window loses what was set on the old one: a
        // window-modal window stops blocking its parent, a maximised window
        // comes back normal. Choosing that path for every top-level window
        // from the start avoids the recreation. (A host's own setting wins.)
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
    processCommand(e->cmd());
}

void Kivwebview_qt::postAndWait(Command &cmd)
{
    if (loopActive != 0) {
        runInPlace(cmd);
        return;
    }
    // The waiting method gets its thread back as soon as its command is
    // done instead of sitting out the rest of the slice.
    cmd.whenDone = [this, &cmd] {
        if (loopActive != 0 && sliceAwaits == &cmd)
            sliceLoop->exit(0);
    };
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
        cmd.complete(closeHandle(cmd.args.value(0).toInt(), /*deferred=*/true));
        return;
    case cmd_call_js:
        cmd.complete(
            QByteArrayLiteral(
                R"({"exn":"kiv_webview_call_js cannot wait for the page from inside an event callback","oke":false,"result":false})"),
            false);
        return;
    case cmd_quit:
        cmd.complete({});
        return;
    default:
        // Every other command completes within processCommand.
        processCommand(&cmd);
        return;
    }
}
