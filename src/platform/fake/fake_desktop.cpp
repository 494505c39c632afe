#include "platform/fake/fake_desktop.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "text/fold.h"

namespace nuvra {

namespace {


// The fake's handles carry the desktop they belong to and an index into it.
struct FakeElement : ElementObject {
    const FakeDesktop* desktop;
    size_t id;
    FakeElement(const FakeDesktop* d, size_t i) : desktop(d), id(i) {}
};

struct FakeEvent : EventObject {
    int serial;
    std::string typed;  // what a key going down types
    FakeEvent(int s, std::string t) : serial(s), typed(std::move(t)) {}
};

std::string hex(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

const FakeElement* asFake(const Element& e) {
    return dynamic_cast<const FakeElement*>(e.get());
}

}  // namespace

FakeDesktop::FakeDesktop() {
    systemWide_ = element("systemWide");
}

FakeDesktop::~FakeDesktop() = default;

Element FakeDesktop::element(std::string name) {
    Node n;
    n.name = std::move(name);
    // Distinct, and far from small numbers a test might pick for collisions.
    n.hash = 0x9e3779b97f4a7c15ULL * (nodes_.size() + 1);
    nodes_.push_back(std::move(n));
    return std::make_shared<FakeElement>(this, nodes_.size() - 1);
}

Element FakeDesktop::element(std::string name, std::string role, std::string title) {
    Element e = element(std::move(name));
    setText(e, "AXRole", std::move(role));
    if (!title.empty()) setText(e, "AXTitle", std::move(title));
    return e;
}

const FakeDesktop::Node* FakeDesktop::nodeOrNull(const Element& e) const {
    const FakeElement* f = asFake(e);
    if (f == nullptr || f->desktop != this || f->id >= nodes_.size()) return nullptr;
    return &nodes_[f->id];
}

FakeDesktop::Node& FakeDesktop::node(const Element& e) {
    const Node* n = nodeOrNull(e);
    if (n == nullptr) {
        // A test built its desktop wrong: the edit goes to a node nothing
        // reaches, and the log says so, which fails any test that reads it.
        log_.push_back("edit of an element from elsewhere");
        stray_ = Node{};
        return stray_;
    }
    return const_cast<Node&>(*n);
}

std::string FakeDesktop::nameOf(const Element& e) const {
    const Node* n = nodeOrNull(e);
    return n ? n->name : std::string("<foreign>");
}

void FakeDesktop::set(const Element& e, std::string attribute, AttrValue value) {
    node(e).attributes[std::move(attribute)] = Answer{kAXSuccess, std::move(value)};
}

void FakeDesktop::setText(const Element& e, std::string attribute, std::string text) {
    set(e, std::move(attribute), AttrValue::plainText(std::move(text)));
}

void FakeDesktop::setError(const Element& e, std::string attribute, AXResult code) {
    node(e).attributes[std::move(attribute)] = Answer{code, std::nullopt};
}

void FakeDesktop::setNull(const Element& e, std::string attribute) {
    node(e).attributes[std::move(attribute)] = Answer{kAXSuccess, std::nullopt};
}

void FakeDesktop::unset(const Element& e, std::string_view attribute) {
    auto& attrs = node(e).attributes;
    auto it = attrs.find(attribute);
    if (it != attrs.end()) attrs.erase(it);
}

void FakeDesktop::setClaimedCount(const Element& e, std::string attribute, int64_t count) {
    node(e).claimedCounts[std::move(attribute)] = count;
}

void FakeDesktop::setChildren(const Element& parent, std::vector<Element> children) {
    std::vector<AttrValue> items;
    items.reserve(children.size());
    for (auto& c : children) items.push_back(AttrValue::elementRef(std::move(c)));
    set(parent, "AXChildren", AttrValue::array(std::move(items)));
}

void FakeDesktop::setPosition(const Element& e, double x, double y) {
    set(e, "AXPosition", AttrValue::pointBox(x, y));
}

void FakeDesktop::setSize(const Element& e, double width, double height) {
    set(e, "AXSize", AttrValue::sizeBox(width, height));
}

void FakeDesktop::setFrame(const Element& e, double x, double y, double width, double height) {
    setPosition(e, x, y);
    setSize(e, width, height);
}

void FakeDesktop::setActions(const Element& e, std::vector<std::string> names) {
    std::vector<AttrValue> items;
    for (auto& n : names) items.push_back(AttrValue::plainText(std::move(n)));
    setActionNames(e, AttrValue::array(std::move(items)));
}

void FakeDesktop::setActionNames(const Element& e, std::optional<AttrValue> value,
                                 AXResult code) {
    node(e).actionNames = Answer{code, std::move(value)};
}

void FakeDesktop::setPerformResult(const Element& e, AXResult code) {
    node(e).performResult = code;
}

void FakeDesktop::setWriteResult(const Element& e, AXResult code) {
    node(e).writeResult = code;
}

void FakeDesktop::setHangsOnPress(const Element& e) {
    node(e).hangsOnPress = true;
}

void FakeDesktop::setIgnoresKeys(const Element& e) { node(e).ignoresKeys = true; }

void FakeDesktop::setIgnoresWrites(const Element& e) {
    node(e).ignoresWrites = true;
}

void FakeDesktop::setWriteLimit(const Element& e, size_t bytes) {
    node(e).writeLimit = bytes;
}

void FakeDesktop::setIdentityHash(const Element& e, uint64_t hash) {
    node(e).hash = hash;
}

void FakeDesktop::removeElement(const Element& e) {
    node(e).gone = true;
}

void FakeDesktop::addApp(RunningApplication app, Element root) {
    apps_.push_back(AppEntry{std::move(app), std::move(root)});
}

void FakeDesktop::clearApps() {
    apps_.clear();
}

RunningApplication* FakeDesktop::app(int32_t pid) {
    for (auto& entry : apps_)
        if (entry.record.processIdentifier == pid) return &entry.record;
    return nullptr;
}

void FakeDesktop::setLate(int32_t pid) {
    for (auto& entry : apps_)
        if (entry.record.processIdentifier == pid) entry.late = true;
}

void FakeDesktop::setSilent(int32_t pid) {
    for (auto& entry : apps_) {
        if (entry.record.processIdentifier != pid) continue;
        entry.silent = true;
        node(entry.root).silent = true;
    }
}

Element FakeDesktop::find(std::string_view name) const {
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (nodes_[i].name == name) return std::make_shared<FakeElement>(this, i);
    return nullptr;
}

void FakeDesktop::setElementAtPosition(Element e, AXResult code) {
    atPosition_ = std::move(e);
    atPositionCode_ = code;
}

std::vector<std::string> FakeDesktop::calls(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const auto& entry : log_)
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}

// --- Platform ---

bool FakeDesktop::isProcessTrusted() {
    if (recording) log_.push_back("trusted?");
    return trusted;
}

Element FakeDesktop::createApplicationElement(int32_t pid) {
    if (recording) log_.push_back("createApp " + std::to_string(pid));
    for (const auto& entry : apps_)
        if (entry.record.processIdentifier == pid) return entry.root;
    // Like the real thing: a handle is always made; reads of it then fail.
    Element orphan = element("app" + std::to_string(pid));
    removeElement(orphan);
    return orphan;
}

Element FakeDesktop::createSystemWideElement() {
    if (recording) log_.push_back("systemWide");
    return systemWide_;
}

AXResult FakeDesktop::copyElementAtPosition(const Element& systemWide, float x, float y,
                                            Element& out) {
    if (recording) log_.push_back("elementAt " + number(x) + "," + number(y) + " on " + nameOf(systemWide));
    if (atPositionCode_ != kAXSuccess) return atPositionCode_;
    out = atPosition_;
    return kAXSuccess;
}

AXResult FakeDesktop::lookup(const Element& element, std::string_view attribute,
                             const std::string& entry, const Answer*& answer) {
    if (beforeRead) beforeRead(element, attribute);
    if (recording) log_.push_back(entry);
    const Node* n = nodeOrNull(element);
    if (hung_ || (n != nullptr && n->silent)) return kAXCannotComplete;
    if (n == nullptr || n->gone) return kAXInvalidElement;
    auto it = n->attributes.find(attribute);
    if (it == n->attributes.end()) return kAXNoValue;
    answer = &it->second;
    return it->second.code;
}

AXResult FakeDesktop::copyAttributeValue(const Element& element, std::string_view attribute,
                                         std::optional<AttrValue>& out) {
    const Answer* answer = nullptr;
    AXResult code = lookup(element, attribute,
                           recording ? "read " + nameOf(element) + " " + std::string(attribute) : "",
                           answer);
    if (code == kAXSuccess) out = answer->value;
    return code;
}

AXResult FakeDesktop::getAttributeValueCount(const Element& element, std::string_view attribute,
                                             int64_t& count) {
    const Answer* answer = nullptr;
    AXResult code = lookup(element, attribute,
                           recording ? "count " + nameOf(element) + " " + std::string(attribute) : "",
                           answer);
    if (code != kAXSuccess) return code;
    auto claimed = node(element).claimedCounts.find(attribute);
    if (claimed != node(element).claimedCounts.end()) {
        count = claimed->second;
        return kAXSuccess;
    }
    if (!answer->value || answer->value->kind != ValueKind::Array) return kAXIllegalArgument;
    count = static_cast<int64_t>(answer->value->items.size());
    return kAXSuccess;
}

AXResult FakeDesktop::copyAttributeValues(const Element& element, std::string_view attribute,
                                          int64_t index, int64_t maxValues,
                                          std::optional<AttrValue>& out) {
    const Answer* answer = nullptr;
    AXResult code = lookup(element, attribute,
                           recording ? "values " + nameOf(element) + " " + std::string(attribute) +
                                           " " + std::to_string(index) + " " + std::to_string(maxValues)
                                     : "",
                           answer);
    if (code != kAXSuccess) return code;
    if (!answer->value || answer->value->kind != ValueKind::Array || index < 0 || maxValues < 0)
        return kAXIllegalArgument;
    const auto& items = answer->value->items;
    const auto size = static_cast<int64_t>(items.size());
    const int64_t from = std::min(index, size);
    const int64_t to = from + std::min(maxValues, size - from);
    out = AttrValue::array(std::vector<AttrValue>(items.begin() + from, items.begin() + to));
    return kAXSuccess;
}

AXResult FakeDesktop::copyActionNames(const Element& element, std::optional<AttrValue>& out) {
    if (recording) log_.push_back("actions " + nameOf(element));
    const Node* n = nodeOrNull(element);
    if (n == nullptr || n->gone) return kAXInvalidElement;
    if (n->actionNames.code != kAXSuccess) return n->actionNames.code;
    out = n->actionNames.value;
    return kAXSuccess;
}

AXResult FakeDesktop::performAction(const Element& element, std::string_view action) {
    const Node* n = nodeOrNull(element);
    AXResult code = (n == nullptr || n->gone) ? kAXInvalidElement : n->performResult;
    if (hung_ || (n != nullptr && n->hangsOnPress)) code = kAXCannotComplete;
    hung_ = hung_ || (n != nullptr && n->hangsOnPress);
    clock_ += performMicroseconds;
    if (recording) log_.push_back("perform " + nameOf(element) + " " + std::string(action) + " -> " +
                   std::to_string(code));
    return code;
}

AXResult FakeDesktop::setAttributeValue(const Element& element, std::string_view attribute,
                                        std::string_view text) {
    const Node* n = nodeOrNull(element);
    AXResult code = (n == nullptr || n->gone) ? kAXInvalidElement : n->writeResult;
    if (recording) log_.push_back("write " + nameOf(element) + " " + std::string(attribute) + " \"" +
                   std::string(text) + "\" -> " + std::to_string(code));
    writes_.push_back(nameOf(element) + " " + std::string(attribute) + " " + std::string(text));
    if (code == kAXSuccess && !n->ignoresWrites)
        set(element, std::string(attribute),
            AttrValue::plainText(std::string(text.substr(0, n->writeLimit.value_or(text.size())))));
    return code;
}

void FakeDesktop::walkQueued(const std::vector<Element>& next, int64_t) {
    if (recording)
        for (const Element& e : next) hints_.push_back(Hint{nameOf(e), log_.size()});
}

uint64_t FakeDesktop::identityHash(const Element& element) {
    if (recording) log_.push_back("hash " + nameOf(element));
    const Node* n = nodeOrNull(element);
    return n ? n->hash : 0;
}

std::vector<RunningApplication> FakeDesktop::listed(bool waiting) const {
    std::vector<RunningApplication> out;
    for (const auto& entry : apps_) {
        if (!entry.silent && (waiting || !entry.late)) {
            out.push_back(entry.record);
            continue;
        }
        RunningApplication silent;
        silent.processIdentifier = entry.record.processIdentifier;
        silent.bundleIdentifier = entry.record.bundleIdentifier;
        silent.activationPolicy = 2;
        silent.responding = false;
        out.push_back(std::move(silent));
    }
    return out;
}

std::vector<ScreenRect> FakeDesktop::displayBounds() {
    if (recording) log_.push_back("displays");
    return displays;
}

std::vector<RunningApplication> FakeDesktop::runningApplications() {
    if (recording) log_.push_back("apps");
    return listed(true);
}

std::vector<RunningApplication> FakeDesktop::promptApplications() {
    if (recording) log_.push_back("apps prompt");
    return listed(false);
}

std::vector<RunningApplication> FakeDesktop::inaccessibleApplications() {
    if (recording) log_.push_back("windows off the bus");
    return inaccessible;
}

bool FakeDesktop::equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) {
    return foldedEqual(a, b);
}

