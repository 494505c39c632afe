#include "platform/linux/x11/xtest_events.h"

#include <cmath>
#include <cstdlib>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace nuvra::x11 {

namespace {

constexpr unsigned kWheelUp = 4;
constexpr unsigned kWheelDown = 5;
constexpr unsigned kWheelLeft = 6;
constexpr unsigned kWheelRight = 7;

void fakeMotion(_XDisplay* display, int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
}

void fakeButton(_XDisplay* display, unsigned button, bool press) {
    XTestFakeButtonEvent(display, button, press ? True : False, CurrentTime);
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

void turnWheel(_XDisplay* display, unsigned positiveButton, unsigned negativeButton,
               int32_t notches) {
    unsigned button = notches > 0 ? positiveButton : negativeButton;
    for (int32_t i = 0; i < std::abs(notches); ++i) {
        fakeButton(display, button, true);
        fakeButton(display, button, false);
    }
}

}  // namespace

bool hasXTest(_XDisplay* display) {
    if (display == nullptr) return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
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

void postEvent(_XDisplay* display, const EventObject& event) {
    if (display == nullptr) return;
    if (const auto* mouse = dynamic_cast<const MouseEvent*>(&event)) {
        fakeMotion(display, pixelOf(mouse->x), pixelOf(mouse->y));
        switch (mouse->type) {
            case kLeftMouseDown:
            case kRightMouseDown:
                fakeButton(display, xButton(mouse->button), true);
                break;
            case kLeftMouseUp:
            case kRightMouseUp:
                fakeButton(display, xButton(mouse->button), false);
                break;
            default:
                break;
        }
    } else if (const auto* wheel = dynamic_cast<const WheelEvent*>(&event)) {
        turnWheel(display, kWheelUp, kWheelDown, wheelNotches(wheel->wheel1));
        turnWheel(display, kWheelLeft, kWheelRight, wheelNotches(wheel->wheel2));
    }
    // Processed by the server before the pause that follows.
    XSync(display, False);
}

}  // namespace nuvra::x11
