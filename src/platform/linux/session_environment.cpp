// What a desktop session's environment gives its programs, and what this
// process was started without. Agent hosts start their servers with a few
// variables only (the MCP SDK passes HOME, LOGNAME, PATH, SHELL, TERM, USER).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/native.h"

namespace nuvra {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool isSocket(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// The per-user runtime directory systemd and elogind make.
std::string runtimeDirectory() {
    if (isSet("XDG_RUNTIME_DIR")) return std::getenv("XDG_RUNTIME_DIR");
    return "/run/user/" + std::to_string(getuid());
}

// The lowest-numbered display with a local socket: on a desktop, the
// session's own (or its XWayland).
std::string likelyDisplay() {
    long lowest = -1;
    if (DIR* sockets = opendir("/tmp/.X11-unix")) {
        while (const dirent* entry = readdir(sockets)) {
            const char* name = entry->d_name;
            char* end = nullptr;
            if (name[0] != 'X' || name[1] < '0' || name[1] > '9') continue;
            long number = std::strtol(name + 1, &end, 10);
            if (*end == '\0' && (lowest < 0 || number < lowest)) lowest = number;
        }
        closedir(sockets);
    }
    return ":" + std::to_string(lowest < 0 ? 0 : lowest);
}

// The first wayland-N socket of the runtime directory, by its whole path:
// without XDG_RUNTIME_DIR a relative name names nothing.
std::string waylandSocket() {
    const std::string dir = runtimeDirectory();
    for (int n = 0; n < 10; ++n) {
        std::string path = dir + "/wayland-" + std::to_string(n);
        if (isSocket(path)) return path;
    }
    return {};
}

}  // namespace

std::vector<SessionVariable> missingSessionVariables() {
    std::vector<SessionVariable> missing;
    // Pointer events, hit tests and the accessibility bus's address on the
    // root window all go through the display.
    if (!isSet("DISPLAY")) missing.push_back({"DISPLAY", likelyDisplay()});
    // The session bus leads to the accessibility bus; the per-user socket
    // stands in for the variable where XDG_RUNTIME_DIR points to it.
    const std::string userBus = runtimeDirectory() + "/bus";
    if (!isSet("DBUS_SESSION_BUS_ADDRESS") && !isSet("AT_SPI_BUS_ADDRESS") &&
        !(isSet("XDG_RUNTIME_DIR") && isSocket(userBus)))
        missing.push_back({"DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/" +
                                                           std::to_string(getuid()) + "/bus"});
    // Without it a native Wayland window's positions, which are its own and
    // not the screen's, would be printed as screen points.
    if (!isSet("WAYLAND_DISPLAY")) {
        if (std::string socket = waylandSocket(); !socket.empty())
            missing.push_back({"WAYLAND_DISPLAY", socket});
    } else if (std::getenv("WAYLAND_DISPLAY")[0] != '/' && !isSet("XDG_RUNTIME_DIR") &&
               isSocket(runtimeDirectory() + "/" + std::getenv("WAYLAND_DISPLAY"))) {
        missing.push_back({"XDG_RUNTIME_DIR", runtimeDirectory()});
    }
    return missing;
}

}  // namespace nuvra
