// An application's accessible objects as one answer: AT-SPI's
// Cache.GetItems gives role, name, description, states, interfaces, parent,
// index in the parent and child count of every object the application's
// bridge keeps, each read by the application when it answers.
//
// What the answer does not prove is left to per-object requests: which
// objects the bridge keeps lags behind the tree (children added a moment
// ago are missing, descendants of objects that manage their own are never
// there), so an object's children count as known only when exactly one
// kept object claims each index below its child count; any other object is
// asked for its children as before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/linux/atspi/requests.h"

namespace nuvra::atspi {

// Interfaces whose requests a snapshot can spare when an object lacks them.
enum InterfaceBit : uint32_t {
    kComponentInterface = 1,
    kTextInterface = 2,
    kValueInterface = 4,
};

struct SnapshotObject {
    std::string path;
    uint32_t role = 0;
    std::string name;
    std::string description;
    StateSet states;
    uint32_t interfaces = 0;  // InterfaceBit
    // As the object claims it; none where the bridge does not say (the
    // ATK bridge answers -1 for an object that manages its descendants).
    std::optional<int32_t> childCount;
    bool childrenKnown = false;
    std::vector<int32_t> children;  // indexes into AppSnapshot::objects, in order
};

struct AppSnapshot {
    std::string bus;
    std::vector<SnapshotObject> objects;
    std::unordered_map<std::string, int32_t> byPath;

    // The object's index, or -1 when the snapshot does not hold it.
    int32_t indexOf(const ObjectRef& ref) const;
};

// How long a whole application may take to describe itself: far longer
// than one request, since it answers for every object at once.
constexpr std::chrono::milliseconds kSnapshotTimeout{3000};

// The application's snapshot; nothing when it has no cache of this form.
std::optional<AppSnapshot> takeSnapshot(BusLink& link, const std::string& bus);

// The same from a GetItems reply body, for tests.
std::optional<AppSnapshot> snapshotFrom(const std::string& bus, const dbus::Message& reply);

}  // namespace nuvra::atspi
