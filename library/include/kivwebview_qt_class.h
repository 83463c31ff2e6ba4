// The central object of kivwebview_qt, for hosts that link against the class.
//
// Every C function of kivwebview_qt.h forwards to one public method here;
// the methods behave exactly as their C functions describe, except that they
// do not check the calling thread. Kivwebview_qt::instance() gives the one
// central object that the C functions use too.
//
// Where each group of members is defined (library/...):
//   core/kivwebview_qt.cpp        construction, the event pump (slices) and
//                                 the command channel (post and wait)
//   core/requests.cpp             the waiting methods kiv...() and kivQuit
//   core/command_processing.cpp   the executor: processCommand and the
//                                 window, page and dialog commands
//   core/window_registry.cpp      creating and placing windows, and the
//                                 handle registry
//   core/close_protocol.cpp       how a window goes, in one place
//   core/dialogs.cpp              the file and directory dialogs
//   core/exit_shutdown.cpp        the shutdown when the process exits
//   bridge/event_delivery.cpp     triggerEvent, deliverEvent
//   bridge/javascript_bridge.cpp  page loads and the 5 ms poll of every page
#ifndef KIVWEBVIEW_QT_CLASS_H
#define KIVWEBVIEW_QT_CLASS_H

#include "kivwebview_qt.h"
#include "kivwebview_qt_export.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

class QApplication;
class QEventLoop;
class WebviewWindow;
class EventContainer;
struct Command;
class CommandEvent;
class ServedHtml;
class Downloads;

class KIVWEBVIEW_EXPORT Kivwebview_qt : public QObject
{
    Q_OBJECT

public:
    // Constructs the central object; stores null through handlerRef, which
    // the creator then points at the new object.
    explicit Kivwebview_qt(Kivwebview_qt **handlerRef);
    ~Kivwebview_qt() override;

    // The central object, created (and pumped once) on first use.
    static Kivwebview_qt *instance();

    int kivWebViewCreate(int parent, void (*callback)(kiv_event_t *));
    void kivWebViewClose(int handle);
    result_t kivSetUrl(int handle, const char *url);
    result_t kivSetHtml(int handle, const char *html);
    result_t kivRunJs(int handle, const char *js);
    result_t kivWindowSetTitle(int handle, const char *title);
    kiv_js_result_t *kivCallJs(int handle, const char *js);
    kiv_js_result_t *kivChooseDir(int handle, const char *title, const char *dir);
    kiv_js_result_t *kivFileOpen(
        int handle, const char *title, const char *dir, const char *filter);
    kiv_js_result_t *kivFileSave(
        int handle, const char *title, const char *dir, const char *filter);
    result_t kivOpenDevtools(int handle);
    result_t kivHideWindow(int handle);
    result_t kivShowWindow(int handle);
    result_t kivPresentWindow(int handle);
    result_t kivMaximizeWindow(int handle);
    result_t kivMinimizeWindow(int handle);
    result_t kivShowNormalWindow(int handle);
    result_t kivMove(int handle, int x, int y);
    result_t kivResize(int handle, int width, int height);
    bool kivValid(int handle);
    window_state_t kivWindowState(int handle);
    void kivSetOUToken(int handle, const char *token);

    // Closes every window (each sends "closed") and ends the running slice.
    // The library keeps working afterwards: later calls pump as before.
    void kivQuit();

    // Runs one slice of the event loop (at most 2 ms) unless one is running.
    void doEvents();
    int nextHandle();
    // Takes a handle out of the registry (the close protocol's one way):
    // from then on it names no open window.
    void removeView(int handle);
    void onPageLoad(int handle);
    void pageLoaded(int handle, bool ok);
    // Deliver an event as JSON text to the handle's callback, through
    // deliverEvent.
    void triggerEvent(int handle, const EventContainer &event);
    void triggerEvent(int handle, const QString &json);

    // Delivers a ready UTF-8 event text to the handle's callback: the one
    // way an event reaches the host.
    void deliverEvent(int handle, const QByteArray &json);

public slots:
    void processJsEventQueues();

protected:
    void customEvent(QEvent *e) override;

private slots:
    void stopEventloop();

private:
    // The command channel.
    void postCommand(Command *cmd);
    void handleCommandEvent(CommandEvent *e);
    // Posts the command and runs slices until it is done; inside a slice
    // (from a callback) the command runs in place instead.
    void postAndWait(Command &cmd);
    void runInPlace(Command &cmd);
    // One slice; ends early when the awaited command completes.
    void runSlice(const Command *awaited);

    // The waiting methods' one request path: posts the command, waits, and
    // turns its outcome into the method's result or failure value.
    result_t requestStatus(int code, QList<QVariant> args);
    kiv_js_result_t *requestRecord(int code, QList<QVariant> args);
    QVariant requestValue(int code, QList<QVariant> args);

    // The executor.
    void processCommand(Command *cmd);
    void executeWindowCommand(Command *cmd, WebviewWindow *window);
    void executePageCommand(Command *cmd, WebviewWindow *window);
    void executeDialog(Command *cmd, WebviewWindow *window);

    // The registry.
    void createWindow(Command *cmd);
    // Runs slices until the window system has placed and mapped the new
    // window, so that a move or resize made next is not undone by the
    // window manager's own placement.
    void waitUntilPlaced(int handle);
    // The close protocol (core/close_protocol.cpp). Takes a handle (and its
    // registered children first) out of the registry and closes its window,
    // at once or once the loop runs again.
    bool closeHandle(int handle, bool deferred);
    // The window of handle has closed, or is being destroyed: its calls
    // end, "closed" is sent, and the handle is forgotten.
    void windowClosed(int handle, WebviewWindow *window);
    friend class WebviewWindow;
    // The lowest handle of a registered child window of parent, or 0.
    int firstChildOf(const WebviewWindow *parent) const;

    // The shutdown when the process exits.
    // The first times at which the toolkit creates globals of its own.
    enum ExitMilestone : unsigned {
        firstWindow = 1,
        firstDevTools = 2,
        firstDialog = 4,
    };
    void registerExitShutdown(ExitMilestone milestone);
    void noteLoadForExit();
    // Closes every window and shuts the web engine down without calling
    // any host callback.
    void shutDownForExit();
    static void shutDownAtThreadExit(void *);
    static void registerAtThreadExit();
    static Kivwebview_qt *instanceIfCreated();
    bool onOwnerThread() const;

    QApplication *app = nullptr;
    int handleCounter = 0;
    QHash<int, WebviewWindow *> windows;
    QHash<int, void (*)(kiv_event_t *)> callbacks;
    QTimer jsPollTimer;
    int loopActive = 0;
    QTimer sliceTimer;
    int argc = 1;
    char *argv[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};

    QEventLoop *sliceLoop = nullptr;
    const Command *sliceAwaits = nullptr;
    ServedHtml *servedHtml = nullptr;
    Downloads *downloads = nullptr;
    Qt::HANDLE ownerThread = nullptr;
    bool ownsApplication = false;
    unsigned exitMilestonesSeen = 0;
    quint64 loadsSeen = 0;
};

#endif // KIVWEBVIEW_QT_CLASS_H
