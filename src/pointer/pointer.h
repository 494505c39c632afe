#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace nuvra {

// Synthetic pointer input, posted at the HID tap with fixed pauses. Each ends
// the run with exit code 4 when the platform cannot create an event; what was
// already posted stays posted.

void click(Platform& platform, double x, double y, bool right, bool doubleClick);
void drag(Platform& platform, double x1, double y1, double x2, double y2, bool right);
void scroll(Platform& platform, int32_t dx, int32_t dy);
void moveCursor(Platform& platform, double x, double y);

}  // namespace nuvra
