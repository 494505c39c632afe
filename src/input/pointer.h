#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outcome.h"
#include "platform/platform.h"

namespace nuvra {

// Synthetic pointer input, posted at the HID tap with fixed pauses. Each stops
// at the first event the platform cannot create or post (EventNotCreated or
// ScrollEventNotCreated, or the reason the platform gives); what was already
// posted stays posted, except a button: click and drag send the release of
// one they pressed on every way out.

// Which coordinate puts a point off every screen: x when no screen spans it
// across, else y. None on a screen, and none when the platform cannot tell
// (no display: then posting fails on its own).
enum class OffScreen { None, X, Y };
OffScreen offScreen(const std::vector<ScreenRect>& screens, double x, double y);

// Why no event went out, as far as the platform can tell (`kind` names
// the event in the diagnostic when it is not a pointer one); without a
// reason, `unexplained`.
Failure noEvent(Platform& platform, Refusal unexplained = Refusal::EventNotCreated,
                std::optional<std::string> kind = std::nullopt);

MaybeFailure click(Platform& platform, double x, double y, bool right, bool doubleClick);
MaybeFailure drag(Platform& platform, double x1, double y1, double x2, double y2, bool right);
MaybeFailure scroll(Platform& platform, int32_t dx, int32_t dy);
MaybeFailure moveCursor(Platform& platform, double x, double y);

}  // namespace nuvra
