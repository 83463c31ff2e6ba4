#include "library_host.h"

#include <cstring>

namespace bench {

HostState host;

namespace {

const char jsEvtPrefix[] = "{\"event\":\"js-evt\"";

} // namespace

void onEvent(kiv_event_t *event)
{
    const double t = nowMs();
    const char *text = event->event;
    if (std::strncmp(text, jsEvtPrefix, sizeof jsEvtPrefix - 1) == 0) {
        if (host.jsEvents++ == 0)
            host.firstJsEventAt = t;
        host.lastJsEventAt = t;
        if (host.jsEvents == host.expectedJsEvents && host.expectedLastText)
            host.lastTextMatched = std::strcmp(text, host.expectedLastText) == 0;
    } else if (std::strstr(text, "\"page-loaded\"")) {
        if (host.pageLoaded++ == 0)
            host.pageLoadedAt = t;
        host.lastPageLoadedAt = t;
    } else if (std::strstr(text, "\"closed\"")) {
        ++host.closed;
    }
    kiv_webview_destroy_event(event);
}

void pumpFor(double ms)
{
    const double end = nowMs() + ms;
    while (nowMs() < end)
        kiv_webview_process_events(50);
}

int openLoadedWindow()
{
    const int wv = kiv_webview_create(0, onEvent);
    if (wv <= 0)
        fail("kiv_webview_create failed");
    const int before = host.pageLoaded;
    if (kiv_webview_set_html(wv, pageHtml) != oke)
        fail("kiv_webview_set_html failed");
    pumpUntil([&] { return host.pageLoaded > before; }, 60000, "page-loaded");
    return wv;
}

} // namespace bench
