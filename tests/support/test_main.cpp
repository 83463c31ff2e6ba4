// The main function of every test program: each test case runs in a process
// of its own (the library's central object lives until its process ends),
// on a display of its own.
#include "private_display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
// Waits (at most 3 s) until the process's thread count has not changed for
// 250 ms.
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

int main(int argc, char **argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing) {
        // Chromium refuses to start as root with its sandbox on.
        if (geteuid() == 0)
            setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        if (!std::getenv("KIV_TEST_SHARED_DISPLAY"))
            kivtest::startPrivateDisplay();
    }
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    if (!listing) {
#if defined(__SANITIZE_ADDRESS__)
        // Sanitizer build: check for leaks now, while the library and the
        // web engine are whole, once no thread is being started or ended
        // (LeakSanitizer's tracer can fault on a thread being created).
        waitForSteadyThreads();
        __lsan_do_leak_check();
#endif
        // An ordinary exit, with windows still open: the library shuts the
        // web engine down on the way, so every test also checks that.
        std::exit(status);
    }
    return status;
}
