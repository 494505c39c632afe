// The Linux desktop as the core's Platform: AT-SPI over the accessibility
// bus for elements and the workspace, X11 for hit testing and XTest for
// pointer input. Attributes are answered from each element's facts
// (element_facts.h, ax_answers.h); this file connects, gates and routes.
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <cerrno>
#include <fstream>
#include <map>
#include <set>

#include <atspi/atspi-constants.h>

#include "platform/linux/atspi/visible_children.h"
#include "platform/linux/atspi/workspace.h"
#include "platform/linux/ax_answers.h"
#include "platform/linux/dbus/bus_address.h"
#include "platform/linux/desktop/launch.h"
#include "platform/linux/x11/activation.h"
#include "platform/linux/x11/capture.h"
#include "platform/linux/x11/client_pids.h"
#include "platform/linux/x11/display.h"
#include "platform/linux/x11/window_at.h"
#include "platform/linux/x11/xtest_events.h"
#include "platform/linux/x11/xtest_keys.h"
#include "platform/native.h"
#include "text/fold.h"
#include "text/hash.h"
#include "text/utf8.h"

namespace nuvra {

namespace {

using atspi::AtspiElement;
using atspi::AxAttribute;
using atspi::ObjectRef;
using dbus::Clock;

// The permission gate must answer within a second in every case, also for a
// bus that accepts the connection and then says nothing; half of it leaves
// room for process start and exit (slower under sanitizers) around it. A
// working bus answers in milliseconds.
constexpr std::chrono::milliseconds kGateBudget{500};
// Finding and joining the bus outside the gate (a platform used without
// asking the gate first) is bounded the same way.
constexpr std::chrono::milliseconds kConnectBudget{2000};
// Gecko sends a page's cached facts within tens of milliseconds of the
// first request for them (about 16 ms measured for a small page).
constexpr std::chrono::milliseconds kWebContentWait{500};

uint64_t fnv1a(uint64_t hash, std::string_view bytes) {
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

class LinuxPlatform : public Platform {
public:
    // Keys still held go up, and keycodes bound for the run are unbound,
    // while the display is still open.
    ~LinuxPlatform() override {
        if (keyboard_.used()) keyboard_.finish(display_.get());
    }


    bool isProcessTrusted() override { return connect(Clock::now() + kGateBudget, true); }

    TrustGap trustGap() override { return gap_; }

    std::vector<std::string> unsetSessionVariables() override {
        std::vector<std::string> names;
        if (const char* named = std::getenv("AT_SPI_BUS_ADDRESS"); named && *named) return names;
        for (const auto& missing : missingSessionVariables())
            if (missing.name == "DISPLAY" || missing.name == "DBUS_SESSION_BUS_ADDRESS")
                names.push_back(missing.name);
        return names;
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
        if (!bus.empty()) link_.connectDirect(bus);
        return atspi::elementFor(ObjectRef{bus, bus.empty() ? std::string() : atspi::kRootPath});
    }

    Element createSystemWideElement() override {
        auto e = std::make_shared<AtspiElement>();
        e->systemWide = true;
        return e;
    }

    AXResult copyElementAtPosition(const Element&, float x, float y, Element& out) override {
        newSession();
        ensureConnected();
        x11::Connection* display = display_.get();
        if (display == nullptr || !link_.connected()) return kAXCannotComplete;
        auto found = atspi::objectAt(link_, display, x11::pixelOf(x), x11::pixelOf(y));
        if (!found || !screen_.of(found->bus)) return kAXNoValue;
        out = atspi::elementFor(std::move(*found));
        return kAXSuccess;
    }

    AXResult copyAttributeValue(const Element& element, std::string_view attribute,
                                std::optional<AttrValue>& out) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        auto which = atspi::axAttribute(attribute);
        if (!which) return kAXAttributeUnsupported;
        ensureConnected();
        arrive(*e);
        atspi::ElementFacts facts(*e, {link_, burst(), walk(), screen_});
        return answered(e->ref, atspi::answer(*which, facts, out));
    }

    AXResult getAttributeValueCount(const Element& element, std::string_view attribute,
                                    int64_t& count) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        auto which = atspi::axAttribute(attribute);
        if (!which) return kAXAttributeUnsupported;
        // Only the children are counted without reading them.
        if (*which != AxAttribute::Children) return Platform::getAttributeValueCount(element, attribute, count);
        ensureConnected();
        arrive(*e);
        atspi::ElementFacts facts(*e, {link_, burst(), walk(), screen_});
        auto children = facts.childCount();
        if (!children) return answered(e->ref, kAXCannotComplete);
        count = *children;
        return kAXSuccess;
    }

