// The host side of the library as a C program has it: one callback for
// every window, pumping with kiv_webview_process_events.
#ifndef KIV_BENCH_LIBRARY_HOST_H
#define KIV_BENCH_LIBRARY_HOST_H

#include "bench_common.h"
#include "kivwebview_qt.h"

namespace bench {

struct HostState
{
    int pageLoaded = 0;
    double pageLoadedAt = 0; // the first one
    double lastPageLoadedAt = 0;
    int jsEvents = 0;
    double firstJsEventAt = 0;
    double lastJsEventAt = 0;
    int expectedJsEvents = 0;
    const char *expectedLastText = nullptr;
    bool lastTextMatched = false;
    int closed = 0;
};

extern HostState host;

// The callback of every window: notes the time of each event.
void onEvent(kiv_event_t *event);

// Pumps 1 ms at a time until pred() holds; fails after timeoutMs.
template <typename Pred> void pumpUntil(Pred pred, double timeoutMs, const char *what)
{
    const double end = nowMs() + timeoutMs;
    while (!pred()) {
        if (nowMs() > end)
            fail(std::string("timed out waiting for ") + what);
        kiv_webview_process_events(1);
    }
}

// Pumps as an idle host does: kiv_webview_process_events(50) until ms have
// passed.
void pumpFor(double ms);

// Creates a window and loads the benchmark page into it.
int openLoadedWindow();

} // namespace bench

#endif // KIV_BENCH_LIBRARY_HOST_H
