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
#endif

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
        // web engine are whole.
        __lsan_do_leak_check();
#endif
        // An ordinary exit, with windows still open: the library shuts the
        // web engine down on the way, so every test also checks that.
        std::exit(status);
    }
    return status;
}
