// Pointer input as XTest requests. An event object only records what to
// send; posting sends it and waits until the X server has processed it, so
// the core's fixed pauses separate events as the application sees them.
#pragma once

#include <cstdint>

#include "platform/linux/limits.h"
#include "platform/platform.h"

namespace nuvra::x11 {

struct Connection;

// A mouse event in the core's numbering (type 1-7, button 0 left, 1 right,
// 2 middle). Press and release first move the pointer to the point, drag
// steps and moves only move it.
struct MouseEvent : EventObject {
    int32_t type = 0;
    double x = 0;
    double y = 0;
    int32_t button = 0;
};

// Wheel values in pixels with the platform's signs: wheel1 vertical
// (positive up), wheel2 horizontal (positive left).
struct WheelEvent : EventObject {
    int32_t wheel1 = 0;
    int32_t wheel2 = 0;
};

// Wheel notches are X buttons 4-7, and an X wheel has no pixel unit: one
// notch stands for this many pixels of delta.
constexpr int32_t kPixelsPerNotch = 50;

// Notches for a wheel value: rounded up, so every non-zero delta moves at
// least one notch; the sign is the value's.
int32_t wheelNotches(int32_t pixels);

// The screen pixel containing a coordinate (floor), clamped to X's 16-bit
// coordinate range.
int pixelOf(double coordinate);

// Whether the server offers XTest; false without a display.
bool hasXTest(Connection* c);

// Sends one event and waits until the server has processed it; false when
// it did not answer in time. Unknown objects are ignored.
bool postEvent(Connection* c, const EventObject& event);

}  // namespace nuvra::x11
