/* A minimal host: opens a window with a button, calls JavaScript, pumps events
 * until the button is clicked or the window's close button is pressed. */
#include <kivwebview_qt.h>
#include <stdio.h>
#include <string.h>

static int loaded, done;

static void on_event(kiv_event_t *e)
{
    printf("window %d: %s\n", e->wv, e->event);
    if (strstr(e->event, "\"page-loaded\""))
        loaded = 1;
    if (strstr(e->event, "\"clicked\"") || strstr(e->event, "\"can-close?\""))
        done = 1;
    kiv_webview_destroy_event(e);
}

int main(void)
{
    int wv = kiv_webview_create(0, on_event);
    kiv_webview_resize(wv, 400, 200);
    kiv_webview_set_html(
        wv, "<button onclick=\"kiv_send_event({clicked: true})\">Click me</button>");
    while (!loaded)
        kiv_webview_process_events(50);

    kiv_js_result_t *r = kiv_webview_call_js(wv, "return 6 * 7;");
    printf("result %d: %s\n", r->result, r->value); /* 0: {"exn":false,"oke":true,"result":42} */
    kiv_webview_destroy_js_result(r);

    while (!done)
        kiv_webview_process_events(50);
    kiv_webview_close(wv);
    return 0;
}
