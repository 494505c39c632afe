// An in-memory desktop for tests: applications, element trees with attributes
// of every value kind, per-element answers to actions and writes, and a log
// of every platform call in order. Tests build it in C++ and assert on the
// log, never on wall-clock time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace nuvra {

class FakeDesktop : public Platform {
public:
    FakeDesktop();
    ~FakeDesktop() override;

    // --- building the desktop ---

    // A new element; `name` identifies it in the call log. Its identity hash
    // is unique until setIdentityHash says otherwise.
    Element element(std::string name);
    // Shorthand: an element with "AXRole" (and "AXTitle" when not empty).
    Element element(std::string name, std::string role, std::string title = "");

    void set(const Element& e, std::string attribute, AttrValue value);
    void setText(const Element& e, std::string attribute, std::string text);
    // Reads of this attribute answer `code` (non-zero) and no value.
    void setError(const Element& e, std::string attribute, AXResult code);
    // Reads of this attribute answer 0 with no value.
    void setNull(const Element& e, std::string attribute);
    void unset(const Element& e, std::string_view attribute);
    // Counting this array attribute answers `count`, whatever it holds: an
    // element that claims more children than it is ever asked for.
    void setClaimedCount(const Element& e, std::string attribute, int64_t count);
    // "AXChildren" as an array of these elements.
    void setChildren(const Element& parent, std::vector<Element> children);
    void setPosition(const Element& e, double x, double y);
    void setSize(const Element& e, double width, double height);
    void setFrame(const Element& e, double x, double y, double width, double height);

    // Action names offered (as an array of plain texts), or a raw answer.
    void setActions(const Element& e, std::vector<std::string> names);
    void setActionNames(const Element& e, std::optional<AttrValue> value, AXResult code = 0);
    // The answer to performAction and to setAttributeValue (default 0).
    void setPerformResult(const Element& e, AXResult code);
    void setWriteResult(const Element& e, AXResult code);
    // Pressing this element leaves the press unanswered and the application
    // hung: every later call on any element answers kAXCannotComplete.
    void setHangsOnPress(const Element& e);
    // Writes and boolean sets (focus) to this element answer success and
    // change nothing.
    void setIgnoresWrites(const Element& e);
    // Writes to this element answer success and keep only the first
    // `bytes` bytes, as a field with a length limit does.
    void setWriteLimit(const Element& e, size_t bytes);
    // Keys typed while this element has focus do not reach it.
    void setIgnoresKeys(const Element& e);

    void setIdentityHash(const Element& e, uint64_t hash);
    // The element's application quit: every call on it fails.
    void removeElement(const Element& e);

    // A running application whose accessibility root is `root`.
    void addApp(RunningApplication app, Element root);
    void clearApps();
    // Applications that show windows off the accessibility bus.
    std::vector<RunningApplication> inaccessible;
    // The workspace record of the application with this process id, to edit
    // in place; null when there is none.
    RunningApplication* app(int32_t pid);
    // The application tells its facts only when waited for: promptApplications
    // lists it as not responding.
    void setLate(int32_t pid);
    // The application tells nothing: both lists give it as not responding,
    // with its process and bundle identifier only, and every read of its
    // root element answers kAXCannotComplete.
    void setSilent(int32_t pid);
    // The first element made with this name; null when there is none.
    Element find(std::string_view name) const;

    bool trusted = true;

    // The displays' frames displayBounds answers; none by default.
    std::vector<ScreenRect> displays;

    // What copyElementAtPosition answers.
    void setElementAtPosition(Element e, AXResult code = 0);

    // Event creation succeeds this many more times, then answers null.
    std::optional<int> eventsBeforeFailure;

    // Posting succeeds this many more times, then fails once, as a post the
    // X server did not answer in time.
    std::optional<int> postsBeforeFailure;
    // After this many posts the process is asked to end (endRequested).
    std::optional<int> endAfterPosts;

