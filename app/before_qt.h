#pragma once

// What the process does before any Qt code runs.

namespace kolva {

// Gives up every capability for good (permitted, effective, inheritable, ambient) and forbids
// gaining any through exec. False where the kernel refused, which leaves the process as it was.
bool dropCapabilities();

// Where neither QT_QPA_PLATFORM nor -platform names a Qt platform, sets QT_QPA_PLATFORM to the
// platforms Qt itself would try, then offscreen: Qt moves on to the next where one cannot start,
// so without a display the program runs headless instead of aborting. True if it set it.
bool addHeadlessFallback(int argc, char *argv[]);

} // namespace kolva
