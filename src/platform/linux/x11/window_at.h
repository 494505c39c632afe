// Top-level client windows: which one shows a screen pixel, and the GTK
// application ids they carry.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

namespace nuvra::x11 {

// A window's children, bottom to top; none when it is gone.
std::vector<unsigned long> childrenOf(_XDisplay* display, unsigned long window);

// The top-level client window that shows the screen pixel (x, y): the
// topmost mapped child of the root there, or, under a window manager, the
// window inside its frame that carries WM_STATE.
struct ClientWindow {
    unsigned long id = 0;
    int x = 0;  // root coordinates of its top-left corner
    int y = 0;
    int width = 0;
    int height = 0;
    std::optional<int32_t> pid;  // _NET_WM_PID, when the client set it
    bool popup = false;          // override-redirect: a menu or list the toolkit placed itself
};
std::optional<ClientWindow> clientWindowAt(_XDisplay* display, int x, int y);

// _GTK_APPLICATION_ID of every top-level client window that names its
// process, by process number.
std::map<int32_t, std::string> gtkApplicationIds(_XDisplay* display);

}  // namespace nuvra::x11