    // What keyboardReach answers, for every target.
    KeyboardReach reach = KeyboardReach::Reaches;

    // Off: calls are answered but not logged, for benchmarks, where building
    // the log's texts would cost more than the code being measured.
    bool recording = true;

    // How long each performAction takes on the fake's clock, which moves
    // only by this and by sleepMicroseconds.
    uint32_t performMicroseconds = 0;

    // The screen: whether it may be captured, what a capture answers and at
    // how many pixels per point. Every point shows screenColour of its whole
    // coordinates.
    bool screenRecording = true;
    CaptureResult captureAnswer = CaptureResult::Captured;
    int64_t pixelsPerPoint = 1;
    static uint32_t screenColour(int64_t x, int64_t y);
    // What placementGap answers.
    PlacementGap placement = PlacementGap::Unknown;

    // Called before every attribute read, to change the desktop between reads.
    std::function<void(const Element&, std::string_view attribute)> beforeRead;

    // An application that can be started: launchApplication(id) starts a
    // process `app.processIdentifier` at once, and the application (with
    // `root`) joins the workspace `showsAfter` microseconds later on the
    // fake's clock. `fails`: the system could not start it.
    void install(std::string id, RunningApplication app, Element root, int64_t showsAfter,
                 bool fails = false);
    // Process `pid` was started by process `parent`.
    void setParent(int32_t pid, int32_t parent) { parents_[pid] = parent; }
    // Changes the desktop once the fake's clock reaches `microseconds`.
    void at(int64_t microseconds, std::function<void()> change);

    // activateApplication's answer, and whether it brings the application
    // forward (the active one, its root's "AXFocusedWindow" the window).
    bool activationDelivered = true;
    bool activationTakes = true;
    // What lookCutShort answers.
    bool looksCutShort = false;

    // --- inspecting ---

    // Every platform call in order, one text each, for example:
    //   "trusted?"  "apps"  "createApp 42"  "systemWide"  "elementAt 10,20"
    //   "read win AXRole"  "count win AXChildren"  "values win AXChildren 0 5"
    //   "actions ok"  "perform ok AXPress -> 0"
    //   "write field AXValue \"text\" -> 0"  "hash win"
    //   "mouse 1 at 100,200 button 0 -> ev1"  "mouse 1 at 1,2 button 0 -> null"
    //   "scroll 3,-5,0 -> ev2"  "post ev1"  "sleep 80000"
    //   "displays"  "may capture?"  "capture 10,20 30x40 -> 0"  "placement win"
    //   "key down 0x3b flags 0x40000 -> ev3"  "key up 0x0 flags 0x0 \"é\" -> ev4"
    //   "set field AXFocused 1 -> 0"  "reach field"
    // A key going down with a character appends it to the value of the
    // element last focused with setBooleanAttribute.
    //   "post ev3 -> failed"
    const std::vector<std::string>& log() const { return log_; }
    // The log entries that start with `prefix`.
    std::vector<std::string> calls(std::string_view prefix) const;
    void clearLog() {
        log_.clear();
        hints_.clear();
    }
    // What walks handed over with walkQueued, in order: the element's name
    // and how many log entries came before the hint.
    struct Hint {
        std::string name;
        size_t logged = 0;
    };
    const std::vector<Hint>& hints() const { return hints_; }
    // Texts written with setAttributeValue, in order: "name attribute text".
    const std::vector<std::string>& writes() const { return writes_; }
    std::string nameOf(const Element& e) const;

