#include "before_qt.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <linux/capability.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

namespace kolva {

namespace {

// Whether something accepts connections on the local socket; abstract with a leading '@'.
bool accepts(const std::string &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (path[0] == '@')
        address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + path.size());
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), size) == 0;
    ::close(fd);
    return connected;
}

bool xDisplayReachable(const char *display) {
    if (!display || !*display)
        return false;
    const std::string name = display;
    const auto colon = name.rfind(':');
    const std::string host = name.substr(0, colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || (!host.empty() && host != "unix"))
        return colon != std::string::npos; // a remote display: Qt finds out
    const std::string number = name.substr(colon + 1, name.find('.', colon) - colon - 1);
    const std::string socket = "/tmp/.X11-unix/X" + number;
    return accepts('@' + socket) || accepts(socket);
}

bool waylandReachable(const char *display) {
    if (!display || !*display)
        return false;
    if (display[0] == '/')
        return accepts(display);
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && accepts(std::string(runtime) + '/' + display);
}

} // namespace

bool dropCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    return ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 &&
           ::syscall(SYS_capset, &header, none) == 0 &&
           ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool noDisplayReachable(int argc, char *argv[]) {
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return false;
    return !xDisplayReachable(std::getenv("DISPLAY")) &&
           !waylandReachable(std::getenv("WAYLAND_DISPLAY"));
}

} // namespace kolva
