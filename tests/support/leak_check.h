/* The leak check a test program runs right before it ends, in sanitizer
 * builds (elsewhere it does nothing). Include it in one file per program: it
 * defines the sanitizers' summary hook.
 *
 * It runs while the library and the web engine are whole (the engine's own
 * teardown leaves a few blocks behind that are not ours), once no thread is
 * being started or ended, because LeakSanitizer stops every thread from a
 * tracer task that can fault on a thread being created. That tracer still
 * faults now and then in a process with the engine's many threads ("Tracer
 * caught signal 11", a fault of the tool, not a report about this code), and
 * the tool then ends the process as if it had found something. A leak the
 * check finds is reported through the summary hook before the process ends;
 * a death during the check with no report is the tracer's, and the program
 * ends with its own status and a line that says its leak check did not run.
 * After this check, the one the library would run at exit does nothing. */
#ifndef KIVTEST_LEAK_CHECK_H
#define KIVTEST_LEAK_CHECK_H

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#include <sanitizer/lsan_interface.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int kivtest_status_after_check = 1;
static volatile int kivtest_checking_leaks = 0;
static volatile int kivtest_sanitizer_reported = 0;

#ifdef __cplusplus
extern "C"
#endif
    void
    __sanitizer_report_error_summary(const char *summary)
{
    kivtest_sanitizer_reported = 1;
    fprintf(stderr, "%s\n", summary);
}

static void kivtest_on_sanitizer_death(void)
{
    static const char line[] = "LeakSanitizer's tracer failed; this process's leak check did not run\n";
    if (!kivtest_checking_leaks || kivtest_sanitizer_reported)
        return; /* a real report: the process fails as usual */
    (void)!write(2, line, sizeof line - 1);
    _exit(kivtest_status_after_check);
}

static inline int kivtest_thread_count(void)
{
    char line[256];
    int threads = 0;
    FILE *status = fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "Threads:", 8) == 0)
            threads = atoi(line + 8);
    fclose(status);
    return threads;
}

/* Waits (at most 3 s) until the thread count has not changed for 250 ms,
 * then checks for leaks. STATUS is what the program ends with when the
 * tool, not the check, fails. */
static inline void kivtest_check_leaks(int status)
{
    const struct timespec step = {0, 50 * 1000 * 1000};
    int last = kivtest_thread_count();
    int steady = 0;
    for (int waited = 0; waited < 3000 && steady < 5; waited += 50) {
        nanosleep(&step, NULL);
        const int now = kivtest_thread_count();
        steady = now == last ? steady + 1 : 0;
        last = now;
    }
    kivtest_status_after_check = status;
    __sanitizer_set_death_callback(kivtest_on_sanitizer_death);
    kivtest_checking_leaks = 1;
    __lsan_do_leak_check();
    kivtest_checking_leaks = 0;
}
#else
static inline void kivtest_check_leaks(int status)
{
    (void)status;
}
#endif

#endif
