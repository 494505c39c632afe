// CFTypeRef → AttrValue. The type tests run in the order the readers rely on:
// string, attributed string, number (CFBoolean first: it is a type of its own
// in Core Foundation, though Foundation bridges it as a number), array,
// element, accessibility value box. Everything here follows the Get rule: the
// value stays owned by the caller, and only kept elements are retained.
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/macos/macos_backend.h"

namespace nuvra::macos {

namespace {

AttrValue numberValue(CFNumberRef number) {
    if (!CFNumberIsFloatType(number)) {
        int64_t integer = 0;
        if (CFNumberGetValue(number, kCFNumberSInt64Type, &integer)) {
            return AttrValue::integer(integer);
        }
    }
    // A floating number, or an integer that does not fit 64 signed bits
    // (CFNumberGetValue then answers false with an approximation): the
    // nearest double.
    double floating = 0;
    CFNumberGetValue(number, kCFNumberDoubleType, &floating);
    return AttrValue::floating(floating);
}

AttrValue boxValue(AXValueRef box) {
    // AXValueGetValue answers false when the box holds another type; the
    // buffer is sized for the largest box type all the same, so a
    // disagreeing box can never write past it.
    CGRect scratch{};
    if (AXValueGetValue(box, kAXValueTypeCGPoint, &scratch)) {
        CGPoint point;
        std::memcpy(&point, &scratch, sizeof point);
        return AttrValue::pointBox(point.x, point.y);
    }
    scratch = CGRect{};
    if (AXValueGetValue(box, kAXValueTypeCGSize, &scratch)) {
        CGSize size;
        std::memcpy(&size, &scratch, sizeof size);
        return AttrValue::sizeBox(size.width, size.height);
    }
    return AttrValue::otherBox();
}

AttrValue translate(CFTypeRef value, int depth) {
    if (!value) return AttrValue::other();
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        return AttrValue::plainText(utf8FromCFString(static_cast<CFStringRef>(value)));
    }
    if (type == CFAttributedStringGetTypeID()) {
        const CFStringRef plain =
            CFAttributedStringGetString(static_cast<CFAttributedStringRef>(value));
        return AttrValue::attributedText(plain ? utf8FromCFString(plain) : std::string());
    }
    if (type == CFBooleanGetTypeID()) {
        return AttrValue::boolean(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0);
    }
    if (type == CFNumberGetTypeID()) {
        return numberValue(static_cast<CFNumberRef>(value));
    }
    if (type == CFArrayGetTypeID()) {
        if (depth >= kMaxArrayDepth) return AttrValue::other();
        const auto array = static_cast<CFArrayRef>(value);
        const CFIndex count = CFArrayGetCount(array);
        std::vector<AttrValue> items;
        items.reserve(count > 0 ? static_cast<size_t>(count) : 0);
        for (CFIndex i = 0; i < count; ++i) {
            items.push_back(translate(CFArrayGetValueAtIndex(array, i), depth + 1));
        }
        return AttrValue::array(std::move(items));
    }
    if (type == AXUIElementGetTypeID()) {
        return AttrValue::elementRef(
            elementFrom(CFHandle<AXUIElementRef>::retain(static_cast<AXUIElementRef>(value))));
    }
    if (type == AXValueGetTypeID()) {
        return boxValue(static_cast<AXValueRef>(value));
    }
    return AttrValue::other();
}

}  // namespace

Element elementFrom(CFHandle<AXUIElementRef> ref) {
    if (!ref) return {};
    return std::make_shared<const MacElement>(std::move(ref));
}

AXUIElementRef axRef(const Element& element) {
    const auto* mac = dynamic_cast<const MacElement*>(element.get());
    return mac ? mac->ref.get() : nullptr;
}

AttrValue attrValueFromCF(CFTypeRef value) {
    return translate(value, 0);
}

}  // namespace nuvra::macos
