// Which processes show X11 windows, and whether a Wayland compositor runs
// beside the X server: on a Wayland desktop, an application that shows no
// X11 window is a native Wayland client, which cannot know where its
// windows are on the screen.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace nuvra::x11 {

struct Connection;

// Whether $WAYLAND_DISPLAY names a socket that exists (a relative name is
// looked up in $XDG_RUNTIME_DIR, as libwayland does).
bool waylandDisplayPresent();

// The processes behind the top-level windows: the children of the root
// and, since a window manager reparents each client into a frame of its
// own, the children of those. The X server tells the process behind the
// client that created each window (X-Resource), which, unlike _NET_WM_PID,
// no client can claim for another. Empty without a display; nothing when
// the server cannot tell (no X-Resource 1.2, or no answer).
std::optional<std::set<int32_t>> windowOwnerPids(Connection* c);

// The top-level client windows that name their class (WM_CLASS), each with
// the process behind it (X-Resource, as above) and the names the class
// gives, instance and class ("chromium", "Chromium"). Empty without a
// display, or where the server cannot tell the processes.
struct WindowOwner {
    int32_t pid = 0;
    std::vector<std::string> names;
};
std::vector<WindowOwner> windowOwners(Connection* c);

// The process behind the client that created one window, by X-Resource;
// nothing when the server cannot tell.
std::optional<int32_t> windowOwnerPid(Connection& c, uint32_t window);

}  // namespace nuvra::x11
