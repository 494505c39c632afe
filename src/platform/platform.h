// The platform layer: the desktop's accessibility model, its workspace and
// its input events, in the platform's own terms. Every decision about what a
// value means lives in the portable core; a backend only translates.
//
// Several backends can live in one binary (tests hold the fake and the
// macOS backend built against a stand-in), so the core receives a Platform&
// instead of linking against one implementation.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra {

// An opaque accessibility element of some application, or the whole system.
// Backends derive from it; the core never looks inside. Identity is only ever
// established through Platform::identityHash, never by address.
class ElementObject {
public:
    virtual ~ElementObject() = default;
};

// A counted reference: copying shares the element, the last owner releases
// it. A null Element is "no element".
using Element = std::shared_ptr<const ElementObject>;

// A created input event. Posting the same object twice posts the same event.
class EventObject {
public:
    virtual ~EventObject() = default;
};
using Event = std::shared_ptr<const EventObject>;

enum class ValueKind {
    Text,            // a plain string
    AttributedText,  // text with formatting; `text` holds its plain string
    Number,          // integer, floating or boolean
    Array,           // `items`, in the platform's order
    ElementRef,      // `element`
    PointBox,        // an accessibility value box holding a point: x, y
    SizeBox,         // a box holding a size: width, height
    OtherBox,        // a box holding any other structure (range, rect, error)
    Other,           // anything else the platform can return
};

enum class NumberKind { Integer, Floating, Boolean };

// One attribute value exactly as the platform typed it. Only the fields that
// belong to `kind` are meaningful.
struct AttrValue {
    ValueKind kind = ValueKind::Other;
    std::string text;             // Text, AttributedText: UTF-8 (may be ill-formed)
    NumberKind numberKind = NumberKind::Integer;
    double number = 0;            // Number: its value (booleans 1 or 0)
    std::string decimal;          // Number: its decimal text ("1", "0.5")
    std::vector<AttrValue> items; // Array
    Element element;              // ElementRef (never null for that kind)
    double first = 0;             // PointBox x, SizeBox width
    double second = 0;            // PointBox y, SizeBox height

    static AttrValue plainText(std::string s);
    static AttrValue attributedText(std::string s);
    static AttrValue integer(int64_t v);
    static AttrValue floating(double v);
    static AttrValue boolean(bool v);
    static AttrValue array(std::vector<AttrValue> items);
    static AttrValue elementRef(Element e);
    static AttrValue pointBox(double x, double y);
    static AttrValue sizeBox(double width, double height);
    static AttrValue otherBox();
    static AttrValue other();
};

// One entry of the workspace's running-application list.
struct RunningApplication {
    int64_t activationPolicy = 0;  // 0 is the regular policy
    bool isActive = false;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    int32_t processIdentifier = -1;
    // False for an application that did not tell its facts in time (on
    // Linux the registry's applications are asked for them): then only the
    // process, the bundle identifier and whatever it told before it stopped
    // are known, and it is listed as neither regular nor active.
    bool responding = true;
};

// What launchApplication did.
struct LaunchedProcess {
    enum class Status {
        Started,
        NotInstalled,  // no installed application has that id
        NotStarted,    // it is installed, but the system could not start it
    };
    Status status = Status::NotInstalled;
    int32_t pid = -1;  // Started: the process started
    // Started: the bundle identifier the application will show in its
    // workspace record, where the id tells it (a GTK application's id is
    // its desktop entry's); empty when unknown.
    std::string bundleIdentifier;
    std::string why;  // NotStarted: the system's reason, in words
};

struct ScreenPoint {
    double x = 0;
    double y = 0;
};

// A rectangle in screen coordinates, those of "AXPosition": origin at the
// top left of the main display, y growing downwards.
struct ScreenRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// A picture of part of the screen at the display's own density: `width` ×
// `height` pixels, rows top to bottom, each pixel 0x00RRGGBB.
struct ScreenImage {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint32_t> pixels;
};

