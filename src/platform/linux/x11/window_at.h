// Top-level client windows: which one shows a screen pixel, and the GTK
// application ids they carry.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nuvra::x11 {

struct Connection;

// A window's children, bottom to top; none when it is gone.
std::vector<uint32_t> childrenOf(Connection& c, uint32_t window);

// The top-level client window that shows the screen pixel (x, y): the
// topmost mapped child of the root there, or, under a window manager, the
// window inside its frame that carries WM_STATE.
struct ClientWindow {
    uint32_t id = 0;
    int x = 0;  // root coordinates of its top-left corner
    int y = 0;
    int width = 0;
    int height = 0;
    std::optional<int32_t> pid;  // _NET_WM_PID, when the client set it
    bool popup = false;          // override-redirect: a menu or list the toolkit placed itself
};
std::optional<ClientWindow> clientWindowAt(Connection* c, int x, int y);

// The client window inside a top-level window: the window itself, or under
// a window manager the one inside its frame that carries WM_STATE.
uint32_t clientOf(Connection& c, uint32_t topLevel);

// Where a client window is, and whether it is override-redirect and
// viewable (mapped, and its ancestors too); nothing when it is gone. Its
// process is left to the caller.
std::optional<ClientWindow> describeWindow(Connection& c, uint32_t client, bool* viewable = nullptr);

// _GTK_APPLICATION_ID of every top-level client window that names its
// process, by process number.
std::map<int32_t, std::string> gtkApplicationIds(Connection* c);

}  // namespace nuvra::x11
