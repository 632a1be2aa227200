#include "platform/linux/DisplayProbe.h"

#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace tw {

namespace {

bool hasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

bool displayReachable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 &&
        std::strncmp(platform, "wayland", 7) != 0) {
        return true;
    }
    if (hasEnv("DISPLAY")) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const bool ok = connection && xcb_connection_has_error(connection) == 0;
        if (connection) xcb_disconnect(connection);
        if (ok) return true;
    }
    return hasEnv("WAYLAND_DISPLAY") && (!platform || std::strncmp(platform, "wayland", 7) == 0);
}

}  // namespace tw
