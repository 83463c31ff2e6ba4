// The library's part in the host's exit.
#ifndef KIVWEBVIEW_EXIT_SHUTDOWN_H
#define KIVWEBVIEW_EXIT_SHUTDOWN_H

// True once the exit handler has shut the library down: the process is
// ending, and the C functions return their failure values without touching
// the toolkit.
bool libraryShutDown();

#endif // KIVWEBVIEW_EXIT_SHUTDOWN_H
