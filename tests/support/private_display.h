#ifndef KIVWEBVIEW_PRIVATE_DISPLAY_H
#define KIVWEBVIEW_PRIVATE_DISPLAY_H

namespace kivtest {

// Starts a virtual display (Xvfb) with a window manager (openbox) for this
// test process alone and points DISPLAY at it, so that tests running side by
// side never share focus, window placement or typed keys. Both stop when the
// process ends. Must run before the first library call.
void startPrivateDisplay();

} // namespace kivtest

#endif // KIVWEBVIEW_PRIVATE_DISPLAY_H
