#include "before_qt.h"

#include <cstdlib>
#include <cstring>
#include <linux/capability.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kolva {

bool dropCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    return ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 &&
           ::syscall(SYS_capset, &header, none) == 0 &&
           ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool addHeadlessFallback(int argc, char *argv[]) {
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return false;
    // As Qt chooses: Wayland first in a Wayland session or where a compositor is named, X11
    // otherwise and as Wayland's fallback.
    const char *session = std::getenv("XDG_SESSION_TYPE");
    const char *compositor = std::getenv("WAYLAND_DISPLAY");
    const bool wayland =
        (session && ::strcasecmp(session, "wayland") == 0) || (compositor && *compositor);
    return ::setenv("QT_QPA_PLATFORM", wayland ? "wayland;xcb;offscreen" : "xcb;offscreen", 1) == 0;
}

} // namespace kolva