// How a capture of the screen ended.
enum class CaptureResult {
    Captured,
    NoPicture,  // the display server keeps no picture of that area (XWayland
                // outside its own windows)
    Failed,     // refused, or not answered
};

// Why an element answers no AXPosition in screen points though it is shown.
enum class PlacementGap {
    Unknown,
    WindowCoordinates,  // its toolkit knows only window coordinates (GTK 4)
    NativeWayland,      // a native Wayland client: not on the X screen at all
};

// Mouse event types and button numbers, in Core Graphics' numbering.
enum MouseEventType : int32_t {
    kLeftMouseDown = 1,
    kLeftMouseUp = 2,
    kRightMouseDown = 3,
    kRightMouseUp = 4,
    kMouseMoved = 5,
    kLeftMouseDragged = 6,
    kRightMouseDragged = 7,
};
enum MouseButton : int32_t { kLeftButton = 0, kRightButton = 1 };

// The modifier flags a keyboard event carries, in Core Graphics' numbering
// (CGEventFlags).
enum KeyboardFlags : uint64_t {
    kFlagShift = 0x00020000,
    kFlagControl = 0x00040000,
    kFlagAlternate = 0x00080000,
    kFlagCommand = 0x00100000,
};

// Whether keyboard events posted now reach an application.
enum class KeyboardReach {
    Reaches,
    // A native Wayland window: the keys would go to the X server, which
    // holds no window of the application.
    NativeWayland,
};

// Result codes: 0 is success; any other value is a platform error, which the
// core treats alike without telling kinds apart.
using AXResult = int32_t;
constexpr AXResult kAXSuccess = 0;
constexpr AXResult kAXFailure = -25200;          // generic failure
constexpr AXResult kAXAttributeUnsupported = -25205;
constexpr AXResult kAXActionUnsupported = -25206;
constexpr AXResult kAXNoValue = -25212;
constexpr AXResult kAXCannotComplete = -25204;
constexpr AXResult kAXInvalidElement = -25202;  // a null or released handle
constexpr AXResult kAXIllegalArgument = -25201; // e.g. a count of what is no array

class Platform {
public:
    virtual ~Platform() = default;

    // --- accessibility ---

    // Whether this process may use the accessibility interface. Never prompts,
    // never blocks for long; false leads to the untrusted report.
    virtual bool isProcessTrusted() = 0;

    // After isProcessTrusted answered false, why: the permission not granted
    // (macOS), or no accessibility bus, or no registry on it, answered (Linux).
    enum class TrustGap { Permission, NoBus, NoRegistry };
    virtual TrustGap trustGap() { return TrustGap::Permission; }

    // After trustGap answered NoBus: the variables of the desktop session
    // through which the bus is found that this process was not given
    // (Linux: DISPLAY, DBUS_SESSION_BUS_ADDRESS); none when nothing was
    // missing or AT_SPI_BUS_ADDRESS named the bus.
    virtual std::vector<std::string> unsetSessionVariables() { return {}; }

    // The root element of the application with this process number. Never
    // null: for a process that is gone, every later read of it fails.
    virtual Element createApplicationElement(int32_t pid) = 0;

    // The system-wide element; only used as the subject of elementAtPosition.
    virtual Element createSystemWideElement() = 0;

    // The deepest element at a screen point. 0 with `out` set: found (`out`
    // may still be null, which means none); non-zero: none, `out` untouched.
    virtual AXResult copyElementAtPosition(const Element& systemWide, float x, float y,
                                           Element& out) = 0;

    // One attribute's current value. 0 with `out` set: the value; 0 with `out`
    // empty: no value; non-zero: unreadable (missing, unsupported, the
    // application gone or not answering), `out` untouched.
    virtual AXResult copyAttributeValue(const Element& element, std::string_view attribute,
                                        std::optional<AttrValue>& out) = 0;

    // How many entries an array attribute holds, without reading them
    // (AXUIElementGetAttributeValueCount). 0 with `count` set; non-zero: it
    // cannot be counted (not an array, unsupported, unreadable), `count`
    // untouched. By default the attribute is read whole and counted.
    virtual AXResult getAttributeValueCount(const Element& element, std::string_view attribute,
                                            int64_t& count);