Event FakeDesktop::newEvent(std::string description, std::string typed) {
    if (eventsBeforeFailure) {
        if (*eventsBeforeFailure <= 0) {
            if (recording) log_.push_back(description + " -> null");
            return nullptr;
        }
        --*eventsBeforeFailure;
    }
    int serial = nextEvent_++;
    if (recording) log_.push_back(description + " -> ev" + std::to_string(serial));
    return std::make_shared<FakeEvent>(serial, std::move(typed));
}

Event FakeDesktop::createMouseEvent(int32_t type, ScreenPoint at, int32_t button) {
    return newEvent("mouse " + std::to_string(type) + " at " + number(at.x) + "," +
                    number(at.y) + " button " + std::to_string(button));
}

Event FakeDesktop::createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t wheel3) {
    return newEvent("scroll " + std::to_string(wheel1) + "," + std::to_string(wheel2) + "," +
                    std::to_string(wheel3));
}

AXResult FakeDesktop::setBooleanAttribute(const Element& element, std::string_view attribute,
                                          bool value) {
    const Node* n = nodeOrNull(element);
    AXResult code = (n == nullptr || n->gone) ? kAXInvalidElement : n->writeResult;
    if (recording) log_.push_back("set " + nameOf(element) + " " + std::string(attribute) + " " +
                   (value ? "1" : "0") + " -> " + std::to_string(code));
    if (code != kAXSuccess || n->ignoresWrites) return code;
    set(element, std::string(attribute), AttrValue::boolean(value));
    if (attribute == "AXFocused" && value) focused_ = element;
    return code;
}

