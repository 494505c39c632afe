#include "platform/linux/reply_cache.h"

#include "platform/linux/x11/client_pids.h"

namespace nuvra::atspi {

void ElementBurst::gather(const ObjectRef& object, std::optional<uint32_t>& role) {
    Burst& b = burstFor(object);
    if (b.gathered) return;
    b.gathered = true;
    std::vector<Request> requests;
    const bool roleKnown = role.has_value();
    if (!roleKnown) requests.push_back(roleRequest(object));
    requests.push_back(nameRequest(object));
    requests.push_back(stateRequest(object));
    requests.push_back(extentsRequest(object));
    requests.push_back(childrenRequest(object));
    auto replies = link_.callAll(requests);
    size_t i = 0;
    if (!roleKnown) {
        if (auto read = roleFrom(replies[i])) role = *read;
        ++i;
    }
    b.name = nameFrom(replies[i++]);
    b.states = statesFrom(replies[i++]);
    b.extents = extentsFrom(replies[i++]);
    b.children = childrenFrom(replies[i++]);
    b.started = dbus::Clock::now();
}

std::optional<StateSet> ElementBurst::states(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.states) b.states = getState(link_, object);
    return *b.states;
}

std::optional<Extents> ElementBurst::extents(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.extents) b.extents = getExtents(link_, object);
    return *b.extents;
}

std::optional<std::string> ElementBurst::name(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.name) b.name = getName(link_, object);
    return *b.name;
}

std::optional<std::string> ElementBurst::description(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.description) b.description = getDescription(link_, object);
    return *b.description;
}

std::optional<std::vector<ObjectRef>> ElementBurst::children(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (b.children) {
        auto children = std::move(*b.children);
        b.children.reset();
        return children;
    }
    return getChildren(link_, object);
}

ElementBurst::Burst& ElementBurst::burstFor(const ObjectRef& object) {
    auto now = dbus::Clock::now();
    if (!sameObject(burst_.object, object) || now - burst_.started > kLifetime) {
        burst_ = Burst{};
        burst_.object = object;
        burst_.started = now;
    }
    return burst_;
}

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
