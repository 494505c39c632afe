// The Linux desktop as the core's Platform: AT-SPI over the accessibility
// bus for elements and the workspace, X11 for hit testing and XTest for
// pointer input. Which AT-SPI answer stands for which AX attribute is
// decided in ax_vocabulary.cpp; this file fetches and boxes.
#include <algorithm>
#include <ctime>
#include <cerrno>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include <atspi/atspi-constants.h>

#include "platform/linux/app_snapshot.h"
#include "platform/linux/atspi_calls.h"
#include "platform/linux/ax_vocabulary.h"
#include "platform/linux/bus_link.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/workspace.h"
#include "platform/linux/x11_desktop.h"
#include "platform/linux/xtest_events.h"
#include "platform/native.h"
#include "text/fold.h"
#include "text/hash.h"

namespace nuvra {

namespace {

using atspi::AxAttribute;
using atspi::BusLink;
using atspi::Clock;
using atspi::ObjectRef;
using atspi::ValueSource;


// The permission gate must answer within a second in every case, also for a
// bus that accepts the connection and then says nothing; half of it leaves
// room for process start and exit (slower under sanitizers) around it. A
// working bus answers in milliseconds.
constexpr std::chrono::milliseconds kGateBudget{500};
// Finding and joining the bus outside the gate (a platform used without
// asking the gate first) is bounded the same way.
constexpr std::chrono::milliseconds kConnectBudget{2000};

// An element handle: where the object lives. The role is remembered once
// read, because every attribute's meaning depends on it and an object's
// role does not change; the one exception that matters (an entry turning
// into password text) is guarded where text is read.
struct AtspiElement : ElementObject {
    ObjectRef ref;
    bool systemWide = false;
    mutable std::optional<uint32_t> role;
};

struct ResolvedRole {
    std::string role;
    std::string subrole;
    ValueSource value = ValueSource::None;
    uint32_t atspiRole = 0;
};

// A walk bound to fewer elements than this reads them one by one: the
// application would spend longer describing all of itself.
constexpr int64_t kSnapshotMinimum = 64;
// Nor is the whole application fetched for a walk that will visit less
// than a quarter of the objects it has already come across.
constexpr int64_t kSnapshotShare = 4;
// What a snapshot does not hold (extents, texts, current values) is fetched
// for this many elements of the walk at a time, in the walk's order.
constexpr size_t kAheadChunk = 256;

uint64_t fnv1a(uint64_t hash, std::string_view bytes) {
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool sameObject(const ObjectRef& a, const ObjectRef& b) {
    return a.bus == b.bus && a.path == b.path;
}

class LinuxPlatform : public Platform {
public:
    explicit LinuxPlatform(const LinuxReadOptions& options) : options_(options) {}

    bool isProcessTrusted() override {
        auto deadline = Clock::now() + kGateBudget;
        if (!connect(deadline)) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() > 0 && atspi::registryAnswers(link_, left);
    }

    Element createApplicationElement(int32_t pid) override {
        ensureConnected();
        auto known = busByPid_.find(pid);
        if (known == busByPid_.end()) {
            for (const auto& app : atspi::registeredApps(link_))
                if (app.pid > 0) busByPid_[app.pid] = app.bus;
            known = busByPid_.find(pid);
        }
        // Like the platform it stands in for, a handle is always made; for
        // a process without an accessible application every read fails.
        std::string bus = known != busByPid_.end() ? known->second : std::string();
        // The application about to be read is spoken to on its own socket.
        if (!bus.empty() && options_.directConnections) link_.connectDirect(bus);
        return makeElement(ObjectRef{bus, bus.empty() ? std::string() : atspi::kRootPath});
    }

    Element createSystemWideElement() override {
        auto e = std::make_shared<AtspiElement>();
        e->systemWide = true;
        return e;
    }

    AXResult copyElementAtPosition(const Element&, float x, float y, Element& out) override {
        endWalk();
        ensureConnected();
        _XDisplay* display = display_.get();
        if (display == nullptr || !link_.connected()) return kAXCannotComplete;
        auto found = atspi::objectAt(link_, display, x11::pixelOf(x), x11::pixelOf(y));
        if (!found || !screenCoordinates(found->bus)) return kAXNoValue;
        out = makeElement(std::move(*found));
        return kAXSuccess;
    }

    AXResult copyAttributeValue(const Element& element, std::string_view attribute,
                                std::optional<AttrValue>& out) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        auto which = atspi::axAttribute(attribute);
        if (!which) return kAXAttributeUnsupported;
        ensureConnected();
        if (auto answered = fromSnapshot(*e, *which, out)) return *answered;
        // A walk reads an element's role first; everything it reads of
        // every element is asked for then, in one round.
        if (*which == AxAttribute::Role && plan_ && options_.elementBursts) gather(*e);
        switch (*which) {
            case AxAttribute::Role: {
                auto role = resolveRole(*e, true);
                if (!role) return kAXCannotComplete;
                out = AttrValue::plainText(role->role);
                return kAXSuccess;
            }
            case AxAttribute::Subrole: {
                auto role = resolveRole(*e, false);
                if (!role) return kAXCannotComplete;
                if (role->subrole.empty()) return kAXNoValue;
                out = AttrValue::plainText(role->subrole);
                return kAXSuccess;
            }
            case AxAttribute::Title: {
                auto role = resolveRole(*e, false);
                if (!role) return kAXCannotComplete;
                if (role->value == ValueSource::Name) return kAXNoValue;
                return textResult(nameOf(*e), out);
            }
            case AxAttribute::Description:
                return textResult(descriptionOf(*e), out);
            case AxAttribute::Value:
                return readValue(*e, out);
            case AxAttribute::Enabled: {
                auto states = statesOf(*e);
                if (!states) return kAXCannotComplete;
                out = AttrValue::boolean(states->enabled());
                return kAXSuccess;
            }
            case AxAttribute::Focused:
                return stateResult(*e, ATSPI_STATE_FOCUSED, out);
            case AxAttribute::Position: {
                auto extents = extentsOf(*e);
                if (!extents) return kAXNoValue;
                out = AttrValue::pointBox(extents->x, extents->y);
                return kAXSuccess;
            }
            case AxAttribute::Size: {
                auto extents = extentsOf(*e);
                if (!extents) return kAXNoValue;
                out = AttrValue::sizeBox(extents->width, extents->height);
                return kAXSuccess;
            }
            case AxAttribute::Children: {
                auto children = childrenOf(*e);
                if (!children) return kAXCannotComplete;
                noteChildren(*e, *children);
                noteReadChildren(*e, *children);
                std::vector<AttrValue> items;
                items.reserve(children->size());
                for (auto& child : *children)
                    items.push_back(AttrValue::elementRef(makeElement(std::move(child))));
                out = AttrValue::array(std::move(items));
                return kAXSuccess;
            }
            case AxAttribute::FocusedWindow:
                return windowInState(*e, ATSPI_STATE_ACTIVE, out);
            case AxAttribute::MainWindow:
                return windowInState(*e, ATSPI_STATE_SHOWING, out);
        }
        return kAXAttributeUnsupported;
    }

    AXResult copyActionNames(const Element& element, std::optional<AttrValue>& out) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        endWalk();
        ensureConnected();
        auto names = atspi::getActionNames(link_, e->ref);
        if (!names) return kAXCannotComplete;
        std::vector<AttrValue> items;
        for (auto& [axName, index] : atspi::axActions(*names))
            items.push_back(AttrValue::plainText(axName));
        out = AttrValue::array(std::move(items));
        return kAXSuccess;
    }

