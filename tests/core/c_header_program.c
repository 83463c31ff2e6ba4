/* The public header compiled as C: a small host that calls every function. */
#include "kivwebview_qt.h"

#include <stdio.h>
#include <string.h>

static int shown = 0;
static int closed = 0;

static void on_event(kiv_event_t *event)
{
    if (strcmp(event->event, "{\"event\":\"show\"}") == 0)
        shown++;
    if (strcmp(event->event, "{\"event\":\"closed\"}") == 0)
        closed++;
    kiv_webview_destroy_event(event);
}

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

int main(void)
{
    kiv_js_result_t *r;
    int wv;

    kiv_webview_init();
    wv = kiv_webview_create(0, on_event);
    CHECK(wv == 1 && shown == 1);
    CHECK(kiv_webview_valid(wv));
    CHECK(kiv_webview_set_html(wv, "<p id='p'>C</p>") == oke);
    kiv_webview_process_events(1500);
    r = kiv_webview_call_js(wv, "return document.getElementById('p').textContent;");
    CHECK(r->result == oke);
    CHECK(strcmp(r->value, "{\"exn\":false,\"oke\":true,\"result\":\"C\"}") == 0);
    kiv_webview_destroy_js_result(r);
    CHECK(kiv_webview_run_js(wv, "window.kiv_send_event({c: 1});") == oke);
    CHECK(kiv_webview_set_url(wv, "about:blank") == oke);
    CHECK(kiv_webview_set_title(wv, "from C") == oke);
    CHECK(kiv_webview_move(wv, 10, 20) == oke);
    CHECK(kiv_webview_resize(wv, 300, 200) == oke);
    CHECK(kiv_webview_hide(wv) == oke);
    CHECK(kiv_webview_window_state(wv) == hidden);
    CHECK(kiv_webview_show(wv) == oke);
    CHECK(kiv_webview_present(wv) == oke);
    CHECK(kiv_webview_maximize(wv) == oke);
    CHECK(kiv_webview_minimize(wv) == oke);
    CHECK(kiv_webview_show_normal(wv) == oke);
    CHECK(kiv_webview_open_devtools(wv) == oke);
    kiv_webview_set_ou_token(wv, "token");
    r = kiv_webview_choose_dir(99, "t", "/");
    CHECK(r->result == dialog_failed && strcmp(r->value, "false") == 0);
    kiv_webview_destroy_js_result(r);
    r = kiv_webview_file_open(99, "t", "/", "");
    CHECK(r->result == dialog_failed);
    kiv_webview_destroy_event((kiv_event_t *)r);
    r = kiv_webview_file_save(99, "t", "/", "");
    CHECK(r->result == dialog_failed);
    kiv_webview_destroy_js_result(r);
    kiv_webview_close(wv);
    CHECK(!kiv_webview_valid(wv) && closed == 1);
    kiv_webview_process_events(50);
    return 0;
}
