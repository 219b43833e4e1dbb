#include "desktop/Display.h"

#include <QByteArray>
#include <QList>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#include <utility>

namespace ferrodock {

namespace {

// The connection of the last X server found reachable, until releaseDisplayCheck().
xcb_connection_t* held = nullptr;

// Whether the X server named by `display` (or $DISPLAY) takes a connection.
bool x11Reachable(const char* display) {
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return false;
    }
    releaseDisplayCheck();
    held = connection;
    return true;
}

// Whether the Wayland compositor's socket takes a connection.
bool waylandReachable() {
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    const QByteArray path = name.startsWith('/') ? name : qgetenv("XDG_RUNTIME_DIR") + '/' + name;
    sockaddr_un address{};
    if (name.isEmpty() || size_t(path.size()) >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool reachable =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return reachable;
}

}  // namespace

void releaseDisplayCheck() {
    if (held) xcb_disconnect(std::exchange(held, nullptr));
}

bool displayAvailable(int argc, char** argv) {
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    QByteArray display = qgetenv("DISPLAY");
    for (int i = 1; i + 1 < argc; ++i) {
        const char* option = argv[i] + (std::strncmp(argv[i], "--", 2) == 0 ? 1 : 0);
        if (std::strcmp(option, "-platform") == 0) platforms = argv[i + 1];
        if (std::strcmp(option, "-display") == 0) display = argv[i + 1];
    }
    const auto x11 = [&display] { return !display.isEmpty() && x11Reachable(display); };
    if (platforms.isEmpty()) return x11() || waylandReachable();
    for (const QByteArray& entry : platforms.split(';')) {
        const QByteArray name = entry.split(':').first();
        if (name == "xcb"                ? x11()
            : name.startsWith("wayland") ? waylandReachable()
                                         : !name.isEmpty())
            return true;
    }
    return false;
}

}  // namespace ferrodock