Event FakeDesktop::createKeyboardEvent(uint16_t virtualKey, bool keyDown, uint64_t flags,
                                       std::string_view character) {
    std::string description = std::string("key ") + (keyDown ? "down " : "up ") + hex(virtualKey) +
                              " flags " + hex(flags);
    if (!character.empty()) description += " \"" + std::string(character) + "\"";
    return newEvent(description, keyDown ? std::string(character) : std::string());
}

bool FakeDesktop::endRequested() {
    bool asked = endAfterPosts && posts_ >= *endAfterPosts;
    if (recording) log_.push_back(std::string("end? ") + (asked ? "yes" : "no"));
    return asked;
}

KeyboardReach FakeDesktop::keyboardReach(const Element& target) {
    if (recording) log_.push_back("reach " + (target ? nameOf(target) : std::string("focus")));
    return reach;
}

bool FakeDesktop::postEvent(const Event& event) {
    auto* e = dynamic_cast<const FakeEvent*>(event.get());
    const bool fails = postsBeforeFailure && (*postsBeforeFailure)-- == 0;
    if (recording)
        log_.push_back("post " + (e ? "ev" + std::to_string(e->serial) : std::string("<foreign>")) +
                       (fails ? " -> failed" : ""));
    if (fails) return false;
    ++posts_;
    const Node* n = nodeOrNull(focused_);
    if (e && !e->typed.empty() && n && !n->gone && !n->ignoresKeys) {
        auto value = n->attributes.find("AXValue");
        std::string text = value != n->attributes.end() && value->second.value
                               ? value->second.value->text
                               : std::string();
        setText(focused_, "AXValue", text + e->typed);
    }
    return true;
}

