// Control and inspection of the Apple API stand-in, for the macOS backend's
// tests on machines without macOS. Objects carry retain counts; every object
// the test makes is held by the stand-in's world until finish(), which
// releases those references and reports every object still alive (a leak),
// every release of a dead object (an over-release) and every call on a
// released object.
#pragma once

#include <ApplicationServices/ApplicationServices.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// --- values; each is held by the world until finish() ---
CFStringRef string(std::string_view utf8);
CFStringRef utf16String(std::u16string_view units);
CFAttributedStringRef attributedString(std::string_view utf8);
// An attributed string whose CFAttributedStringGetString answers NULL.
CFAttributedStringRef attributedStringWithoutText();
CFNumberRef integer(int64_t value);
CFNumberRef floating(double value);
// An integer beyond 64 signed bits, as Foundation stores a large unsigned.
CFNumberRef largeUnsigned(uint64_t value);
// Retains its items, as CFArrayCreate with the CFType callbacks does.
CFArrayRef array(std::vector<CFTypeRef> items);
AXValueRef pointBox(double x, double y);
AXValueRef sizeBox(double width, double height);
AXValueRef rectBox(double x, double y, double width, double height);
AXValueRef rangeBox(CFIndex location, CFIndex length);
// An object of a type the backend does not translate (a dictionary, a URL).
CFTypeRef otherObject();

// --- the accessibility world ---
// A new element; `name` identifies it in the call log.
AXUIElementRef element(std::string name);
// A second handle to the same element: equal CFHash, distinct object.
AXUIElementRef anotherHandle(AXUIElementRef element);
// What AXUIElementCopyAttributeValue answers; `value` (if any) goes into the
// output slot retained for the caller, also when `code` is not success.
// Attributes never set answer kAXErrorAttributeUnsupported.
void setAttribute(AXUIElementRef element, std::string attribute, AXError code,
                  CFTypeRef value = nullptr);
void setActionNames(AXUIElementRef element, AXError code, CFTypeRef names);
void setPerformResult(AXUIElementRef element, AXError code);
void setWriteResult(AXUIElementRef element, AXError code);
// The application quit: every call on its elements answers
// kAXErrorInvalidUIElement.
void quit(AXUIElementRef element);
// AXUIElementCreateApplication(pid) hands out a new handle to `root`.
// Unknown process numbers give a handle to an element that is gone.
void setApplication(pid_t pid, AXUIElementRef root);
void setElementAtPosition(AXError code, AXUIElementRef element);
void setTrusted(bool trusted);
void setEventCreationFails(bool fails);
// One entry of the workspace list that runningApplications() reports.
void addRunningApplication(int64_t activationPolicy, bool isActive, CFStringRef bundleIdentifier,
                           CFStringRef localizedName, int32_t processIdentifier);

// --- inspection ---
// Every accessibility, comparison and event call, in order, for example:
//   "AXUIElementCopyAttributeValue win AXRole"
//   "AXUIElementSetAttributeValue field AXValue \"text\""
//   "CGEventCreateMouseEvent source=null type=1 at=100,200 button=0 -> ev1"
//   "CGEventPost tap=0 ev1"
std::vector<std::string> calls();
void clearCalls();
CFIndex references(CFTypeRef object);
std::string textOf(CFStringRef string);

// Releases the world's references and reports every problem seen, then
// forgets everything. Empty when every object was released exactly once.
std::vector<std::string> finish();

}  // namespace standin
