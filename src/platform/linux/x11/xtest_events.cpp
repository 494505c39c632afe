#include "platform/linux/x11/xtest_events.h"

#include <cmath>
#include <cstdlib>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "platform/linux/x11/display.h"

namespace nuvra::x11 {

namespace {

constexpr unsigned kWheelUp = 4;
constexpr unsigned kWheelDown = 5;
constexpr unsigned kWheelLeft = 6;
constexpr unsigned kWheelRight = 7;

void fakeMotion(Connection& c, int x, int y) {
    // No root window: the screen the pointer is on.
    xcb_test_fake_input(c.xcb, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, XCB_NONE,
                        static_cast<int16_t>(x), static_cast<int16_t>(y), 0);
}

void fakeButton(Connection& c, unsigned button, bool press) {
    const auto detail = static_cast<uint8_t>(button);
    xcb_test_fake_input(c.xcb, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, detail,
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    if (press)
        c.heldButtons.insert(detail);
    else
        c.heldButtons.erase(detail);
}

// Core Graphics numbers buttons from 0 (left, right, middle); X from 1
// (left, middle, right).
unsigned xButton(int32_t button) {
    switch (button) {
        case kLeftButton: return 1;
        case kRightButton: return 3;
        case 2: return 2;
        // Further buttons (back, forward) sit above X's four wheel buttons.
        default: return button > 2 && button < 24 ? static_cast<unsigned>(button) + 5 : 1;
    }
}

// `notches` in the wheel's own sign: towards `positiveButton` when above 0.
void turnWheel(Connection& c, unsigned positiveButton, unsigned negativeButton,
               int32_t notches) {
    unsigned button = notches > 0 ? positiveButton : negativeButton;
    for (int32_t i = 0; i < std::abs(notches); ++i) {
        fakeButton(c, button, true);
        fakeButton(c, button, false);
    }
}

}  // namespace

bool hasXTest(Connection* c) {
    return c != nullptr && hasExtension(*c, &xcb_test_id);
}

int32_t wheelNotches(int32_t pixels) {
    int64_t magnitude = std::llabs(static_cast<int64_t>(pixels));
    int64_t notches = (magnitude + kPixelsPerNotch - 1) / kPixelsPerNotch;
    if (notches > kMaxNotches) notches = kMaxNotches;
    return static_cast<int32_t>(pixels < 0 ? -notches : notches);
}

int pixelOf(double coordinate) {
    if (!std::isfinite(coordinate)) return 0;
    double pixel = std::floor(coordinate);
    if (pixel < -32768) return -32768;
    if (pixel > 32767) return 32767;
    return static_cast<int>(pixel);
}

bool postEvent(Connection* c, const EventObject& event) {
    if (c == nullptr) return false;
    if (const auto* mouse = dynamic_cast<const MouseEvent*>(&event)) {
        fakeMotion(*c, pixelOf(mouse->x), pixelOf(mouse->y));
        switch (mouse->type) {
            case kLeftMouseDown:
            case kRightMouseDown:
                fakeButton(*c, xButton(mouse->button), true);
                break;
            case kLeftMouseUp:
            case kRightMouseUp:
                fakeButton(*c, xButton(mouse->button), false);
                break;
            default:
                break;
        }
    } else if (const auto* wheel = dynamic_cast<const WheelEvent*>(&event)) {
        // The wheels carry Core Graphics' signs: up and left are positive,
        // as X's buttons 4 and 6 are for the same directions.
        turnWheel(*c, kWheelUp, kWheelDown, wheelNotches(wheel->wheel1));
        turnWheel(*c, kWheelLeft, kWheelRight, wheelNotches(wheel->wheel2));
    }
    // Processed by the server before the pause that follows.
    return sync(*c);
}

}  // namespace nuvra::x11
