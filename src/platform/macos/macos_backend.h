// The macOS backend as free functions over the platform's own calls:
// ApplicationServices (accessibility), Core Foundation, Core Graphics events
// and the AppKit workspace. macos_platform.cpp binds them to the Platform
// interface; every decision about what a value means stays in the core.
#pragma once

#include <ApplicationServices/ApplicationServices.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/macos/cf_handle.h"
#include "platform/macos/limits.h"
#include "platform/platform.h"

namespace nuvra::macos {

// --- text (cf_text.cpp) ---

// The whole string as UTF-8; unpaired UTF-16 surrogates become U+FFFD.
std::string utf8FromCFString(CFStringRef string);
// A new string from UTF-8; each ill-formed byte sequence becomes one U+FFFD
// per maximal subpart. Null only when the platform cannot allocate.
CFHandle<CFStringRef> cfStringFromUtf8(std::string_view text);
// CFStringCompare over both whole texts, case- and diacritic-insensitive.
bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b);

// --- elements and values (ax_values.cpp) ---

class MacElement final : public ElementObject {
public:
    explicit MacElement(CFHandle<AXUIElementRef> ref) : ref(std::move(ref)) {}
    const CFHandle<AXUIElementRef> ref;
};

// Null handle: null Element.
Element elementFrom(CFHandle<AXUIElementRef> ref);
// The handle inside, or null for a null or foreign Element.
AXUIElementRef axRef(const Element& element);
// A value the caller keeps owning; elements inside are retained by the result.
AttrValue attrValueFromCF(CFTypeRef value);

// --- accessibility (macos_accessibility.cpp) ---

bool isProcessTrusted();
Element createApplicationElement(int32_t pid);
Element createSystemWideElement();
AXResult copyElementAtPosition(const Element& systemWide, float x, float y, Element& out);
AXResult copyAttributeValue(const Element& element, std::string_view attribute,
                            std::optional<AttrValue>& out);
AXResult getAttributeValueCount(const Element& element, std::string_view attribute, int64_t& count);
AXResult copyAttributeValues(const Element& element, std::string_view attribute, int64_t index,
                             int64_t maxValues, std::optional<AttrValue>& out);
AXResult copyActionNames(const Element& element, std::optional<AttrValue>& out);
AXResult performAction(const Element& element, std::string_view action);
AXResult setAttributeValue(const Element& element, std::string_view attribute,
                           std::string_view text);
AXResult setBooleanAttribute(const Element& element, std::string_view attribute, bool value);
uint64_t identityHash(const Element& element);
// The process of the element's application; 0 when the platform cannot say
// (the system-wide element, a null one).
int32_t processOf(const Element& element);
// The time-out of every accessibility message after this, for all
// applications (AXUIElementSetMessagingTimeout on the system-wide element);
// 0 restores the system's own.
void setMessagingTimeout(double seconds);

// --- workspace (workspace_record.cpp, macos_workspace.mm) ---

// One running-application record from the five properties as AppKit gives
// them; the strings are borrowed and may be null.
RunningApplication runningApplicationRecord(int64_t activationPolicy, bool isActive,
                                            CFStringRef bundleIdentifier,
                                            CFStringRef localizedName,
                                            int32_t processIdentifier);
std::vector<RunningApplication> runningApplications();
// NSRunningApplication's activateWithOptions: for the application with this
// process; false when there is none or it declined.
bool activateRunningApplication(int32_t pid);
// NSWorkspace's application for the bundle identifier, opened; Chromium's
// browsers with --force-renderer-accessibility.
LaunchedProcess launchApplication(std::string_view bundleIdentifier);

// --- the screen (macos_capture.cpp, macos_screencapturekit.mm) ---

bool mayCaptureScreen();
CaptureResult captureScreen(const ScreenRect& area, ScreenImage& out);

// ScreenCaptureKit's picture of a rectangle of the screen, in points
// (SCScreenshotManager, macOS 15.2 and later); Unavailable before.
enum class KitCapture { Unavailable, Failed, Captured };
KitCapture screenCaptureKitImage(CGRect rect, CFHandle<CGImageRef>& out);

// --- events (macos_events.cpp) ---

Event createMouseEvent(int32_t type, ScreenPoint at, int32_t button);
Event createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t wheel3);
// Virtual key codes are macOS's own, 0-0x7F; a larger one is no key.
Event createKeyboardEvent(uint16_t virtualKey, bool keyDown, uint64_t flags,
                          std::string_view character);
void postEvent(const Event& event);
void sleepMicroseconds(uint32_t microseconds);
// The active displays' frames; none when Core Graphics cannot list them.
std::vector<ScreenRect> displayBounds();

}  // namespace nuvra::macos
