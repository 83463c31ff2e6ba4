/* A C host that ends its process with windows still open, the way a script
 * simply ends: exit_host MODE.
 *   return    a page, a child window and a finished call; returns 0 from main
 *   callback  exit(3) from inside a page event's callback
 *   pages     developer tools, a page too large for a data URL, then another
 *             page (the first page's renderer view goes), exit(7)
 * It prints nothing itself; a crash shows as a signal in its status. In
 * sanitizer builds it checks for leaks right before it ends. */
#include "leak_check.h"

#include <kivwebview_qt.h>

#include <stdlib.h>
#include <string.h>

static int loads;
static const char *mode;

static void on_event(kiv_event_t *event)
{
    if (strstr(event->event, "\"page-loaded\""))
        ++loads;
    if (strstr(event->event, "\"js-evt\"") && strcmp(mode, "callback") == 0) {
        kivtest_check_leaks(3);
        exit(3); /* the record is never freed: the process ends here */
    }
    kiv_webview_destroy_event(event);
}

static void wait_for_load(int before)
{
    for (int i = 0; i < 3000 && loads == before; ++i)
        kiv_webview_process_events(10);
}

/* Text whose data URL would be over the engine's 2 MiB limit (every space
 * and line feed takes three characters there), yet quick to lay out. */
static char *large_page(size_t size)
{
    static const char line[] = "a b c d e f g h i j k l m n o p\n";
    char *html = malloc(size + sizeof line + 8);
    size_t n = 5;
    memcpy(html, "<pre>", n);
    while (n < size) {
        memcpy(html + n, line, sizeof line - 1);
        n += sizeof line - 1;
    }
    html[n] = '\0';
    return html;
}

int main(int argc, char **argv)
{
    mode = argc > 1 ? argv[1] : "return";
    const int wv = kiv_webview_create(0, on_event);
    int before = loads;
    kiv_webview_set_html(wv, "<p>open at exit</p>");
    wait_for_load(before);

    if (strcmp(mode, "return") == 0) {
        const int child = kiv_webview_create(wv, on_event);
        kiv_webview_set_html(child, "<p>child</p>");
        kiv_js_result_t *r = kiv_webview_call_js(wv, "return 6 * 7;");
        kiv_webview_destroy_js_result(r);
        kiv_webview_process_events(100);
        kivtest_check_leaks(0);
        return 0;
    }
    if (strcmp(mode, "callback") == 0) {
        kiv_webview_run_js(wv, "window.kiv_send_event({bye: true});");
        for (;;)
            kiv_webview_process_events(10);
    }
    if (strcmp(mode, "pages") == 0) {
        kiv_webview_open_devtools(wv);
        char *html = large_page(3u << 19);
        before = loads;
        kiv_webview_set_html(wv, html);
        free(html);
        wait_for_load(before);
        before = loads;
        kiv_webview_set_html(wv, "<p>after the large page</p>");
        wait_for_load(before);
        kiv_webview_process_events(200);
        kivtest_check_leaks(7);
        exit(7);
    }
    return 1;
}
