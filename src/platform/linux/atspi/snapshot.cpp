#include "platform/linux/atspi/snapshot.h"

#include <string_view>
#include <utility>

namespace nuvra::atspi {

namespace {

constexpr const char* kItemsSignature = "a((so)(so)(so)iiassusau)";

// GetChildren refuses objects with more children than this; a snapshot
// must not list what the request would not.
constexpr int32_t kMaxChildren = 65536;

struct Claim {
    int32_t parent = -1;
    int32_t index = -1;
};

bool readRef(dbus::BodyReader& body, std::string_view& bus, std::string_view& path) {
    return body.enter() && body.string(bus) && body.objectPath(path) && body.leave();
}

uint32_t interfaceBit(std::string_view name) {
    if (name == "org.a11y.atspi.Component") return kComponentInterface;
    if (name == "org.a11y.atspi.Text") return kTextInterface;
    if (name == "org.a11y.atspi.Value") return kValueInterface;
    return 0;
}

}  // namespace

int32_t AppSnapshot::indexOf(const ObjectRef& ref) const {
    if (ref.bus != bus) return -1;
    auto found = byPath.find(ref.path);
    return found == byPath.end() ? -1 : found->second;
}

std::optional<AppSnapshot> snapshotFrom(const std::string& bus, const dbus::Message& reply) {
    if (!reply.hasSignature(kItemsSignature)) return std::nullopt;
    AppSnapshot snapshot;
    snapshot.bus = bus;
    std::vector<std::string> parentPaths;
    std::vector<int32_t> indexes;
    std::vector<int32_t> counts;

    dbus::BodyReader body(reply);
    if (!body.enter()) return std::nullopt;
    while (body.more()) {
        std::string_view selfBus, selfPath, appBus, appPath, parentBus, parentPath;
        int32_t index = -1;
        int32_t count = -1;
        if (!body.enter() || !readRef(body, selfBus, selfPath) ||
            !readRef(body, appBus, appPath) || !readRef(body, parentBus, parentPath) ||
            !body.i32(index) || !body.i32(count))
            return std::nullopt;
        SnapshotObject object;
        if (!body.enter()) return std::nullopt;
        while (body.more()) {
            std::string_view name;
            if (!body.string(name)) return std::nullopt;
            object.interfaces |= interfaceBit(name);
        }
        std::string_view name, description;
        if (!body.leave() || !body.string(name) || !body.u32(object.role) ||
            !body.string(description) || !body.enter())
            return std::nullopt;
        for (int word = 0; body.more(); ++word) {
            uint32_t bits = 0;
            if (!body.u32(bits)) return std::nullopt;
            if (word < 2) object.states.bits |= static_cast<uint64_t>(bits) << (32 * word);
        }
        if (!body.leave() || !body.leave()) return std::nullopt;
        // Objects of another connection (an embedded plug) and a second
        // entry for one path are not this application's to describe.
        if (selfBus != bus || snapshot.byPath.count(std::string(selfPath)) != 0) continue;
        object.path = std::string(selfPath);
        if (count >= 0) object.childCount = count;
        object.name = std::string(name);
        object.description = std::string(description);
        snapshot.byPath.emplace(object.path, static_cast<int32_t>(snapshot.objects.size()));
        snapshot.objects.push_back(std::move(object));
        parentPaths.emplace_back(parentBus == bus ? parentPath : std::string_view());
        indexes.push_back(index);
        counts.push_back(count);
    }
    if (!body.leave() || !body.atEnd()) return std::nullopt;

    // Each object's children from the claims of the others: known only when
    // the claims fill every index below the child count exactly once. Slots
    // are made only for counts that as many claims back, so what is stored
    // stays within what the message holds, whatever an object claims.
    const size_t n = snapshot.objects.size();
    std::vector<int32_t> parents(n, -1);
    std::vector<int32_t> claims(n, 0);
    for (size_t i = 0; i < n; ++i) {
        if (parentPaths[i].empty()) continue;
        auto parent = snapshot.byPath.find(parentPaths[i]);
        if (parent == snapshot.byPath.end()) continue;
        parents[i] = parent->second;
        ++claims[static_cast<size_t>(parent->second)];
    }
    std::vector<bool> contradicted(n, false);
    for (size_t i = 0; i < n; ++i) {
        if (counts[i] == claims[i] && counts[i] <= kMaxChildren)
            snapshot.objects[i].children.assign(static_cast<size_t>(counts[i]), -1);
        else
            contradicted[i] = true;
    }
    for (size_t i = 0; i < n; ++i) {
        if (parents[i] < 0) continue;
        auto p = static_cast<size_t>(parents[i]);
        auto& slots = snapshot.objects[p].children;
        int32_t index = indexes[i];
        if (index < 0 || static_cast<size_t>(index) >= slots.size() ||
            slots[static_cast<size_t>(index)] != -1) {
            contradicted[p] = true;
            continue;
        }
        slots[static_cast<size_t>(index)] = static_cast<int32_t>(i);
    }
    for (size_t i = 0; i < n; ++i) {
        auto& object = snapshot.objects[i];
        bool complete = !contradicted[i];
        for (int32_t child : object.children) complete = complete && child >= 0;
        object.childrenKnown = complete;
        if (!complete) object.children.clear();
    }
    return snapshot;
}

std::optional<AppSnapshot> takeSnapshot(BusLink& link, const std::string& bus) {
    Request request;
    request.bus = bus;
    request.path = "/org/a11y/atspi/cache";
    request.interface = "org.a11y.atspi.Cache";
    request.method = "GetItems";
    request.replySignature = kItemsSignature;
    Reply reply = link.call(request, kSnapshotTimeout);
    if (!reply) return std::nullopt;
    return snapshotFrom(bus, *reply);
}

}  // namespace nuvra::atspi