    // --- Platform ---
    bool isProcessTrusted() override;
    Element createApplicationElement(int32_t pid) override;
    Element createSystemWideElement() override;
    AXResult copyElementAtPosition(const Element& systemWide, float x, float y,
                                   Element& out) override;
    AXResult copyAttributeValue(const Element& element, std::string_view attribute,
                                std::optional<AttrValue>& out) override;
    AXResult getAttributeValueCount(const Element& element, std::string_view attribute,
                                    int64_t& count) override;
    AXResult copyAttributeValues(const Element& element, std::string_view attribute,
                                 int64_t index, int64_t maxValues,
                                 std::optional<AttrValue>& out) override;
    AXResult copyActionNames(const Element& element, std::optional<AttrValue>& out) override;
    AXResult performAction(const Element& element, std::string_view action) override;
    AXResult setAttributeValue(const Element& element, std::string_view attribute,
                               std::string_view text) override;
    uint64_t identityHash(const Element& element) override;
    void walkQueued(const std::vector<Element>& next, int64_t depth) override;
    std::vector<RunningApplication> runningApplications() override;
    std::vector<RunningApplication> inaccessibleApplications() override;
    std::vector<RunningApplication> promptApplications() override;
    std::vector<ScreenRect> displayBounds() override;
    bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) override;
    Event createMouseEvent(int32_t type, ScreenPoint at, int32_t button) override;
    Event createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t wheel3) override;
    AXResult setBooleanAttribute(const Element& element, std::string_view attribute,
                                 bool value) override;
    Event createKeyboardEvent(uint16_t virtualKey, bool keyDown, uint64_t flags,
                              std::string_view character) override;
    KeyboardReach keyboardReach(const Element& target) override;
    bool postEvent(const Event& event) override;
    bool endRequested() override;
    void sleepMicroseconds(uint32_t microseconds) override;
    bool mayCaptureScreen() override;
    CaptureResult captureScreen(const ScreenRect& area, ScreenImage& out) override;
    PlacementGap placementGap(const Element& element) override;
    int64_t monotonicMicroseconds() override { return clock_; }
    bool activateApplication(int32_t pid, const Element& window) override;
    LaunchedProcess launchApplication(std::string_view id) override;
    bool processDescendsFrom(int32_t pid, int32_t ancestor) override;
    void beginLook(int64_t deadline) override;
    bool lookCutShort() override { return looksCutShort; }

private:
    struct Answer {
        AXResult code = 0;
        std::optional<AttrValue> value;
    };
    struct Node {
        std::string name;
        uint64_t hash = 0;
        bool gone = false;
        std::map<std::string, Answer, std::less<>> attributes;
        std::map<std::string, int64_t, std::less<>> claimedCounts;
        Answer actionNames{kAXSuccess, AttrValue::array({})};
        AXResult performResult = 0;
        AXResult writeResult = 0;
        bool hangsOnPress = false;
        bool ignoresWrites = false;
        std::optional<size_t> writeLimit;
        bool ignoresKeys = false;
        bool silent = false;
    };
    struct AppEntry {
        RunningApplication record;
        Element root;
        bool late = false;
        bool silent = false;
    };
    std::vector<RunningApplication> listed(bool waiting) const;
    Node& node(const Element& e);
    // The stored answer to a read of `attribute`, logged as `entry`.
    AXResult lookup(const Element& element, std::string_view attribute, const std::string& entry,
                    const Answer*& answer);
    const Node* nodeOrNull(const Element& e) const;
    Event newEvent(std::string description, std::string typed = {});

    std::vector<Node> nodes_;
    Node stray_;
    bool hung_ = false;
    std::vector<AppEntry> apps_;
    Element systemWide_;
    Element atPosition_;
    Element focused_;
    AXResult atPositionCode_ = kAXNoValue;
    int nextEvent_ = 1;
    int posts_ = 0;
    int64_t clock_ = 0;
    std::vector<std::string> log_;
    std::vector<Hint> hints_;
    std::vector<std::string> writes_;
    struct Installed {
        RunningApplication app;
        Element root;
        int64_t showsAfter = 0;
        bool fails = false;
    };
    std::map<std::string, Installed, std::less<>> installed_;
    std::map<int32_t, int32_t> parents_;
    std::vector<std::pair<int64_t, std::function<void()>>> timeline_;
};

}  // namespace nuvra
