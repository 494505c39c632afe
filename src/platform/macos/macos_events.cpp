// Core Graphics events: created without an event source, posted at the HID
// event tap, released by their last owner (CGEventRef is a CFType).
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "platform/macos/macos_backend.h"

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

void postEvent(const Event& event) {
    const auto* mac = dynamic_cast<const MacEvent*>(event.get());
    if (mac) CGEventPost(kCGHIDEventTap, mac->ref.get());
}

void sleepMicroseconds(uint32_t microseconds) {
    // POSIX lets usleep refuse a whole second or more; the pauses here are
    // far shorter, but a longer one is still slept in full.
    constexpr uint32_t kMaxChunk = 999'999;
    while (microseconds > kMaxChunk) {
        usleep(kMaxChunk);
        microseconds -= kMaxChunk;
    }
    usleep(microseconds);
}

}  // namespace nuvra::macos
