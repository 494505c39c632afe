// Core Graphics events: created without an event source, posted at the HID
// event tap, released by their last owner (CGEventRef is a CFType).
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>

#include "platform/macos/macos_backend.h"
#include "text/utf8.h"

namespace nuvra::macos {

namespace {

class MacEvent final : public EventObject {
public:
    explicit MacEvent(CFHandle<CGEventRef> ref) : ref(std::move(ref)) {}
    const CFHandle<CGEventRef> ref;
};

Event eventFrom(CGEventRef created) {
    CFHandle<CGEventRef> ref = CFHandle<CGEventRef>::adopt(created);
    if (!ref) return {};
    return std::make_shared<const MacEvent>(std::move(ref));
}

}  // namespace

Event createMouseEvent(int32_t type, ScreenPoint at, int32_t button) {
    return eventFrom(CGEventCreateMouseEvent(nullptr, static_cast<CGEventType>(type),
                                             CGPointMake(at.x, at.y),
                                             static_cast<CGMouseButton>(button)));
}

// Wheel 1 is vertical, wheel 2 horizontal; two wheels in pixel units.
Event createScrollWheelEvent(int32_t wheel1, int32_t wheel2, int32_t wheel3) {
    return eventFrom(CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitPixel, 2, wheel1,
                                                    wheel2, wheel3));
}

// The flags replace whatever modifiers the event would take from the
// keyboard's state, so a key held by the user does not join a chord; the
// Unicode string wins over the key's own character in the current layout.
Event createKeyboardEvent(uint16_t virtualKey, bool keyDown, uint64_t flags,
                          std::string_view character) {
    constexpr uint16_t kLastKey = 0x7F;
    if (virtualKey > kLastKey) return {};
    Event event = eventFrom(CGEventCreateKeyboardEvent(nullptr, virtualKey, keyDown));
    const auto* mac = dynamic_cast<const MacEvent*>(event.get());
    if (!mac) return {};
    CGEventSetFlags(mac->ref.get(), static_cast<CGEventFlags>(flags));
    if (!character.empty()) {
        const std::u16string units = utf8::utf16FromUtf8(character);
        CGEventKeyboardSetUnicodeString(mac->ref.get(), static_cast<UniCharCount>(units.size()),
                                        reinterpret_cast<const UniChar*>(units.data()));
    }
    return event;
}

void postEvent(const Event& event) {
    const auto* mac = dynamic_cast<const MacEvent*>(event.get());
    if (mac) CGEventPost(kCGHIDEventTap, mac->ref.get());
}

void sleepMicroseconds(uint32_t microseconds) {
    // usleep returns early when a signal arrives; sleep_for resumes until the
    // whole pause has passed.
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

// Core Graphics' global display coordinates are those of the accessibility
// API: origin at the main display's top left, y downwards.
std::vector<ScreenRect> displayBounds() {
    CGDirectDisplayID ids[kMaxDisplays];
    uint32_t count = 0;
    if (CGGetActiveDisplayList(kMaxDisplays, ids, &count) != 0) return {};
    std::vector<ScreenRect> frames;
    for (uint32_t i = 0; i < count && i < kMaxDisplays; ++i) {
        const CGRect r = CGDisplayBounds(ids[i]);
        frames.push_back(ScreenRect{r.origin.x, r.origin.y, r.size.width, r.size.height});
    }
    return frames;
}

}  // namespace nuvra::macos
