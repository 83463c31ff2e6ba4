// Shutting the web engine down when the host's process exits with windows
// still open.
//
// The engine runs threads of its own (the compositor among them). Left
// running while exit() unloads the shared libraries, they fault inside
// libraries whose globals are already destroyed. Destroying the application
// object stops them; the library does that when the process exits.
//
// It must happen before exit() destroys any of the toolkit's globals. Exit
// handlers (atexit) and the destructors of function-local statics share one
// list, run in reverse order of registration, and Qt creates many of its
// globals lazily, long after the first window (the scene graph's pixmap
// cache, for one, when a page's first renderer view is destroyed): no point
// of registration is late enough. exit() runs the calling thread's
// thread_local destructors first, before that list. So the shutdown is
// registered as a thread-exit function of the library's thread: it runs
// first when that thread calls exit() or returns from main, and also when
// the library's thread itself ends (after which no call could reach the
// library anyway). Functions registered later run earlier, so it is
// registered again after each first time the toolkit creates something
// new (a handful of times in a process's life); the first one to run does
// the work.
#include "exit_shutdown.h"

#include "kivwebview_qt_class.h"

#include "../windows/webview_window.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>

#include <atomic>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#endif

#include <cxxabi.h>

extern "C" void *__dso_handle;

namespace {

std::atomic<bool> shutDown {false};

#if defined(__SANITIZE_ADDRESS__)
// LeakSanitizer stops every thread to scan memory, and its tracer can fault
// on a thread that is being created at that moment; the web engine starts
// and ends pool threads at any time. Waits (at most 3 s) until the number of
// threads has not changed for 250 ms.
void waitForSteadyThreads()
{
    auto threads = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("Threads:", 0) == 0)
                return std::stoi(line.substr(8));
        return 0;
    };
    int last = threads();
    int steady = 0;
    for (int waited = 0; waited < 3000 && steady < 5; waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int now = threads();
        steady = now == last ? steady + 1 : 0;
        last = now;
    }
}
#endif

} // namespace

bool libraryShutDown()
{
    return shutDown.load();
}

void Kivwebview_qt::shutDownAtThreadExit(void *)
{
    if (Kivwebview_qt *central = instanceIfCreated())
        central->shutDownForExit();
}

void Kivwebview_qt::registerAtThreadExit()
{
    // The C++ runtime's registration of thread_local destructors, used
    // directly so that it can be repeated.
    __cxxabiv1::__cxa_thread_atexit(&Kivwebview_qt::shutDownAtThreadExit, nullptr, &__dso_handle);
}

void Kivwebview_qt::shutDownForExit()
{
    if (shutDown.exchange(true) || !onOwnerThread())
        return;
#if defined(__SANITIZE_ADDRESS__)
    // Sanitizer builds: the leak check runs now, while everything the
    // library made is whole. The engine's own teardown below leaves a few
    // blocks behind (112 bytes, also after a plain toolkit program that
    // shows a web view and deletes its application object), which the
    // check at the very end of the process would report.
    waitForSteadyThreads();
    __lsan_do_leak_check();
#endif
    // By now the host's runtime may be gone (an interpreter finalised, its
    // callbacks pointing nowhere): no host code runs from here on.
    callbacks.clear();
    jsPollTimer.stop();

    QList<QPointer<WebviewWindow>> open;
    for (WebviewWindow *w : std::as_const(windows))
        open << w;
    const QList<int> handles = windows.keys();
    for (int handle : handles)
        closeHandle(handle, /*deferred=*/false);

    if (loopActive == 0) {
        // Let the pages' processes hear of their end before the engine goes.
        for (int i = 0; i < 5; ++i)
            runSlice(nullptr);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // A window whose deferred deletion could not run here (the host exits
    // from inside a callback, deep in a slice) is deleted now: the process
    // never returns to the code that was using it.
    for (const QPointer<WebviewWindow> &w : std::as_const(open))
        delete w.data();

    sliceTimer.stop();
    if (ownsApplication) {
        // Destroying the application runs the engine's own shutdown, which
        // ends its threads and its child processes.
        delete app;
        app = nullptr;
    }
}

void Kivwebview_qt::registerExitShutdown(ExitMilestone milestone)
{
    if (exitMilestonesSeen & milestone)
        return;
    exitMilestonesSeen |= milestone;
    registerAtThreadExit();
}

void Kivwebview_qt::noteLoadForExit()
{
    // A page's first rendering creates the scene graph's globals, and other
    // pages may create others later: register again after the 1st, 2nd, 4th,
    // ... 1024th load, a bounded number of times.
    ++loadsSeen;
    if (loadsSeen <= 1024 && (loadsSeen & (loadsSeen - 1)) == 0)
        registerAtThreadExit();
}
