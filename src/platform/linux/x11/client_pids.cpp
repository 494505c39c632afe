#include "platform/linux/x11/client_pids.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include <sys/stat.h>

#include <xcb/res.h>

#include "platform/linux/limits.h"
#include "platform/linux/x11/display.h"
#include "platform/linux/x11/window_at.h"

namespace nuvra::x11 {

namespace {

// One window to ask about, as the X-Resource request takes it: the type of
// its query's last parameter.
template <class> struct LastParameter;
template <class R, class... A>
struct LastParameter<R (*)(A...)> {
    using type = std::remove_cv_t<std::remove_pointer_t<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>>>;
};
using ClientIdQuery = LastParameter<decltype(&xcb_res_query_client_ids)>::type;

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
    // Only the process id is asked for, so each value the server gives is
    // one: a client whose process it cannot tell gives none.
    std::vector<ClientIdQuery> asked;
    for (uint32_t top : childrenOf(*c, c->root)) {
        if (asked.size() >= kMaxTopLevels) break;
        asked.push_back({top, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
        for (uint32_t child : childrenOf(*c, top))
            if (asked.size() < kMaxTopLevels)
                asked.push_back({child, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
    }
    if (asked.empty()) return pids;
    if (!hasExtension(*c, &xcb_res_id)) return std::nullopt;
    auto ids = replyTo<xcb_res_query_client_ids_reply_t>(
        *c, xcb_res_query_client_ids(c->xcb, static_cast<uint32_t>(asked.size()), asked.data()));
    if (!ids) return std::nullopt;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
        if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
        uint32_t pid = *xcb_res_client_id_value_value(it.data);
        if (pid > 0 && pid <= INT32_MAX) pids.insert(static_cast<int32_t>(pid));
    }
    return pids;
}

std::vector<WindowOwner> windowOwners(Connection* c) {
    std::vector<WindowOwner> owners;
    if (c == nullptr || !hasExtension(*c, &xcb_res_id)) return owners;
    std::vector<std::pair<uint32_t, std::string>> classed;
    for (uint32_t top : childrenOf(*c, c->root)) {
        std::vector<uint32_t> windows{top};
        for (uint32_t child : childrenOf(*c, top)) windows.push_back(child);
        for (uint32_t window : windows)
            if (classed.size() < kMaxTopLevels)
                if (auto name = stringProperty(*c, window, "WM_CLASS"); name && !name->empty())
                    classed.emplace_back(window, std::move(*name));
    }
    for (auto& [window, wmClass] : classed) {
        ClientIdQuery asked{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        auto ids = replyTo<xcb_res_query_client_ids_reply_t>(*c, xcb_res_query_client_ids(c->xcb, 1, &asked));
        if (!ids) return {};
        auto it = xcb_res_query_client_ids_ids_iterator(ids.get());
        if (it.rem < 1 || xcb_res_client_id_value_value_length(it.data) < 1) continue;
        const uint32_t pid = *xcb_res_client_id_value_value(it.data);
        if (pid == 0 || pid > INT32_MAX) continue;
        WindowOwner owner{static_cast<int32_t>(pid), {}};
        // Instance and class, each ended by a NUL.
        for (size_t at = 0; at < wmClass.size();) {
            size_t end = wmClass.find('\0', at);
            if (end == std::string::npos) end = wmClass.size();
            if (end > at) owner.names.push_back(wmClass.substr(at, end - at));
            at = end + 1;
        }
        owners.push_back(std::move(owner));
    }
    return owners;
}

std::optional<int32_t> windowOwnerPid(Connection& c, uint32_t window) {
    if (!hasExtension(c, &xcb_res_id)) return std::nullopt;
    ClientIdQuery asked{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    auto ids = replyTo<xcb_res_query_client_ids_reply_t>(
        c, xcb_res_query_client_ids(c.xcb, 1, &asked));
    if (!ids) return std::nullopt;
    auto it = xcb_res_query_client_ids_ids_iterator(ids.get());
    if (it.rem < 1 || xcb_res_client_id_value_value_length(it.data) < 1) return std::nullopt;
    uint32_t pid = *xcb_res_client_id_value_value(it.data);
    if (pid == 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(pid);
}

}  // namespace nuvra::x11