    AXResult copyAttributeValues(const Element& element, std::string_view attribute, int64_t index,
                                 int64_t maxValues, std::optional<AttrValue>& out) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        auto which = atspi::axAttribute(attribute);
        if (!which) return kAXAttributeUnsupported;
        if (index < 0 || maxValues < 0) return kAXIllegalArgument;
        if (*which != AxAttribute::Children && *which != AxAttribute::VisibleChildren)
            return Platform::copyAttributeValues(element, attribute, index, maxValues, out);
        ensureConnected();
        arrive(*e);
        atspi::ElementFacts facts(*e, {link_, burst(), walk(), screen_});
        const auto max = static_cast<size_t>(std::min<int64_t>(maxValues, atspi::kMaxWholeChildren));
        const auto from = static_cast<int32_t>(std::min<int64_t>(index, INT32_MAX));
        auto read = [&]() -> std::optional<std::vector<ObjectRef>> {
            if (*which == AxAttribute::Children) return facts.childrenFrom(from, max);
            auto shown = facts.visibleChildren(max + static_cast<size_t>(from));
            if (shown) shown->erase(shown->begin(), shown->begin() + std::min<size_t>(from, shown->size()));
            return shown;
        };
        return answered(e->ref, atspi::childElements(facts, read, out));
    }

