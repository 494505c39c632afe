// The accessibility calls, one literal call each. Ownership: whatever a Copy
// or Create call hands out is adopted into a CFHandle at once, so it is
// released exactly once on every path, also when the call failed but still
// filled its output slot.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

namespace {

// AX answers kAXErrorInvalidUIElement for a handle it cannot use; a null or
// foreign Element is answered the same way without asking it.
constexpr AXResult kNoElement = kAXErrorInvalidUIElement;

}  // namespace

bool isProcessTrusted() {
    return AXIsProcessTrusted() != 0;
}

Element createApplicationElement(int32_t pid) {
    return elementFrom(CFHandle<AXUIElementRef>::adopt(AXUIElementCreateApplication(pid)));
}

Element createSystemWideElement() {
    return elementFrom(CFHandle<AXUIElementRef>::adopt(AXUIElementCreateSystemWide()));
}

AXResult copyElementAtPosition(const Element& systemWide, float x, float y, Element& out) {
    const AXUIElementRef subject = axRef(systemWide);
    if (!subject) return kNoElement;
    AXUIElementRef slot = nullptr;
    const AXError code = AXUIElementCopyElementAtPosition(subject, x, y, &slot);
    Element found = elementFrom(CFHandle<AXUIElementRef>::adopt(slot));
    if (code != kAXErrorSuccess) return code;
    out = std::move(found);
    return code;
}

AXResult copyAttributeValue(const Element& element, std::string_view attribute,
                            std::optional<AttrValue>& out) {
    const AXUIElementRef subject = axRef(element);
    if (!subject) return kNoElement;
    const CFHandle<CFStringRef> name = cfStringFromUtf8(attribute);
    if (!name) return kAXErrorFailure;
    CFTypeRef slot = nullptr;
    const AXError code = AXUIElementCopyAttributeValue(subject, name.get(), &slot);
    const CFHandle<CFTypeRef> value = CFHandle<CFTypeRef>::adopt(slot);
    if (code != kAXErrorSuccess) return code;
    out = value ? std::optional<AttrValue>(attrValueFromCF(value.get())) : std::nullopt;
    return code;
}

AXResult getAttributeValueCount(const Element& element, std::string_view attribute, int64_t& count) {
    const AXUIElementRef subject = axRef(element);
    if (!subject) return kNoElement;
    const CFHandle<CFStringRef> name = cfStringFromUtf8(attribute);
    if (!name) return kAXErrorFailure;
    CFIndex n = 0;
    const AXError code = AXUIElementGetAttributeValueCount(subject, name.get(), &n);
    if (code == kAXErrorSuccess) count = n;
    return code;
}

AXResult copyAttributeValues(const Element& element, std::string_view attribute, int64_t index,
                             int64_t maxValues, std::optional<AttrValue>& out) {
    const AXUIElementRef subject = axRef(element);
    if (!subject) return kNoElement;
    const CFHandle<CFStringRef> name = cfStringFromUtf8(attribute);
    if (!name) return kAXErrorFailure;
    CFArrayRef slot = nullptr;
    const AXError code = AXUIElementCopyAttributeValues(subject, name.get(), CFIndex(index),
                                                        CFIndex(maxValues), &slot);
    const CFHandle<CFArrayRef> values = CFHandle<CFArrayRef>::adopt(slot);
    if (code != kAXErrorSuccess) return code;
    out = values ? std::optional<AttrValue>(attrValueFromCF(values.get())) : std::nullopt;
    return code;
}

AXResult copyActionNames(const Element& element, std::optional<AttrValue>& out) {
    const AXUIElementRef subject = axRef(element);
    if (!subject) return kNoElement;
    CFArrayRef slot = nullptr;
    const AXError code = AXUIElementCopyActionNames(subject, &slot);
    const CFHandle<CFArrayRef> names = CFHandle<CFArrayRef>::adopt(slot);
    if (code != kAXErrorSuccess) return code;
    out = names ? std::optional<AttrValue>(attrValueFromCF(names.get())) : std::nullopt;
    return code;
}

AXResult performAction(const Element& element, std::string_view action) {
    const AXUIElementRef subject = axRef(element);
    if (!subject) return kNoElement;
    const CFHandle<CFStringRef> name = cfStringFromUtf8(action);
    if (!name) return kAXErrorFailure;
    return AXUIElementPerformAction(subject, name.get());
}

AXResult setAttributeValue(const Element& element, std::string_view attribute,
                           std::string_view text) {
    const AXUIElementRef subject = axRef(element);
    if (!subject) return kNoElement;
    const CFHandle<CFStringRef> name = cfStringFromUtf8(attribute);
    const CFHandle<CFStringRef> value = cfStringFromUtf8(text);
    if (!name || !value) return kAXErrorFailure;
    return AXUIElementSetAttributeValue(subject, name.get(), value.get());
}

AXResult setBooleanAttribute(const Element& element, std::string_view attribute, bool value) {
    const AXUIElementRef subject = axRef(element);
    if (!subject) return kNoElement;
    const CFHandle<CFStringRef> name = cfStringFromUtf8(attribute);
    if (!name) return kAXErrorFailure;
    return AXUIElementSetAttributeValue(subject, name.get(), value ? kCFBooleanTrue : kCFBooleanFalse);
}

uint64_t identityHash(const Element& element) {
    const AXUIElementRef subject = axRef(element);
    return subject ? static_cast<uint64_t>(CFHash(subject)) : 0;
}

int32_t processOf(const Element& element) {
    const AXUIElementRef subject = axRef(element);
    pid_t pid = 0;
    if (!subject || AXUIElementGetPid(subject, &pid) != kAXErrorSuccess) return 0;
    return pid;
}

void setMessagingTimeout(double seconds) {
    const CFHandle<AXUIElementRef> systemWide =
        CFHandle<AXUIElementRef>::adopt(AXUIElementCreateSystemWide());
    if (systemWide) AXUIElementSetMessagingTimeout(systemWide.get(), static_cast<float>(seconds));
}

}  // namespace nuvra::macos
