// The Linux desktop as the core's Platform: AT-SPI over the accessibility
// bus for elements and the workspace, X11 for hit testing and XTest for
// pointer input. Which AT-SPI answer stands for which AX attribute is
// decided in ax_vocabulary.cpp; this file fetches and boxes.
#include <ctime>
#include <cerrno>
#include <map>
#include <mutex>

#include <atspi/atspi-constants.h>

#include "platform/linux/atspi_calls.h"
#include "platform/linux/ax_vocabulary.h"
#include "platform/linux/bus_link.h"
#include "platform/linux/workspace.h"
#include "platform/linux/x11_desktop.h"
#include "platform/linux/xtest_events.h"
#include "platform/native.h"
#include "platform/text_fold.h"

namespace nuvra {

namespace {

using atspi::AxAttribute;
using atspi::BusLink;
using atspi::Clock;
using atspi::ObjectRef;
using atspi::ValueSource;

constexpr AXResult kAXInvalidElement = -25202;

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

// GLib reports protocol trouble (a peer vanishing mid-call) on standard
// error, whose every line belongs to the tool's own diagnostics.
GLogWriterOutput dropLog(GLogLevelFlags, const GLogField*, gsize, gpointer) {
    return G_LOG_WRITER_HANDLED;
}

void silenceGlib() {
    static std::once_flag once;
    std::call_once(once, [] { g_log_set_writer_func(dropLog, nullptr, nullptr); });
}

uint64_t fnv1a(uint64_t hash, std::string_view bytes) {
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// Object paths differ in a digit or two; the finaliser spreads that over
// all 64 bits.
uint64_t mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

bool sameObject(const ObjectRef& a, const ObjectRef& b) {
    return a.bus == b.bus && a.path == b.path;
}

class LinuxPlatform : public Platform {
public:
    LinuxPlatform() { silenceGlib(); }

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
        return makeElement(ObjectRef{bus, bus.empty() ? std::string() : atspi::kRootPath});
    }

    Element createSystemWideElement() override {
        auto e = std::make_shared<AtspiElement>();
        e->systemWide = true;
        return e;
    }

    AXResult copyElementAtPosition(const Element&, float x, float y, Element& out) override {
        ensureConnected();
        _XDisplay* display = display_.get();
        if (display == nullptr || !link_.connected()) return kAXCannotComplete;
        auto found = atspi::objectAt(link_, display, x11::pixelOf(x), x11::pixelOf(y));
        if (!found) return kAXNoValue;
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
            case AxAttribute::Enabled:
                return stateResult(*e, ATSPI_STATE_ENABLED, out);
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
                auto children = atspi::getChildren(link_, e->ref);
                if (!children) return kAXCannotComplete;
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
        auto accepted = atspi::setTextContents(link_, e->ref, text);
        return accepted && *accepted ? kAXSuccess : kAXFailure;
    }

    uint64_t identityHash(const Element& element) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return 0;
        uint64_t hash = fnv1a(0xcbf29ce484222325ULL, e->ref.bus);
        hash = fnv1a(hash, std::string_view("\0", 1));
        return mix(fnv1a(hash, e->ref.path));
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
        if (!address) return false;
        GDBusConnection* connection = atspi::connectBefore(*address, deadline);
        if (connection == nullptr) return false;
        link_.adopt(connection);
        return true;
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
        ResolvedRole resolved;
        resolved.atspiRole = *e.role;
        auto entry = atspi::roleEntry(*e.role);
        if (!entry) {
            auto name = atspi::getRoleName(link_, e.ref);
            if (!name) return std::nullopt;
            resolved.role = atspi::axRoleFromAtspiName(*name);
            return resolved;
        }
        resolved.role = std::string(entry->role);
        resolved.subrole = std::string(entry->subrole);
        resolved.value = entry->value;
        if (withVariant && entry->variantState != 0) {
            auto states = statesOf(e);
            if (states && states->has(entry->variantState))
                resolved.role = std::string(entry->variantRole);
        }
        return resolved;
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
    };
    static constexpr std::chrono::milliseconds kBurstLifetime{20};

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

    std::optional<atspi::Extents> extentsOf(const AtspiElement& e) {
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

    Burst burst_;
    x11::DisplayConnection display_;
    BusLink link_;
    bool connectTried_ = false;
    bool xtestChecked_ = false;
    bool xtest_ = false;
    // Processes met in this run, and their connections on the bus.
    std::map<int32_t, std::string> busByPid_;
};

}  // namespace

std::unique_ptr<Platform> makeNativePlatform() {
    return std::make_unique<LinuxPlatform>();
}

}  // namespace nuvra
