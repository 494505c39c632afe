// Core Graphics events: created without an event source, posted at the HID
// event tap, released by their last owner (CGEventRef is a CFType); and the
// displays they can reach.
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "input/held.h"
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

std::vector<ScreenFrame> screenFrames() {
    // Asked twice: how many, then which; a display that went away between
    // the two is simply not listed.
    uint32_t count = 0;
    if (CGGetActiveDisplayList(0, nullptr, &count) != kCGErrorSuccess || count == 0) return {};
    std::vector<CGDirectDisplayID> displays(count);
    if (CGGetActiveDisplayList(count, displays.data(), &count) != kCGErrorSuccess) return {};
    std::vector<ScreenFrame> frames;
    for (uint32_t i = 0; i < count && i < displays.size(); ++i) {
        CGRect r = CGDisplayBounds(displays[i]);
        frames.push_back(ScreenFrame{r.origin.x, r.origin.y, r.size.width, r.size.height});
    }
    return frames;
}

void sleepMicroseconds(uint32_t microseconds) { sleepUnlessStopped(microseconds); }

}  // namespace nuvra::macos
