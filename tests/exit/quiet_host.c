/* A C host that takes windows through a whole life, with pages that log to
 * their console, throw, fail to load and lose their renderer, and checks
 * prints nothing itself: the test checks that neither it nor the library nor
 * the web engine wrote a single byte to standard output or standard error.
 * It ends with status 0 when every load, the renderer's end and both closes
 * were reported. */
#include <kivwebview_qt.h>

#include <signal.h>
#include <stdlib.h>
#include <string.h>

static int loads, closed, gone;

static void on_event(kiv_event_t *event)
{
    if (strstr(event->event, "\"page-loaded\""))
        ++loads;
    if (strstr(event->event, "\"closed\""))
        ++closed;
    if (strstr(event->event, "\"renderer-gone\""))
        ++gone;
    kiv_webview_destroy_event(event);
}

static void wait_for(const int *counter, int value)
{
    for (int i = 0; i < 3000 && *counter < value; ++i)
        kiv_webview_process_events(10);
}

int main(int argc, char **argv)
{
    const char *unreachable = argc > 1 ? argv[1] : "http://127.0.0.1:9/";
    const int wv = kiv_webview_create(0, on_event);
    kiv_webview_move(wv, 50, 60);
    kiv_webview_resize(wv, 500, 400);
    kiv_webview_set_html(wv, "<p>quiet</p><script>console.log('a page logs');"
                             "console.error('and complains');"
                             "window.kiv_send_event({early: 1});"
                             "setTimeout(() => { throw new Error('uncaught'); }, 0);</script>");
    wait_for(&loads, 1);
    kiv_js_result_t *r = kiv_webview_call_js(wv, "console.warn('warned'); return 42;");
    kiv_webview_destroy_js_result(r);
    r = kiv_webview_call_js(wv, "throw new Error('thrown');");
    kiv_webview_destroy_js_result(r);
    kiv_webview_run_js(wv, "window.kiv_send_event({from: 'run_js'}); undefinedFunction();");
    kiv_webview_hide(wv);
    kiv_webview_show(wv);
    kiv_webview_open_devtools(wv);

    const int child = kiv_webview_create(wv, on_event);
    kiv_webview_set_url(child, unreachable);
    wait_for(&loads, 2);
    kiv_webview_close(child);

    /* A renderer that dies. */
    kiv_webview_set_html(wv, "<p>doomed</p>");
    wait_for(&loads, 3);
    r = kiv_webview_call_js(wv, "return 1;");
    kiv_webview_destroy_js_result(r);
    kiv_webview_run_js(wv, "window.kiv_send_event({pid: 0});");
    kiv_webview_process_events(300);
    kiv_webview_set_url(wv, "chrome://crash");
    wait_for(&gone, 1);
    kiv_webview_set_html(wv, "<p>back</p>");
    wait_for(&loads, 4);
    kiv_webview_process_events(300);
    kiv_webview_close(wv);
    wait_for(&closed, 2);
    /* Everything above happened: its own status says so. */
    return loads == 4 && gone == 1 && closed == 2 ? 0 : 10 + loads * 4 + gone * 2 + closed;
}