void FakeDesktop::sleepMicroseconds(uint32_t microseconds) {
    if (recording) log_.push_back("sleep " + std::to_string(microseconds));
    clock_ += microseconds;
    // What was due by now happens, in the order it was due.
    for (;;) {
        auto due = std::min_element(timeline_.begin(), timeline_.end(),
                                    [](const auto& a, const auto& b) { return a.first < b.first; });
        if (due == timeline_.end() || due->first > clock_) break;
        std::function<void()> change = std::move(due->second);
        timeline_.erase(due);
        change();
    }
}

void FakeDesktop::install(std::string id, RunningApplication app, Element root,
                          int64_t showsAfter, bool fails) {
    installed_[std::move(id)] = Installed{std::move(app), std::move(root), showsAfter, fails};
}

void FakeDesktop::at(int64_t microseconds, std::function<void()> change) {
    timeline_.emplace_back(microseconds, std::move(change));
}

bool FakeDesktop::activateApplication(int32_t pid, const Element& window) {
    if (recording) log_.push_back("activate " + std::to_string(pid) + " " + nameOf(window));
    if (!activationDelivered) return false;
    if (!activationTakes) return true;
    for (auto& entry : apps_) {
        entry.record.isActive = entry.record.processIdentifier == pid;
        if (entry.record.isActive) set(entry.root, "AXFocusedWindow", AttrValue::elementRef(window));
    }
    return true;
}

