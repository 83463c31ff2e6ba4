#include "private_display.h"

#include "test_support.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace kivtest {

void startPrivateDisplay()
{
    // The script keeps the display until this process has ended; it reports
    // the display number on its standard output and then closes it.
    FILE *pipe = popen(
        ("setsid " + sourceDir() + "/support/private-display.sh " + std::to_string(getpid()))
            .c_str(),
        "r");
    if (!pipe)
        throw std::runtime_error("could not start the private display");
    char line[32] = {};
    const bool got = fgets(line, sizeof line, pipe) != nullptr;
    // The script goes on in the background; do not wait for it.
    if (got && std::strncmp(line, "no-window-manager", 17) == 0)
        throw std::runtime_error("the window manager did not start on the private display");
    if (!got || std::atoi(line) < 0 || line[0] < '0' || line[0] > '9')
        throw std::runtime_error("Xvfb did not start");
    std::string number(line);
    while (!number.empty() && (number.back() == '\n' || number.back() == '\r'))
        number.pop_back();
    setenv("DISPLAY", (":" + number).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("QT_QPA_PLATFORM", "xcb", 1);
}

} // namespace kivtest
