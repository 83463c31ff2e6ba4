#ifndef KIVWEBVIEW_CLOCK_H
#define KIVWEBVIEW_CLOCK_H

#include <cstdint>

// Wall-clock time (the system clock) in whole milliseconds since the epoch.
std::uint64_t current_ms();

#endif // KIVWEBVIEW_CLOCK_H
