// The main function of every test program: each test case runs in a process
// of its own (the library's central object lives until its process ends),
// on a display of its own.
#include "leak_check.h"
#include "private_display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing) {
        // Chromium refuses to start as root with its sandbox on.
        if (geteuid() == 0)
            setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        // A virtual display has no session bus. Without an address, the
        // toolkit's D-Bus library forks to launch one, from a process whose
        // other threads may hold the sanitizer allocator's lock at that
        // moment: the forked child then spins forever and the test hangs.
        // An address that does not exist fails at once instead.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kivtest-no-session-bus", 0);
        if (!std::getenv("KIV_TEST_SHARED_DISPLAY"))
            kivtest::startPrivateDisplay();
    }
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    if (!listing) {
        // Sanitizer builds: check for leaks now, while the library and the
        // web engine are whole (see leak_check.h).
        kivtest_check_leaks(status);
        // An ordinary exit, with windows still open: the library shuts the
        // web engine down on the way, so every test also checks that.
        std::exit(status);
    }
    return status;
}
