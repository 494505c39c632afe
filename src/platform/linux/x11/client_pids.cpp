#include "platform/linux/x11/client_pids.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <xcb/res.h>

#include "platform/linux/x11/display.h"
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

std::optional<std::set<int32_t>> windowOwnerPids(Connection* c) {
    std::set<int32_t> pids;
    if (c == nullptr) return pids;
    std::vector<xcb_res_client_id_spec_t> specs;
    for (uint32_t top : childrenOf(*c, c->root)) {
        if (specs.size() >= kMaxWindows) break;
        specs.push_back({top, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
        for (uint32_t child : childrenOf(*c, top))
            if (specs.size() < kMaxWindows)
                specs.push_back({child, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
    }
    if (specs.empty()) return pids;
    if (!hasExtension(*c, &xcb_res_id)) return std::nullopt;
    auto ids = replyTo<xcb_res_query_client_ids_reply_t>(
        *c, xcb_res_query_client_ids(c->xcb, static_cast<uint32_t>(specs.size()), specs.data()));
    if (!ids) return std::nullopt;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0 ||
            xcb_res_client_id_value_value_length(it.data) < 1)
            continue;
        uint32_t pid = *xcb_res_client_id_value_value(it.data);
        if (pid > 0 && pid <= INT32_MAX) pids.insert(static_cast<int32_t>(pid));
    }
    return pids;
}

}  // namespace nuvra::x11
