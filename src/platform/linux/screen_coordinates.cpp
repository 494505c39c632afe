#include "platform/linux/screen_coordinates.h"

#include "platform/linux/x11/client_pids.h"

namespace nuvra::atspi {

const Toolkit& ScreenCoordinates::toolkit(const std::string& bus) {
    auto known = known_.find(bus);
    if (known == known_.end()) known = known_.emplace(bus, getToolkit(link_, bus)).first;
    return known->second;
}

bool ScreenCoordinates::nativeWayland(const std::string& bus) {
    if (!wayland_) wayland_ = x11::waylandDisplayPresent();
    if (!*wayland_) return false;
    auto known = native_.find(bus);
    if (known != native_.end()) return known->second;
    if (!xOwners_) xOwners_ = x11::windowOwnerPids(display_.get());
    // A server that cannot tell who made its windows (no X-Resource;
    // XWayland always has it) leaves each application at its word. A
    // process the bus cannot name cannot be shown to own a window.
    bool native = false;
    if (*xOwners_) {
        auto pid = connectionPid(link_, bus);
        native = !pid || (*xOwners_)->count(*pid) == 0;
    }
    return native_.emplace(bus, native).first->second;
}

}  // namespace nuvra::atspi
