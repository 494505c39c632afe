// The X input focus, where XTest keys arrive; bringing a top-level window
// to the front with it, and finding the X windows of a process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/x11/window_at.h"

namespace nuvra::x11 {

struct Connection;

// Whether the focus is in a window of the X server at all (not None, nor
// PointerRoot over the bare root); false without a display.
bool focusInXWindow(Connection* c);

// A top-level client window as activation needs it.
struct TopLevel {
    ClientWindow window;
    bool viewable = false;
    std::optional<std::string> title;  // _NET_WM_NAME, else WM_NAME
};

// The top-level client windows whose _NET_WM_PID is `pid`, bottom to top.
std::vector<TopLevel> topLevelsOf(Connection* c, int32_t pid);

// Whether a window manager that takes EWMH activation requests runs: the
// root's _NET_SUPPORTING_WM_CHECK names a window that names itself, and
// _NET_SUPPORTED lists _NET_ACTIVE_WINDOW.
bool ewmhActivation(Connection& c);

// Asks for `window` to be raised and focused. Under such a window manager,
// as EWMH asks: a _NET_ACTIVE_WINDOW client message to the root window,
// as a pager sends it (source indication 2), which the window manager
// answers by de-iconifying, raising and focusing the window (and switching
// to its desktop). Without one (a bare X server), the window is raised
// above its siblings and given the input focus directly; a window that is
// not viewable cannot take the focus. True when the server took the
// requests.
bool activateWindow(Connection* c, const TopLevel& window);

}  // namespace nuvra::x11
