#include "platform/linux/x11/client_pids.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include "platform/linux/x11/window_at.h"

namespace nuvra::x11 {

namespace {

// A desktop has tens of top-level windows; a hostile client that makes
// thousands costs no more than this many.
constexpr size_t kMaxWindows = 4096;

}  // namespace

bool waylandDisplayPresent() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') return false;
    std::string path = name;
    if (path.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') return false;
        path = std::string(runtime) + "/" + path;
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

std::optional<std::set<int32_t>> windowOwnerPids(_XDisplay* display) {
    std::set<int32_t> pids;
    if (display == nullptr) return pids;
    std::vector<XResClientIdSpec> specs;
    for (unsigned long top : childrenOf(display, DefaultRootWindow(display))) {
        if (specs.size() >= kMaxWindows) break;
        specs.push_back({top, XRES_CLIENT_ID_PID_MASK});
        for (unsigned long child : childrenOf(display, top))
            if (specs.size() < kMaxWindows) specs.push_back({child, XRES_CLIENT_ID_PID_MASK});
    }
    if (specs.empty()) return pids;
    int events = 0, errors = 0;
    if (!XResQueryExtension(display, &events, &errors)) return std::nullopt;
    long count = 0;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(display, static_cast<long>(specs.size()), specs.data(), &count,
                           &values) != Success)
        return std::nullopt;
    for (long i = 0; i < count; ++i) {
        pid_t pid = XResGetClientPid(&values[i]);
        if (pid > 0) pids.insert(static_cast<int32_t>(pid));
    }
    XResClientIdsDestroy(count, values);
    return pids;
}

}  // namespace nuvra::x11
