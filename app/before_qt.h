#pragma once

// What the process does before any Qt code runs.

namespace kolva {

// Gives up every capability for good (permitted, effective, inheritable, ambient) and forbids
// gaining any through exec. False where the kernel refused, which leaves the process as it was.
bool dropCapabilities();

// True where the command line or QT_QPA_PLATFORM names no Qt platform and no display can be
// reached: no X server at a local DISPLAY and no Wayland compositor at WAYLAND_DISPLAY. A remote
// X display counts as reachable.
bool noDisplayReachable(int argc, char *argv[]);

} // namespace kolva
