/* The C host the Node package is measured against, in the same run: the
 * same page, calls and items as node_host.mjs, through the C interface
 * directly. Prints "ready" once its window has settled and idles (pumping
 * as a C host does) for IDLE_S seconds while the driver measures its CPU;
 * then prints one JSON line per measurement.
 *   c_host CALLS IDLE_S */
#include <kivwebview_qt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define ITEMS 100000

static int loaded, items, in_order = 1;
static double last_item_at;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static void on_event(kiv_event_t *e)
{
    if (strncmp(e->event, "{\"event\":\"js-evt\"", 17) == 0) {
        /* {"event":"js-evt","js-evt":{"i":N,"s":"x"}} */
        const char *i = strstr(e->event, "\"i\":");
        if (i && atoi(i + 4) != items)
            in_order = 0;
        ++items;
        last_item_at = now_ms();
    } else if (strstr(e->event, "\"page-loaded\"")) {
        loaded = 1;
    }
    kiv_webview_destroy_event(e);
}

static int compare(const void *a, const void *b)
{
    const double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

int main(int argc, char **argv)
{
    const int calls = argc > 1 ? atoi(argv[1]) : 500;
    const double idle_s = argc > 2 ? atof(argv[2]) : 12;
    int wv = kiv_webview_create(0, on_event);
    kiv_webview_set_html(wv, "<p>benchmark</p>");
    while (!loaded)
        kiv_webview_process_events(10);

    /* Idle first, while the driver measures: 10 s after the page loaded, when
     * the start-up work of both hosts' runtimes is over. */
    const double settle = now_ms() + 10000;
    while (now_ms() < settle)
        kiv_webview_process_events(50);
    printf("ready\n");
    fflush(stdout);
    const double end = now_ms() + idle_s * 1000;
    while (now_ms() < end)
        kiv_webview_process_events(50);

    double *times = malloc(sizeof(double) * (size_t)calls);
    for (int i = 0; i < 20; ++i)
        kiv_webview_destroy_js_result(kiv_webview_call_js(wv, "return 1 + 1;"));
    for (int i = 0; i < calls; ++i) {
        const double t0 = now_ms();
        kiv_js_result_t *r = kiv_webview_call_js(wv, "return 1 + 1;");
        times[i] = now_ms() - t0;
        if (r->result != oke || strstr(r->value, "\"result\":2") == NULL)
            return 2;
        kiv_webview_destroy_js_result(r);
    }
    qsort(times, (size_t)calls, sizeof(double), compare);
    printf("{\"measure\":\"call\",\"median\":%.4f,\"p10\":%.4f,\"p90\":%.4f}\n", times[calls / 2],
        times[calls / 10], times[calls * 9 / 10]);
    fflush(stdout);

    /* Two batches: the first warms both hosts up, the second is measured. */
    double t0 = 0;
    for (int batch = 0; batch < 2; ++batch) {
        items = 0;
        kiv_webview_destroy_js_result(kiv_webview_call_js(wv,
            "window.kiv_bench_items = []; for (let i = 0; i < 100000; ++i) "
            "window.kiv_bench_items.push({i: i, s: 'x'}); return 1;"));
        t0 = now_ms();
        kiv_webview_run_js(wv, "window.kiv_event_queue.push(...window.kiv_bench_items);");
        while (items < ITEMS)
            kiv_webview_process_events(5);
    }
    printf("{\"measure\":\"items\",\"per_s\":%.0f,\"in_order\":%s}\n",
        ITEMS / ((last_item_at - t0) / 1000.0), in_order ? "true" : "false");
    fflush(stdout);

    return 0;
}