    // At most `maxValues` entries of an array attribute from `index` on, as
    // an Array value (AXUIElementCopyAttributeValues). Same result
    // convention as copyAttributeValue. By default the attribute is read
    // whole and cut.
    virtual AXResult copyAttributeValues(const Element& element, std::string_view attribute,
                                         int64_t index, int64_t maxValues,
                                         std::optional<AttrValue>& out);

    // The element's action names as an Array value (entries may be of any
    // kind). Same result convention as copyAttributeValue.
    virtual AXResult copyActionNames(const Element& element,
                                     std::optional<AttrValue>& out) = 0;

    // 0: performed; non-zero: refused or failed.
    virtual AXResult performAction(const Element& element, std::string_view action) = 0;

    // Writes a text value (UTF-8). 0: accepted; non-zero: rejected.
    virtual AXResult setAttributeValue(const Element& element, std::string_view attribute,
                                       std::string_view text) = 0;

    // How many characters a text holds as the platform counts them in
    // "AXNumberOfCharacters": UTF-16 units on macOS (the default), code
    // points in AT-SPI.
    virtual int64_t characterCount(std::string_view utf8);

    // Writes a boolean value ("AXFocused" true: the element takes keyboard
    // focus). 0: accepted; non-zero: rejected or not supported.
    virtual AXResult setBooleanAttribute(const Element& element, std::string_view attribute,
                                         bool value) = 0;

    // Equal for every handle of one element; distinct elements may collide.
    virtual uint64_t identityHash(const Element& element) = 0;

    // A walk is about to read the tree below `root`, at most `maxNodes`
    // elements down to `maxDepth` levels. A hint only: a backend may fetch
    // ahead what such a walk reads, as long as every read still answers what
    // the element holds during the walk. Ignored by default.
    virtual void prepareWalk(const Element& /*root*/, int64_t /*maxNodes*/,
                             int64_t /*maxDepth*/) {}

    // The elements a walk will read next, handed over as it queues them:
    // first the root (depth 0), then, once it has read an element and before
    // it reads another, those of its children it will read, `depth` levels
    // below the root. The walk reads the elements in the order handed over,
    // beginning each only after all before it (it may stop short of the
    // last), and reads no other. A hint only: a backend may read them ahead.
    // Ignored by default.
    virtual void walkQueued(const std::vector<Element>& /*next*/, int64_t /*depth*/) {}

    // The frames of the displays, in the platform's order: every active
    // display (macOS), the root window, to which X clamps every pointer
    // position (X11). Empty when they cannot be read; nothing is then
    // clipped to them, and no point refused for lying off them.
    virtual std::vector<ScreenRect> displayBounds() { return {}; }

    // --- workspace ---

    // The running applications, afresh on every call, in the platform's order.
    // One that does not answer within the platform's time-out is listed as
    // not responding.
    virtual std::vector<RunningApplication> runningApplications() = 0;

    // The same list without waiting on the slow: an application that has not
    // answered by the time all others have is listed as not responding. A
    // runningApplications() that follows in the same run completes this
    // list, waiting for those without asking them again. By default the
    // whole list, where the platform knows every fact without asking.
    virtual std::vector<RunningApplication> promptApplications() { return runningApplications(); }

    // Applications that show windows but are not on the accessibility bus,
    // one record for each name they go by (Linux: the process behind a
    // top-level X window that no registered application is, by its window
    // class and its process name). Empty where every application is
    // accessible (macOS).
    virtual std::vector<RunningApplication> inaccessibleApplications() { return {}; }