LaunchedProcess FakeDesktop::launchApplication(std::string_view id) {
    if (recording) log_.push_back("launch " + std::string(id));
    auto found = installed_.find(id);
    if (found == installed_.end()) return {};
    const Installed& entry = found->second;
    if (entry.fails)
        return {LaunchedProcess::Status::NotStarted, -1, "", "No such file or directory"};
    at(clock_ + entry.showsAfter, [this, entry] { addApp(entry.app, entry.root); });
    return {LaunchedProcess::Status::Started, entry.app.processIdentifier,
            entry.app.bundleIdentifier.value_or(""), ""};
}

bool FakeDesktop::processDescendsFrom(int32_t pid, int32_t ancestor) {
    int hops = 0;  // a cycle in what the test set ends here
    for (auto up = parents_.find(pid); up != parents_.end() && hops++ < 64;
         up = parents_.find(up->second))
        if (up->second == ancestor) return true;
    return false;
}

void FakeDesktop::beginLook(int64_t deadline) {
    if (recording) log_.push_back("look until " + std::to_string(deadline));
}

bool FakeDesktop::mayCaptureScreen() {
    if (recording) log_.push_back("may capture?");
    return screenRecording;
}

uint32_t FakeDesktop::screenColour(int64_t x, int64_t y) {
    return static_cast<uint32_t>((x & 0xff) << 16 | (y & 0xff) << 8 | ((x + y) >> 8 & 0xff));
}

CaptureResult FakeDesktop::captureScreen(const ScreenRect& area, ScreenImage& out) {
    if (recording)
        log_.push_back("capture " + number(area.x) + "," + number(area.y) + " " +
                       number(area.width) + "x" + number(area.height) + " -> " +
                       std::to_string(static_cast<int>(captureAnswer)));
    if (captureAnswer != CaptureResult::Captured) return captureAnswer;
    out.width = static_cast<int64_t>(area.width) * pixelsPerPoint;
    out.height = static_cast<int64_t>(area.height) * pixelsPerPoint;
    out.pixels.resize(static_cast<size_t>(out.width * out.height));
    for (int64_t y = 0; y < out.height; ++y)
        for (int64_t x = 0; x < out.width; ++x)
            out.pixels[static_cast<size_t>(y * out.width + x)] =
                screenColour(static_cast<int64_t>(area.x) + x / pixelsPerPoint,
                             static_cast<int64_t>(area.y) + y / pixelsPerPoint);
    return CaptureResult::Captured;
}

PlacementGap FakeDesktop::placementGap(const Element& element) {
    if (recording) log_.push_back("placement " + nameOf(element));
    return placement;
}

}  // namespace nuvra
