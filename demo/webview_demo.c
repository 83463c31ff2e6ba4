/* webview_demo: drives kivwebview_qt through its C interface along a fixed
 * timeline of 35 one-second passes and prints every event and result.
 *
 * It opens a window on a public web site, calls JavaScript in it, opens the
 * developer tools, opens a second window on the loopback interface and closes
 * it again, and has the first page send one event per pass from pass 11 on.
 * It takes no arguments, reads no input and checks no return value. */
#include <kivwebview_qt.h>

#include <stdio.h>

/* Every line is flushed at once, so that output piped to a file is complete
 * and in order even if the process is killed. */
static void printResult(kiv_js_result_t *r)
{
    printf("kiv_js_result: %d: %s\n", (int)r->result, r->value);
    fflush(stdout);
    kiv_webview_destroy_js_result(r);
}

/* The one callback of both windows: prints the event and gives it back. */
static void onEvent(kiv_event_t *e)
{
    printf("event: %s\n", e->event);
    fflush(stdout);
    kiv_webview_destroy_event(e);
}

int main(void)
{
    int first;
    int second = 0;
    int counter;
    char script[100];

    kiv_webview_init();
    first = kiv_webview_create(0, onEvent);
    kiv_webview_move(first, 200, 300);
    kiv_webview_resize(first, 800, 600);
    kiv_webview_set_url(first, "https://www.debian.org/");

    for (counter = 0; counter < 35; counter++) {
        printf("Waiting...%d\n", counter);
        fflush(stdout);
        kiv_webview_process_events(1000);

        switch (counter) {
        case 3:
            printResult(kiv_webview_call_js(
                first, "{ let a = 7 * 6; console.log('a = ' + a); return a; }"));
            break;
        case 4:
            printResult(kiv_webview_call_js(
                first, "let el = document.getElementById('hi');el.value = '10';"));
            break;
        case 6:
            kiv_webview_open_devtools(first);
            printResult(kiv_webview_call_js(first,
                "document.body.innerHTML = '<h1>Hi!</h1>'; return document.body.innerHTML;"));
            break;
        case 10:
            second = kiv_webview_create(0, onEvent);
            kiv_webview_move(second, 400, 200);
            kiv_webview_resize(second, 800, 600);
            kiv_webview_set_url(second, "https://127.0.0.1");
            break;
        default:
            break;
        }

        if (counter >= 11) {
            snprintf(script, sizeof script,
                "{ let obj = { e: 'test', i: %d }; window.kiv_send_event(obj); }", counter);
            kiv_webview_run_js(first, script);
            if (counter == 24)
                kiv_webview_close(second);
        }
    }

    /* The second window is gone since pass 24: this close finds no window. */
    kiv_webview_close(second);
    return 0;
}
