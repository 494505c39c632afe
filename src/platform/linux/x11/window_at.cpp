#include "platform/linux/x11/window_at.h"

#include <deque>
#include <vector>

#include <xcb/xcb.h>

#include "platform/linux/x11/display.h"

namespace nuvra::x11 {

std::vector<uint32_t> childrenOf(Connection& c, uint32_t window) {
    auto tree = replyTo<xcb_query_tree_reply_t>(c, xcb_query_tree(c.xcb, window));
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<uint32_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

namespace {

bool hasWmState(Connection& c, uint32_t window) {
    return hasProperty(c, window, "WM_STATE");
}

}  // namespace

// A window manager reparents each client into a frame; the client is the
// first window below the frame that carries WM_STATE. Without a window
// manager (bare Xvfb) the top-level window is the client itself.
uint32_t clientOf(Connection& c, uint32_t topLevel) {
    if (hasWmState(c, topLevel)) return topLevel;
    std::deque<uint32_t> queue{topLevel};
    int visited = 0;
    while (!queue.empty() && visited < 256) {
        uint32_t w = queue.front();
        queue.pop_front();
        ++visited;
        for (uint32_t child : childrenOf(c, w)) {
            if (hasWmState(c, child)) return child;
            queue.push_back(child);
        }
    }
    return topLevel;
}

std::optional<ClientWindow> describeWindow(Connection& c, uint32_t client, bool* viewable) {
    // Asked together, answered in one wait.
    auto attributesAsked = xcb_get_window_attributes(c.xcb, client);
    auto geometryAsked = xcb_get_geometry(c.xcb, client);
    auto originAsked = xcb_translate_coordinates(c.xcb, client, c.root, 0, 0);
    auto attributes = replyTo<xcb_get_window_attributes_reply_t>(c, attributesAsked);
    auto geometry = replyTo<xcb_get_geometry_reply_t>(c, geometryAsked);
    auto origin = replyTo<xcb_translate_coordinates_reply_t>(c, originAsked);
    if (!attributes || !geometry || !origin) return std::nullopt;
    if (viewable) *viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    return ClientWindow{client, origin->dst_x, origin->dst_y, geometry->width, geometry->height,
                        std::nullopt, attributes->override_redirect != 0};
}

std::optional<ClientWindow> clientWindowAt(Connection* c, int x, int y) {
    if (c == nullptr) return std::nullopt;
    auto at = replyTo<xcb_translate_coordinates_reply_t>(
        *c, xcb_translate_coordinates(c->xcb, c->root, c->root, static_cast<int16_t>(x),
                                      static_cast<int16_t>(y)));
    if (!at || at->child == XCB_WINDOW_NONE) return std::nullopt;
    const uint32_t topLevel = at->child;

    uint32_t client = clientOf(*c, topLevel);
    std::optional<ClientWindow> described = describeWindow(*c, client);
    if (!described) return std::nullopt;
    ClientWindow result = *described;
    result.pid = windowPid(*c, client);
    if (!result.pid && client != topLevel) result.pid = windowPid(*c, topLevel);
    return result;
}

std::map<int32_t, std::string> gtkApplicationIds(Connection* c) {
    std::map<int32_t, std::string> ids;
    if (c == nullptr) return ids;
    for (uint32_t topLevel : childrenOf(*c, c->root)) {
        uint32_t client = clientOf(*c, topLevel);
        auto id = stringProperty(*c, client, "_GTK_APPLICATION_ID");
        if (!id || id->empty()) continue;
        auto pid = windowPid(*c, client);
        if (pid) ids.emplace(*pid, *id);
    }
    return ids;
}

}  // namespace nuvra::x11
