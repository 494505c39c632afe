// Replies kept for reuse: the burst of one element's replies, and each
// application's word on its coordinates.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi/requests.h"

namespace nuvra::atspi {

// The core reads an element's attributes one after another (role, title,
// description, value, enabled, focused, position, size), and several of
// them come from one AT-SPI reply: the state set, the extents, the name.
// Such a burst of reads of one object shares the replies, for a few
// milliseconds at most, so that each is still what the object answers at
// that moment. Reading any other object, acting or writing ends the burst.
class ElementBurst {
public:
    explicit ElementBurst(BusLink& link) : link_(link) {}

    // The replies every element of a walk needs, fetched in one round (the
    // role too, into `role`, unless already known); the burst's few
    // milliseconds start when they are in.
    void gather(const ObjectRef& object, std::optional<uint32_t>& role);

    std::optional<StateSet> states(const ObjectRef& object);
    std::optional<Extents> extents(const ObjectRef& object);
    std::optional<std::string> name(const ObjectRef& object);
    std::optional<std::string> description(const ObjectRef& object);
    // Gathered children serve one read; any other read asks afresh.
    std::optional<std::vector<ObjectRef>> children(const ObjectRef& object);

    void clear() { burst_ = Burst{}; }

private:
    static constexpr std::chrono::milliseconds kLifetime{20};

    // Outer optional: asked yet; inner: the answer, or none.
    struct Burst {
        ObjectRef object;
        dbus::Clock::time_point started;
        std::optional<std::optional<StateSet>> states;
        std::optional<std::optional<Extents>> extents;
        std::optional<std::optional<std::string>> name;
        std::optional<std::optional<std::string>> description;
        std::optional<std::optional<std::vector<ObjectRef>>> children;
        bool gathered = false;
    };
    Burst& burstFor(const ObjectRef& object);

    BusLink& link_;
    Burst burst_;
};

// Whether each application's extents are screen coordinates
// (reportsScreenCoordinates), asked once per application and run.
class ScreenCoordinates {
public:
    explicit ScreenCoordinates(BusLink& link) : link_(link) {}
    bool of(const std::string& bus);

private:
    BusLink& link_;
    std::map<std::string, bool> known_;
};

}  // namespace nuvra::atspi