    AXResult copyActionNames(const Element& element, std::optional<AttrValue>& out) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        newSession();
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
        newSession();
        // GTK 4 answers yes to a press on a widget it has not laid out (a
        // page of a stack not shown yet) and does nothing; the one a person
        // can press is the copy that is on screen.
        atspi::ElementFacts facts(*e, {link_, burst(), walk(), screen_});
        if (!facts.showsStates() && facts.hidden()) return kAXFailure;
        auto names = atspi::getActionNames(link_, e->ref);
        if (!names) return kAXActionUnsupported;
        for (const auto& [axName, index] : atspi::axActions(*names)) {
            if (axName != action) continue;
            auto done = atspi::doAction(link_, e->ref, index);
            if (done) return *done ? kAXSuccess : kAXFailure;
            // Toolkits answer DoAction only when the action's handler
            // returns, and a handler that runs a modal dialog returns when
            // the dialog closes. Unanswered is not refused: the caller may
            // ask again whether the application is alive.
            if (!link_.unresponsive(e->ref.bus)) return kAXFailure;
            link_.forgive(e->ref.bus);
            return kAXCannotComplete;
        }
        return kAXActionUnsupported;
    }

    AXResult setAttributeValue(const Element& element, std::string_view attribute,
                               std::string_view text) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        if (atspi::axAttribute(attribute) != AxAttribute::Value) return kAXAttributeUnsupported;
        ensureConnected();
        newSession();
        return writeText(e->ref, text);
    }

    // AT-SPI counts characters in code points.
    int64_t characterCount(std::string_view utf8) override {
        return static_cast<int64_t>(atspi::characterCount(utf8));
    }

    // AXFocused on an element is AT-SPI's GrabFocus.
    AXResult setBooleanAttribute(const Element& element, std::string_view attribute,
                                 bool value) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return kAXInvalidElement;
        if (!value) return kAXAttributeUnsupported;
        ensureConnected();
        newSession();
        if (atspi::axAttribute(attribute) != AxAttribute::Focused) return kAXAttributeUnsupported;
        auto taken = atspi::grabFocus(link_, e->ref);
        return taken && *taken ? kAXSuccess : kAXFailure;
    }

    uint64_t identityHash(const Element& element) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return 0;
        uint64_t hash = fnv1a(0xcbf29ce484222325ULL, e->ref.bus);
        hash = fnv1a(hash, std::string_view("\0", 1));
        return mixBits(fnv1a(hash, e->ref.path));
    }

    std::vector<RunningApplication> runningApplications() override {
        // Completes the prompt listing of this run, if one is waiting.
        if (!survey_) startSurvey();
        auto records = survey_->records(false);
        survey_.reset();
        return records;
    }

    std::vector<RunningApplication> promptApplications() override {
        startSurvey();
        auto records = survey_->records(true);
        if (survey_->complete()) survey_.reset();
        return records;
    }

    // Chromium and Electron join the bus only when accessibility is on as
    // they start; until then their windows are all there is of them.
    std::vector<RunningApplication> inaccessibleApplications() override {
        ensureConnected();
        // The registry is asked once a run: the survey that came before has
        // met every registered process.
        if (busByPid_.empty())
            for (const auto& app : atspi::registeredApps(link_))
                if (app.pid > 0) busByPid_[app.pid] = app.bus;
        std::vector<RunningApplication> records;
        std::set<std::pair<int32_t, std::string>> named;
        for (auto& owner : x11::windowOwners(display_.get())) {
            if (busByPid_.count(owner.pid) != 0) continue;
            if (auto process = processName(owner.pid)) owner.names.push_back(std::move(*process));
            for (auto& name : owner.names) {
                if (!named.emplace(owner.pid, name).second) continue;
                RunningApplication record;
                record.localizedName = std::move(name);
                record.processIdentifier = owner.pid;
                records.push_back(std::move(record));
            }
        }
        return records;
    }

    void prepareWalk(const Element& root, int64_t maxNodes, int64_t maxDepth) override {
        newSession();
        if (const AtspiElement* e = objectOf(root)) walk().begin(e->ref, maxNodes, maxDepth);
    }

    // Children of an element the snapshot does not hold are asked for now,
    // those it does not hold either, as far as the walk's bound reaches.
    // (Below an element the snapshot holds, the others are made on demand.)
    void walkQueued(const std::vector<Element>& next, int64_t depth) override {
        if (!walk().walking()) return;
        std::vector<ObjectRef> refs;
        for (const Element& element : next)
            if (const AtspiElement* e = objectOf(element)) refs.push_back(e->ref);
        const ObjectRef* parent = walk().reading();
        const bool parentHeld = parent != nullptr && walk().indexOf(*parent) >= 0;
        walk().queued(refs, depth);
        const size_t bound = walk().aheadBound();
        if (bound == 0 || parentHeld) return;
        // No more than can be read ahead: a list of a hostile size would
        // otherwise be copied whole while the element's burst runs out.
        std::vector<ObjectRef> ahead;
        for (auto& ref : refs) {
            if (ahead.size() >= bound) break;
            if (walk().indexOf(ref) < 0) ahead.push_back(std::move(ref));
        }
        burst().readAhead(ahead, bound);
    }

    // The X screen as one display. Without a display (a stopped server, a
    // Wayland session's native windows) nothing is known of it.
    std::vector<ScreenRect> displayBounds() override {
        x11::Connection* display = display_.get();
        if (display == nullptr || display->rootWidth == 0 || display->rootHeight == 0) return {};
        return {ScreenRect{0, 0, static_cast<double>(display->rootWidth),
                           static_cast<double>(display->rootHeight)}};
    }

    bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) override {
        return foldedEqual(a, b);
    }

    // X has no application to activate, only windows: the X window that
    // shows the accessible one (the same geometry, else the same title,
    // else the process's only window) is asked for.
    bool activateApplication(int32_t pid, const Element& window) override {
        const AtspiElement* e = objectOf(window);
        if (e == nullptr) return false;
        ensureConnected();
        newSession();
        std::vector<x11::TopLevel> tops = x11::topLevelsOf(display_.get(), pid);
        auto extents = atspi::getExtents(link_, e->ref);
        auto name = atspi::getName(link_, e->ref);
        const x11::TopLevel* chosen = tops.size() == 1 ? &tops.front() : nullptr;
        for (const auto& top : tops)
            if (extents && extents->width > 0 && top.window.x == extents->x &&
                top.window.y == extents->y && top.window.width == extents->width &&
                top.window.height == extents->height)
                chosen = &top;
        if (chosen == nullptr)
            for (const auto& top : tops)
                if (name && top.title == *name) chosen = &top;
        return chosen != nullptr && x11::activateWindow(display_.get(), *chosen);
    }

    LaunchedProcess launchApplication(std::string_view id) override {
        return desktop::launchEntry(id);
    }

    bool processDescendsFrom(int32_t pid, int32_t ancestor) override {
        return desktop::descendsFrom(pid, ancestor);
    }

    void beginLook(int64_t deadline) override {
        newSession();
        // Every application is asked again, the registry too: one that was
        // hung or still starting may answer now, and a new one may be there.
        survey_.reset();
        link_.forgiveAll();
        // A deadline that far off (a wait of years) is no deadline at all.
        constexpr int64_t kDay = 86'400'000'000;
        const int64_t left = std::clamp<int64_t>(deadline - std::min(deadline, monotonicMicroseconds()), 0, kDay);
        link_.setDeadline(Clock::now() + std::chrono::microseconds(left));
    }

    bool lookCutShort() override { return link_.cutShort(); }

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

    Event createKeyboardEvent(uint16_t virtualKey, bool keyDown, uint64_t,
                              std::string_view character) override {
        if (!canPost()) return {};
        auto event = std::make_shared<x11::KeyEvent>();
        event->down = keyDown;
        if (!character.empty()) {
            char32_t cp;
            bool valid;
            utf8::decodeOne(reinterpret_cast<const unsigned char*>(character.data()),
                            character.size(), cp, valid);
            if (!valid) return {};
            event->keysym = x11::keysymOfCharacter(cp);
            event->character = true;
        } else {
            // The modifiers are pressed as keys of their own, so the flags
            // say nothing the server does not know.
            event->keysym = x11::keysymOfKey(virtualKey);
            event->modifier = virtualKey == 0x3B || virtualKey == 0x38 || virtualKey == 0x3A ||
                              virtualKey == 0x37;
        }
        if (event->keysym == x11::kNoSymbol || !keyboard_.prepare(display_.get(), *event))
            return {};
        return event;
    }

    // XTest keys go to the X server's focus: a native Wayland window, which
    // the X server does not hold, never gets them.
    KeyboardReach keyboardReach(const Element& target) override {
        if (!x11::waylandDisplayPresent()) return KeyboardReach::Reaches;
        if (const AtspiElement* e = objectOf(target)) {
            ensureConnected();
            return screen_.nativeWayland(e->ref.bus) ? KeyboardReach::NativeWayland
                                                     : KeyboardReach::Reaches;
        }
        return x11::focusInXWindow(display_.get()) ? KeyboardReach::Reaches
                                                   : KeyboardReach::NativeWayland;
    }

    bool postEvent(const Event& event) override {
        if (const auto* key = dynamic_cast<const x11::KeyEvent*>(event.get()))
            return canPost() && keyboard_.post(display_.get(), *key);
        return event && canPost() && x11::postEvent(display_.get(), *event);
    }

    bool endRequested() override {
        sigset_t pending;
        if (sigpending(&pending) != 0) return false;
        return sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1 ||
               sigismember(&pending, SIGHUP) == 1;
    }

    EventGap eventGap() override {
        const char* named = std::getenv("DISPLAY");
        if (named == nullptr || *named == '\0') return EventGap::NoDisplayNamed;
        if (display_.get() == nullptr)
            return display_.opened() ? EventGap::DisplayGone : EventGap::DisplayUnreachable;
        // With the display there and XTest on it, only a key the keymap
        // cannot make (no Control key, no spare keycode) is left.
        return xtest_ ? EventGap::Unknown : EventGap::NoXTest;
    }

    // X lets every client read the screen.
    bool mayCaptureScreen() override { return true; }

    CaptureResult captureScreen(const ScreenRect& area, ScreenImage& out) override {
        return x11::captureScreen(display_.get(), area, x11::waylandDisplayPresent(), out);
    }

    PlacementGap placementGap(const Element& element) override {
        const AtspiElement* e = objectOf(element);
        if (e == nullptr) return PlacementGap::Unknown;
        ensureConnected();
        if (screen_.nativeWayland(e->ref.bus)) return PlacementGap::NativeWayland;
        return screen_.of(e->ref.bus) ? PlacementGap::Unknown : PlacementGap::WindowCoordinates;
    }

    void sleepMicroseconds(uint32_t microseconds) override {
        timespec left{static_cast<time_t>(microseconds / 1000000),
                      static_cast<long>(microseconds % 1000000) * 1000};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

private:
    TrustGap gap_ = TrustGap::Permission;
    // Joins the bus once a run. For the gate (`askRegistry`) a bus counts
    // only once its registry has answered too, so that a bus that takes the
    // connection and says nothing gives way to the next address.
    bool connect(Clock::time_point deadline, bool askRegistry) {
        if (connectTried_) return askRegistry ? registryAnswersBy(deadline) : link_.connected();
        connectTried_ = true;
        gap_ = TrustGap::NoBus;
        x11::Connection* display = display_.get();
        return dbus::joinAccessibilityBus(
            [display] { return x11::rootStringProperty(display, "AT_SPI_BUS"); },
            [this, askRegistry](const std::string& address, Clock::time_point by) {
                link_.connect(address, by);
                return askRegistry ? registryAnswersBy(by) : link_.connected();
            },
            deadline);
    }

    bool registryAnswersBy(Clock::time_point deadline) {
        gap_ = TrustGap::NoBus;
        if (!link_.connected()) return false;
        gap_ = TrustGap::NoRegistry;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() > 0 && atspi::registryAnswers(link_, left);
    }

    void ensureConnected() {
        if (!connectTried_) connect(Clock::now() + kConnectBudget, false);
    }

    // False also once the server has stopped answering.
    bool canPost() {
        if (!xtestChecked_) {
            xtestChecked_ = true;
            xtest_ = x11::hasXTest(display_.get());
        }
        return xtest_ && display_.get() != nullptr;
    }

    // The whole text at once. A toolkit that answers yes and keeps its old
    // text may take it as an insertion instead; what was there goes only
    // once the new text stands before it, so a refused write loses nothing.
    // Focus is left where it is: moving it would change the window for a
    // write that may still be refused. Password text is never read: there
    // the toolkit's answer stands.
    AXResult writeText(const ObjectRef& ref, std::string_view text) {
        auto role = atspi::getRole(link_, ref);
        const bool secret = !role || *role == ATSPI_ROLE_PASSWORD_TEXT;
        auto before = secret ? std::nullopt : atspi::getText(link_, ref);
        auto accepted = atspi::setTextContents(link_, ref, text);
        if (!accepted || !*accepted) return kAXFailure;
        if (secret || !before) return kAXSuccess;
        auto after = atspi::getText(link_, ref);
        if (!after || *after == text || *after != *before) return kAXSuccess;
        auto inserted = atspi::insertText(link_, ref, 0, text);
        auto now = atspi::getText(link_, ref);
        if (!inserted || !*inserted || !now || !now->starts_with(text)) return kAXFailure;
        if (*now != text) {
            const auto kept = static_cast<int32_t>(std::min<size_t>(atspi::characterCount(*now), INT32_MAX));
            atspi::deleteText(link_, ref, static_cast<int32_t>(atspi::characterCount(text)), kept);
            now = atspi::getText(link_, ref);
        }
        return now && *now == text ? kAXSuccess : kAXFailure;
    }

    // The walk begins to read the next element it queued: everything it
    // reads of an element the snapshot does not hold is asked for now, in
    // one round.
    void arrive(const AtspiElement& e) {
        if (!walk().walking() || !walk().reached(e.ref)) return;
        atspi::ElementFacts facts(e, {link_, burst(), walk(), screen_});
        if (!facts.inSnapshot()) burst().gather(e.ref, e.role);
        if (!coldWebContent(e, facts)) return;
        // What was read of the page before its facts arrived is not what
        // it shows.
        atspi::awaitWebContent(link_, e.ref, Clock::now() + kWebContentWait);
        walk().forgetSnapshot();
        burst().clear();
        burst().gather(e.ref, e.role);
    }

    // kAXCannotComplete is the platform's word for a read the application
    // did not answer in time; an element of an application that has left
    // the bus is invalid, as one of a quit application is on macOS; a fact
    // missing because the application answered so (an error, an object
    // gone) is a plain failure.
    AXResult answered(const ObjectRef& ref, AXResult code) {
        if (code != kAXCannotComplete) return code;
        if (link_.gone(ref.bus)) return kAXInvalidElement;
        if (link_.unresponsive(ref.bus) || !link_.connected()) return code;
        return kAXFailure;
    }

    void startSurvey() {
        ensureConnected();
        survey_.reset();
        survey_.emplace(link_, x11::gtkApplicationIds(display_.get()));
        for (const auto& app : survey_->apps())
            if (app.pid > 0) busByPid_[app.pid] = app.bus;
    }

    // A web document that has no place yet, in a Gecko whose content cache
    // no client has filled yet: the page's facts are on their way. Looked
    // at once per application and run.
    bool coldWebContent(const AtspiElement& e, atspi::ElementFacts& facts) {
        if (webLooked_.count(e.ref.bus) != 0 || facts.role() != ATSPI_ROLE_DOCUMENT_WEB)
            return false;
        webLooked_.insert(e.ref.bus);
        auto extents = facts.extents();
        if (extents && extents->width > 0 && extents->height > 0) return false;
        return screen_.gecko(e.ref.bus);
    }

    // The command name the kernel keeps for a process (at most 15 bytes).
    static std::optional<std::string> processName(int32_t pid) {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string name;
        if (!std::getline(comm, name) || name.empty()) return std::nullopt;
        return name;
    }

    const AtspiElement* objectOf(const Element& element) const {
        const auto* e = dynamic_cast<const AtspiElement*>(element.get());
        if (e == nullptr || e->systemWide || atspi::isNullRef(e->ref)) return nullptr;
        return e;
    }

    x11::DisplayConnection display_;
    x11::Keyboard keyboard_;
    atspi::BusLink link_;
    // What one walk, or one element's reads, asked for and read ahead. Its
    // pending calls go with it, so it is replaced whole, never emptied field
    // by field. Declared after link_: it must go before the connections its
    // calls went out on.
    struct Session {
        explicit Session(atspi::BusLink& link) : burst{link}, walk{link} {}
        atspi::ElementBurst burst;
        atspi::WalkPrefetch walk;
    };
    std::optional<Session> session_{std::in_place, link_};
    atspi::ElementBurst& burst() { return session_->burst; }
    atspi::WalkPrefetch& walk() { return session_->walk; }
    void newSession() {
        session_.reset();
        session_.emplace(link_);
    }
    atspi::ScreenCoordinates screen_{link_, display_};
    bool connectTried_ = false;
    bool xtestChecked_ = false;
    bool xtest_ = false;
    // Processes met in this run, and their connections on the bus.
    std::map<int32_t, std::string> busByPid_;
    std::set<std::string> webLooked_;
    // The listing promptApplications left waiting for applications that
    // had not answered yet.
    std::optional<atspi::WorkspaceSurvey> survey_;
};

}  // namespace

std::unique_ptr<Platform> makeNativePlatform() {
    return std::make_unique<LinuxPlatform>();
}

}  // namespace nuvra