    AXResult performAction(const Element& element, std::string_view action) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        ensureConnected();
        burst_ = Burst{};
        endWalk();
        auto names = atspi::getActionNames(link_, e->ref);
        if (!names) return kAXActionUnsupported;
        for (const auto& [axName, index] : atspi::axActions(*names)) {
            if (axName != action) continue;
            auto done = atspi::doAction(link_, e->ref, index);
            return done && *done ? kAXSuccess : kAXCannotComplete;
        }
        return kAXActionUnsupported;
    }

    AXResult setAttributeValue(const Element& element, std::string_view attribute,
                               std::string_view text) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        if (atspi::axAttribute(attribute) != AxAttribute::Value) return kAXAttributeUnsupported;
        ensureConnected();
        burst_ = Burst{};
        endWalk();
        auto accepted = atspi::setTextContents(link_, e->ref, text);
        return accepted && *accepted ? kAXSuccess : kAXFailure;
    }

    uint64_t identityHash(const Element& element) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return 0;
        uint64_t hash = fnv1a(0xcbf29ce484222325ULL, e->ref.bus);
        hash = fnv1a(hash, std::string_view("\0", 1));
        return mixBits(fnv1a(hash, e->ref.path));
    }

    std::vector<RunningApplication> runningApplications() override {
        ensureConnected();
        auto applicationIds = x11::gtkApplicationIds(display_.get());
        std::vector<RunningApplication> records;
        for (const auto& app : atspi::registeredApps(link_)) {
            if (app.pid > 0) busByPid_[app.pid] = app.bus;
            records.push_back(atspi::workspaceRecord(link_, app, applicationIds));
        }
        return records;
    }

    void prepareWalk(const Element& root, int64_t maxNodes, int64_t maxDepth) override {
        endWalk();
        const AtspiElement* e = objectOf(root);
        if (e == nullptr || options_.snapshots == LinuxReadOptions::Snapshots::Never) return;
        WalkPlan plan;
        plan.root = e->ref;
        plan.maxNodes = maxNodes;
        plan.maxDepth = maxDepth;
        plan.depthByPath.emplace(e->ref.path, 0);
        plan.reachable = 1;
        plan_ = std::move(plan);
    }

    bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) override {
        return foldedEqual(a, b);
    }

    Event createMouseEvent(int32_t type, ScreenPoint at, int32_t button) override {
        if (!canPost()) return {};
        auto event = std::make_shared<x11::MouseEvent>();
        event->type = type;
        event->x = at.x;
        event->y = at.y;
        event->button = button;
        return event;
    }

    Event createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t) override {
        if (!canPost()) return {};
        auto event = std::make_shared<x11::WheelEvent>();
        event->wheel1 = wheel1;
        event->wheel2 = wheel2;
        return event;
    }

    void postEvent(const Event& event) override {
        if (event && canPost()) x11::postEvent(display_.get(), *event);
    }

    void sleepMicroseconds(uint32_t microseconds) override {
        timespec left{static_cast<time_t>(microseconds / 1000000),
                      static_cast<long>(microseconds % 1000000) * 1000};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

private:
    bool connect(Clock::time_point deadline) {
        if (connectTried_) return link_.connected();
        connectTried_ = true;
        auto address = atspi::findAccessibilityBus(display_.get(), deadline);
        return address && link_.connect(*address, deadline);
    }

    void ensureConnected() {
        if (!connectTried_) connect(Clock::now() + kConnectBudget);
    }

    bool canPost() {
        if (!xtestChecked_) {
            xtestChecked_ = true;
            xtest_ = x11::hasXTest(display_.get());
        }
        return xtest_;
    }

    const AtspiElement* objectOf(const Element& element) const {
        const auto* e = dynamic_cast<const AtspiElement*>(element.get());
        if (e == nullptr || e->systemWide || atspi::isNullRef(e->ref)) return nullptr;
        return e;
    }

    Element makeElement(ObjectRef ref) const {
        auto e = std::make_shared<AtspiElement>();
        e->ref = std::move(ref);
        return e;
    }

    std::optional<ResolvedRole> resolveRole(const AtspiElement& e, bool withVariant) {
        if (!e.role) {
            auto role = atspi::getRole(link_, e.ref);
            if (!role) return std::nullopt;
            e.role = *role;
        }
        return resolveRoleOf(e, *e.role, withVariant ? Variant::Read : Variant::Ignore, {});
    }

    enum class Variant { Ignore, Read, Given };

    // The AX role of an AT-SPI role number; the variant state (multi-line,
    // editable) is read, or given by the caller, only when asked for.
    std::optional<ResolvedRole> resolveRoleOf(const AtspiElement& e, uint32_t atspiRole,
                                              Variant variant, atspi::StateSet given) {
        ResolvedRole resolved;
        resolved.atspiRole = atspiRole;
        auto entry = atspi::roleEntry(atspiRole);
        if (!entry) {
            auto name = atspi::getRoleName(link_, e.ref);
            if (!name) return std::nullopt;
            resolved.role = atspi::axRoleFromAtspiName(*name);
            return resolved;
        }
        resolved.role = std::string(entry->role);
        resolved.subrole = std::string(entry->subrole);
        resolved.value = entry->value;
        if (variant != Variant::Ignore && entry->variantState != 0) {
            auto states = variant == Variant::Given ? std::optional(given) : statesOf(e);
            if (states && states->has(entry->variantState))
                resolved.role = std::string(entry->variantRole);
        }
        return resolved;
    }

    // --- a walk read from one snapshot of the application ---
    //
    // The snapshot is taken while the core walks, only once the walk has
    // shown it will visit much of what it has come across, and it serves
    // that walk alone: a new walk, an action, a write or a hit test ends
    // it. Every value in it is the application's answer during this walk,
    // as a read one by one would have been; what it does not hold is
    // asked for as before.

    struct WalkPlan {
        ObjectRef root;
        int64_t maxNodes = 0;
        int64_t maxDepth = 0;
        // Objects of the root's application that the walk has come across.
        std::unordered_map<std::string, int64_t> depthByPath;
        int64_t reachable = 0;  // of those, the ones no deeper than maxDepth
        bool snapshotTried = false;
        // The children lists read so far, for the snapshot's prediction.
        std::unordered_map<std::string, std::vector<ObjectRef>> childrenRead;
    };

    // Reads a snapshot cannot hold, fetched ahead in the walk's order.
    struct AheadReads {
        bool fetched = false;
        std::optional<atspi::Extents> extents;
        std::optional<uint32_t> roleNow;
        std::optional<std::string> text;
        std::optional<double> number;
    };

    // One round of ahead reads on its way: which reply is which.
    enum class Slot { Extents, Role, Number };
    struct AheadBatch {
        std::vector<int32_t> objects;
        std::vector<atspi::Request> requests;
        std::vector<std::pair<int32_t, Slot>> slots;
        atspi::BusLink::Sent sent;
    };

    struct Bulk {
        atspi::AppSnapshot snapshot;
        int32_t root = -1;
        std::vector<int32_t> order;     // the walk as the snapshot predicts it
        std::vector<int64_t> position;  // by object: its place in `order`, or -1
        std::vector<AheadReads> ahead;  // by object
        // Children read one by one where the snapshot could not tell; the
        // prediction is redone with them when it next falls short.
        atspi::ChildLists readChildren;
        bool orderStale = false;
        // The next stretch, sent and not yet collected.
        std::optional<AheadBatch> inFlight;
        std::unordered_set<int32_t> inFlightSet;
    };

    void predictWalk(Bulk& b) {
        b.order = atspi::walkOrder(b.snapshot, b.root, plan_->maxNodes, plan_->maxDepth,
                                   b.readChildren);
        b.position.assign(b.snapshot.objects.size(), -1);
        for (size_t i = 0; i < b.order.size(); ++i)
            b.position[static_cast<size_t>(b.order[i])] = static_cast<int64_t>(i);
        b.orderStale = false;
    }

    // A children list the snapshot did not know, read one by one.
    void noteReadChildren(const AtspiElement& e, const std::vector<ObjectRef>& children) {
        if (!bulk_) return;
        int32_t k = bulk_->snapshot.indexOf(e.ref);
        if (k < 0) return;
        std::vector<int32_t> known;
        for (const auto& child : children) {
            int32_t c = bulk_->snapshot.indexOf(child);
            if (c >= 0) known.push_back(c);
        }
        bulk_->readChildren[k] = std::move(known);
        bulk_->orderStale = true;
    }

    void endWalk() {
        if (bulk_ && bulk_->inFlight) link_.drop(bulk_->inFlight->sent);
        plan_.reset();
        bulk_.reset();
    }

    // After a children list read one by one: the walk's size so far, and
    // whether the whole application is now worth fetching at once.
    void noteChildren(const AtspiElement& e, const std::vector<ObjectRef>& children) {
        if (!plan_ || plan_->snapshotTried || e.ref.bus != plan_->root.bus) return;
        auto known = plan_->depthByPath.find(e.ref.path);
        if (known == plan_->depthByPath.end()) return;
        const int64_t depth = known->second + 1;
        plan_->childrenRead.emplace(e.ref.path, children);
        for (const auto& child : children) {
            if (child.bus != plan_->root.bus) continue;
            if (plan_->depthByPath.emplace(child.path, depth).second && depth <= plan_->maxDepth)
                ++plan_->reachable;
        }
        int64_t bound = std::min(plan_->maxNodes, plan_->reachable);
        bool big = bound >= kSnapshotMinimum && bound * kSnapshotShare >= plan_->reachable;
        if (!big && options_.snapshots != LinuxReadOptions::Snapshots::Always) return;
        plan_->snapshotTried = true;
        // Only where the application answers on its own socket: the bridge
        // whose cache is known to describe what the one-by-one requests
        // answer.
        if (!link_.isDirect(plan_->root.bus)) return;
        auto snapshot = atspi::takeSnapshot(link_, plan_->root.bus);
        if (!snapshot) return;
        int32_t root = snapshot->indexOf(plan_->root);
        if (root < 0) return;
        Bulk bulk;
        bulk.root = root;
        bulk.ahead.resize(snapshot->objects.size());
        for (const auto& [path, children] : plan_->childrenRead) {
            int32_t k = snapshot->indexOf(ObjectRef{plan_->root.bus, path});
            if (k < 0 || snapshot->objects[static_cast<size_t>(k)].childrenKnown) continue;
            auto& indexes = bulk.readChildren[k];
            for (const auto& child : children)
                if (int32_t c = snapshot->indexOf(child); c >= 0) indexes.push_back(c);
        }
        plan_->childrenRead.clear();
        bulk.snapshot = std::move(*snapshot);
        predictWalk(bulk);
        bulk_ = std::move(bulk);
        if (options_.tally != nullptr) ++options_.tally->snapshotsTaken;
    }

    // An attribute of an element the snapshot holds, answered exactly as
    // the one-by-one reads below answer it; nothing for any other.
    std::optional<AXResult> fromSnapshot(const AtspiElement& e, AxAttribute which,
                                         std::optional<AttrValue>& out) {
        if (!bulk_) return std::nullopt;
        const int32_t k = bulk_->snapshot.indexOf(e.ref);
        if (k < 0) return std::nullopt;
        const atspi::SnapshotObject& o = bulk_->snapshot.objects[static_cast<size_t>(k)];
        auto role = [&](bool withVariant) {
            return resolveRoleOf(e, o.role, withVariant ? Variant::Given : Variant::Ignore,
                                 o.states);
        };
        switch (which) {
            case AxAttribute::Role: {
                auto r = role(true);
                if (!r) return kAXCannotComplete;
                out = AttrValue::plainText(r->role);
                if (options_.tally != nullptr) ++options_.tally->rolesFromSnapshot;
                return kAXSuccess;
            }
            case AxAttribute::Subrole: {
                auto r = role(false);
                if (!r) return kAXCannotComplete;
                if (r->subrole.empty()) return kAXNoValue;
                out = AttrValue::plainText(r->subrole);
                return kAXSuccess;
            }
            case AxAttribute::Title: {
                auto r = role(false);
                if (!r) return kAXCannotComplete;
                if (r->value == ValueSource::Name) return kAXNoValue;
                return textResult(o.name, out);
            }
            case AxAttribute::Description:
                return textResult(o.description, out);
            case AxAttribute::Value: {
                auto r = role(false);
                if (!r) return kAXCannotComplete;
                return snapshotValue(k, o, r->value, out);
            }
            case AxAttribute::Enabled:
                out = AttrValue::boolean(o.states.enabled());
                return kAXSuccess;
            case AxAttribute::Focused:
                out = AttrValue::boolean(o.states.has(ATSPI_STATE_FOCUSED));
                return kAXSuccess;
            case AxAttribute::Position:
            case AxAttribute::Size: {
                if ((o.interfaces & atspi::kComponentInterface) == 0 ||
                    !screenCoordinates(bulk_->snapshot.bus))
                    return kAXNoValue;
                const auto& extents = aheadFor(k).extents;
                if (!extents) return kAXNoValue;
                out = which == AxAttribute::Position
                          ? AttrValue::pointBox(extents->x, extents->y)
                          : AttrValue::sizeBox(extents->width, extents->height);
                return kAXSuccess;
            }
            case AxAttribute::Children: {
                if (!o.childrenKnown) return std::nullopt;
                std::vector<AttrValue> items;
                items.reserve(o.children.size());
                for (int32_t child : o.children)
                    items.push_back(AttrValue::elementRef(makeElement(ObjectRef{
                        bulk_->snapshot.bus,
                        bulk_->snapshot.objects[static_cast<size_t>(child)].path})));
                out = AttrValue::array(std::move(items));
                return kAXSuccess;
            }
            case AxAttribute::FocusedWindow:
            case AxAttribute::MainWindow:
                return std::nullopt;
        }
        return std::nullopt;
    }

    AXResult snapshotValue(int32_t k, const atspi::SnapshotObject& o, ValueSource source,
                           std::optional<AttrValue>& out) {
        switch (source) {
            case ValueSource::None:
            case ValueSource::Secret:
                return kAXAttributeUnsupported;
            case ValueSource::Name:
                return textResult(o.name, out);
            case ValueSource::TextContents: {
                if ((o.interfaces & atspi::kTextInterface) == 0) return kAXCannotComplete;
                const AheadReads& ahead = aheadFor(k);
                if (!ahead.roleNow || *ahead.roleNow == ATSPI_ROLE_PASSWORD_TEXT)
                    return kAXAttributeUnsupported;
                return textResult(ahead.text, out);
            }
            case ValueSource::Number: {
                if ((o.interfaces & atspi::kValueInterface) == 0) return kAXNoValue;
                const auto& number = aheadFor(k).number;
                if (!number) return kAXNoValue;
                out = AttrValue::floating(*number);
                return kAXSuccess;
            }
            case ValueSource::Checked:
                out = AttrValue::integer(o.states.has(ATSPI_STATE_CHECKED) ? 1 : 0);
                return kAXSuccess;
        }
        return kAXAttributeUnsupported;
    }

    // The extents, texts and current values of a stretch of the walk, in
    // two rounds: the text of an element is asked for only after a fresh
    // role read said it is not password text, as the one-by-one read does.
    // While this side works through one stretch, the application already
    // answers the first round of the next.
    ObjectRef refOf(int32_t object) const {
        return ObjectRef{bulk_->snapshot.bus,
                         bulk_->snapshot.objects[static_cast<size_t>(object)].path};
    }

    // Up to kAheadChunk objects not yet fetched, from the walk position
    // `start` on; just `k` when the prediction does not hold it.
    std::vector<int32_t> stretchFrom(int32_t k) {
        Bulk& b = *bulk_;
        if (b.position[static_cast<size_t>(k)] < 0 && b.orderStale) predictWalk(b);
        const int64_t start = b.position[static_cast<size_t>(k)];
        if (start < 0) return {k};
        std::vector<int32_t> stretch;
        for (size_t i = static_cast<size_t>(start);
             i < b.order.size() && stretch.size() < kAheadChunk; ++i) {
            int32_t object = b.order[i];
            if (!b.ahead[static_cast<size_t>(object)].fetched &&
                (!b.inFlight || !b.inFlightSet.count(object)))
                stretch.push_back(object);
        }
        return stretch;
    }

    AheadBatch startBatch(std::vector<int32_t> objects) {
        AheadBatch batch;
        for (int32_t object : objects) {
            const auto& o = bulk_->snapshot.objects[static_cast<size_t>(object)];
            if ((o.interfaces & atspi::kComponentInterface) != 0) {
                batch.requests.push_back(atspi::extentsRequest(refOf(object)));
                batch.slots.emplace_back(object, Slot::Extents);
            }
            auto entry = atspi::roleEntry(o.role);
            ValueSource source = entry ? entry->value : ValueSource::None;
            if (source == ValueSource::TextContents && (o.interfaces & atspi::kTextInterface) != 0) {
                batch.requests.push_back(atspi::roleRequest(refOf(object)));
                batch.slots.emplace_back(object, Slot::Role);
            }
            if (source == ValueSource::Number && (o.interfaces & atspi::kValueInterface) != 0) {
                batch.requests.push_back(atspi::currentValueRequest(refOf(object)));
                batch.slots.emplace_back(object, Slot::Number);
            }
        }
        batch.objects = std::move(objects);
        batch.sent = link_.send(batch.requests);
        return batch;
    }

    const AheadReads& aheadFor(int32_t k) {
        Bulk& b = *bulk_;
        auto at = [&](int32_t object) -> AheadReads& {
            return b.ahead[static_cast<size_t>(object)];
        };
        if (at(k).fetched) return at(k);
        AheadBatch batch;
        if (b.inFlight && b.inFlightSet.count(k) != 0) {
            batch = std::move(*b.inFlight);
        } else {
            // The walk went elsewhere than predicted: what was sent ahead is
            // not waited for.
            if (b.inFlight) link_.drop(b.inFlight->sent);
            b.inFlight.reset();
            b.inFlightSet.clear();
            batch = startBatch(stretchFrom(k));
        }
        b.inFlight.reset();
        b.inFlightSet.clear();

        auto replies = link_.collect(batch.requests, batch.sent);
        std::vector<atspi::Request> texts;
        std::vector<int32_t> textObjects;
        for (size_t i = 0; i < batch.slots.size(); ++i) {
            auto [object, slot] = batch.slots[i];
            switch (slot) {
                case Slot::Extents:
                    at(object).extents = atspi::extentsFrom(replies[i]);
                    break;
                case Slot::Role:
                    at(object).roleNow = atspi::roleFrom(replies[i]);
                    if (at(object).roleNow && *at(object).roleNow != ATSPI_ROLE_PASSWORD_TEXT) {
                        texts.push_back(atspi::textRequest(refOf(object)));
                        textObjects.push_back(object);
                    }
                    break;
                case Slot::Number:
                    at(object).number = atspi::currentValueFrom(replies[i]);
                    break;
            }
        }
        auto textsSent = link_.send(texts);
        for (int32_t object : batch.objects) at(object).fetched = true;
        // The next stretch goes out behind the texts, so the application
        // has work while this side hands the batch to the walk.
        const int64_t last = b.position[static_cast<size_t>(batch.objects.back())];
        if (last >= 0 && static_cast<size_t>(last) + 1 < b.order.size()) {
            auto next = stretchFrom(b.order[static_cast<size_t>(last) + 1]);
            if (!next.empty() && b.position[static_cast<size_t>(next.front())] >= 0) {
                b.inFlight = startBatch(std::move(next));
                b.inFlightSet.insert(b.inFlight->objects.begin(), b.inFlight->objects.end());
            }
        }
        auto textReplies = link_.collect(texts, textsSent);
        for (size_t i = 0; i < textObjects.size(); ++i)
            at(textObjects[i]).text = atspi::textFrom(textReplies[i]);
        return at(k);
    }

    AXResult readValue(const AtspiElement& e, std::optional<AttrValue>& out) {
        auto role = resolveRole(e, false);
        if (!role) return kAXCannotComplete;
        switch (role->value) {
            case ValueSource::None:
            case ValueSource::Secret:
                return kAXAttributeUnsupported;
            case ValueSource::Name:
                return textResult(nameOf(e), out);
            case ValueSource::TextContents: {
                // GTK turns an entry into password text when its text is
                // hidden; the remembered role may predate that.
                auto now = atspi::getRole(link_, e.ref);
                if (!now || *now == ATSPI_ROLE_PASSWORD_TEXT) return kAXAttributeUnsupported;
                return textResult(atspi::getText(link_, e.ref), out);
            }
            case ValueSource::Number: {
                auto number = atspi::getCurrentValue(link_, e.ref);
                if (!number) return kAXNoValue;
                out = AttrValue::floating(*number);
                return kAXSuccess;
            }
            case ValueSource::Checked: {
                auto states = statesOf(e);
                if (!states) return kAXCannotComplete;
                out = AttrValue::integer(states->has(ATSPI_STATE_CHECKED) ? 1 : 0);
                return kAXSuccess;
            }
        }
        return kAXAttributeUnsupported;
    }

    AXResult textResult(std::optional<std::string> text, std::optional<AttrValue>& out) {
        if (!text) return kAXCannotComplete;
        out = AttrValue::plainText(std::move(*text));
        return kAXSuccess;
    }

    AXResult stateResult(const AtspiElement& e, uint32_t state, std::optional<AttrValue>& out) {
        auto states = statesOf(e);
        if (!states) return kAXCannotComplete;
        out = AttrValue::boolean(states->has(state));
        return kAXSuccess;
    }

    // The application's first top-level window in `state`.
    AXResult windowInState(const AtspiElement& e, uint32_t state, std::optional<AttrValue>& out) {
        auto role = resolveRole(e, false);
        if (!role) return kAXCannotComplete;
        if (role->atspiRole != ATSPI_ROLE_APPLICATION) return kAXAttributeUnsupported;
        auto windows = atspi::getChildren(link_, e.ref);
        if (!windows) return kAXCannotComplete;
        for (auto& window : *windows) {
            auto states = atspi::getState(link_, window);
            if (states && states->has(state)) {
                out = AttrValue::elementRef(makeElement(std::move(window)));
                return kAXSuccess;
            }
        }
        return kAXNoValue;
    }

    // The core reads an element's attributes one after another (role,
    // title, description, value, enabled, focused, position, size), and
    // several of them come from one AT-SPI reply: the state set, the
    // extents, the name. Such a burst of reads of one object shares the
    // replies, for a few milliseconds at most, so that each is still what
    // the object answers at that moment. Reading any other object, acting
    // or writing ends the burst.
    struct Burst {
        ObjectRef object;
        Clock::time_point started;
        std::optional<std::optional<atspi::StateSet>> states;
        std::optional<std::optional<atspi::Extents>> extents;
        std::optional<std::optional<std::string>> name;
        std::optional<std::optional<std::string>> description;
        std::optional<std::optional<std::vector<ObjectRef>>> children;
        bool gathered = false;
    };
    static constexpr std::chrono::milliseconds kBurstLifetime{20};

    // The replies every element of a walk needs, fetched in one round; the
    // burst's few milliseconds start when they are in.
    void gather(const AtspiElement& e) {
        Burst& b = burstFor(e);
        if (b.gathered) return;
        b.gathered = true;
        std::vector<atspi::Request> requests;
        const bool roleKnown = e.role.has_value();
        if (!roleKnown) requests.push_back(atspi::roleRequest(e.ref));
        requests.push_back(atspi::nameRequest(e.ref));
        requests.push_back(atspi::stateRequest(e.ref));
        requests.push_back(atspi::extentsRequest(e.ref));
        requests.push_back(atspi::childrenRequest(e.ref));
        auto replies = link_.callAll(requests);
        size_t i = 0;
        if (!roleKnown) {
            if (auto role = atspi::roleFrom(replies[i])) e.role = *role;
            ++i;
        }
        b.name = atspi::nameFrom(replies[i++]);
        b.states = atspi::statesFrom(replies[i++]);
        b.extents = atspi::extentsFrom(replies[i++]);
        b.children = atspi::childrenFrom(replies[i++]);
        b.started = Clock::now();
    }

    std::optional<std::vector<ObjectRef>> childrenOf(const AtspiElement& e) {
        Burst& b = burstFor(e);
        if (b.children) {
            auto children = std::move(*b.children);
            b.children.reset();
            return children;
        }
        return atspi::getChildren(link_, e.ref);
    }

    Burst& burstFor(const AtspiElement& e) {
        auto now = Clock::now();
        if (!sameObject(burst_.object, e.ref) || now - burst_.started > kBurstLifetime) {
            burst_ = Burst{};
            burst_.object = e.ref;
            burst_.started = now;
        }
        return burst_;
    }

    std::optional<atspi::StateSet> statesOf(const AtspiElement& e) {
        Burst& b = burstFor(e);
        if (!b.states) b.states = atspi::getState(link_, e.ref);
        return *b.states;
    }

    // Extents that are not on screen are no extents: printed or hit-tested
    // as if they were, they would name the wrong place.
    bool screenCoordinates(const std::string& bus) {
        auto known = screenCoordinates_.find(bus);
        if (known != screenCoordinates_.end()) return known->second;
        bool screen = atspi::reportsScreenCoordinates(link_, bus);
        screenCoordinates_.emplace(bus, screen);
        return screen;
    }

    std::optional<atspi::Extents> extentsOf(const AtspiElement& e) {
        if (!screenCoordinates(e.ref.bus)) return std::nullopt;
        Burst& b = burstFor(e);
        if (!b.extents) b.extents = atspi::getExtents(link_, e.ref);
        return *b.extents;
    }

    std::optional<std::string> nameOf(const AtspiElement& e) {
        Burst& b = burstFor(e);
        if (!b.name) b.name = atspi::getName(link_, e.ref);
        return *b.name;
    }

    std::optional<std::string> descriptionOf(const AtspiElement& e) {
        Burst& b = burstFor(e);
        if (!b.description) b.description = atspi::getDescription(link_, e.ref);
        return *b.description;
    }

    LinuxReadOptions options_;
    std::optional<WalkPlan> plan_;
    std::optional<Bulk> bulk_;
    Burst burst_;
    x11::DisplayConnection display_;
    BusLink link_;
    std::map<std::string, bool> screenCoordinates_;  // by application
    bool connectTried_ = false;
    bool xtestChecked_ = false;
    bool xtest_ = false;
    // Processes met in this run, and their connections on the bus.
    std::map<int32_t, std::string> busByPid_;
};

}  // namespace

std::unique_ptr<Platform> makeLinuxPlatform(const LinuxReadOptions& options) {
    return std::make_unique<LinuxPlatform>(options);
}

std::unique_ptr<Platform> makeNativePlatform() {
    return makeLinuxPlatform(LinuxReadOptions{});
}

}  // namespace nuvra