    // Whole-text equality ignoring letter case and diacritical marks.
    virtual bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) = 0;

    // Brings the application with process `pid` to the front and gives it
    // the keyboard focus, `window` (one of its windows, never null) above
    // its others. True when the request went out; whether it took is for
    // the caller to read back (isActive, "AXFocusedWindow").
    virtual bool activateApplication(int32_t pid, const Element& window) = 0;

    // Starts the installed application `id` (Linux: a desktop entry id;
    // macOS: a bundle identifier) the way the desktop starts it, detached
    // from this process. Never a command line of the caller's.
    virtual LaunchedProcess launchApplication(std::string_view id) = 0;

    // Whether process `pid` was started, directly or through others, by
    // process `ancestor` (a launcher that forks). False where the platform
    // cannot tell.
    virtual bool processDescendsFrom(int32_t /*pid*/, int32_t /*ancestor*/) { return false; }

    // A command that reads the desktop again and again (waiting for a
    // change) begins one more look: what the run learnt of applications
    // that did not answer is forgotten, so they are asked again, and no
    // wait for an answer lasts past `deadline` (monotonicMicroseconds). A
    // platform that remembers nothing between reads does nothing.
    virtual void beginLook(int64_t /*deadline*/) {}

    // Whether the deadline of the look begun last ended a wait for an
    // answer: what that look read is then not what the application holds.
    virtual bool lookCutShort() { return false; }

    // --- events ---

    // A mouse event at a screen point, or null when it cannot be created.
    virtual Event createMouseEvent(int32_t type, ScreenPoint at, int32_t button) = 0;

    // A scroll-wheel event in pixel units with two wheels (wheel3 unused by
    // every caller but passed through), or null when it cannot be created.
    // Core Graphics' signs: a positive wheel1 scrolls up, a positive wheel2
    // scrolls left.
    virtual Event createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t wheel3) = 0;

    // A key going down or up: the key by its virtual key code (kVK_*, as
    // macOS numbers the keys of an ANSI keyboard), the modifier flags the
    // event carries, and the character it types (UTF-8, one code point, the
    // same on down and up; empty: whatever the key types). Null when it
    // cannot be created: a key or character this keyboard cannot produce.
    virtual Event createKeyboardEvent(uint16_t virtualKey, bool keyDown, uint64_t flags,
                                      std::string_view character) = 0;

    // Whether keyboard events posted now would reach the application of
    // `target`, or, for a null target, whatever holds the keyboard focus.
    virtual KeyboardReach keyboardReach(const Element& /*target*/) {
        return KeyboardReach::Reaches;
    }

    // Posts at the HID event tap. False only when the event is known not to
    // have arrived (an X server that stopped answering); Core Graphics
    // reports nothing.
    virtual bool postEvent(const Event& event) = 0;

    // After an event could not be created or posted, why: Core Graphics
    // gives no reason (Unknown); X11 had no display named (DISPLAY unset),
    // none that could be opened, one without the XTEST extension, or one
    // that stopped answering.
    enum class EventGap { Unknown, NoDisplayNamed, DisplayUnreachable, NoXTest, DisplayGone };
    virtual EventGap eventGap() { return EventGap::Unknown; }

    // Whether the process has been asked to end (SIGTERM, SIGINT, SIGHUP),
    // while an input command holds those signals until it is done: a long
    // one stops at its next point where no key is held down.
    virtual bool endRequested() { return false; }

    // Blocks the calling thread.
    virtual void sleepMicroseconds(uint32_t microseconds) = 0;

    // A clock that never goes back, in microseconds from any fixed start.
    virtual int64_t monotonicMicroseconds() {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    // --- the screen ---

    // displayBounds (above) says where the displays are.

    // Whether this process may read what the screen shows (macOS: the Screen
    // Recording permission). Never prompts.
    virtual bool mayCaptureScreen() = 0;

    // What the screen shows in `area` (whole points, within the displays),
    // windows above the one of interest included. Captured with `out` set;
    // otherwise `out` untouched.
    virtual CaptureResult captureScreen(const ScreenRect& area, ScreenImage& out) = 0;

    // After `element` answered no AXPosition, why. Unknown by default.
    virtual PlacementGap placementGap(const Element& /*element*/) {
        return PlacementGap::Unknown;
    }
};

}  // namespace nuvra
