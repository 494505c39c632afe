#include "input/pointer.h"

#include <limits>

#include "input/limits.h"

namespace nuvra {

namespace {

struct ButtonChoice {
    int32_t down, up, dragged, button;
};

ButtonChoice buttonChoice(bool right) {
    if (right) return {kRightMouseDown, kRightMouseUp, kRightMouseDragged, kRightButton};
    return {kLeftMouseDown, kLeftMouseUp, kLeftMouseDragged, kLeftButton};
}

// A created event, or null after which the caller stops posting.
Event mouseEvent(Platform& platform, int32_t type, double x, double y, int32_t button) {
    return platform.createMouseEvent(type, ScreenPoint{x, y}, button);
}

// One coordinate of a drag step: the difference, the product and the sum are
// each rounded on their own (separate statements keep the compiler from
// fusing them), so every platform computes the same points.
double stepCoordinate(double from, double to, double t) {
    double span = to - from;
    double offset = span * t;
    return offset + from;
}

}  // namespace

Failure noEvent(Platform& platform, Refusal unexplained, std::optional<std::string> kind) {
    switch (platform.eventGap()) {
    case Platform::EventGap::Unknown: break;
    case Platform::EventGap::NoDisplayNamed: return {Refusal::NoDisplayNamed, kind, 0};
    case Platform::EventGap::DisplayUnreachable: return {Refusal::DisplayUnreachable, kind, 0};
    case Platform::EventGap::NoXTest: return {Refusal::NoXTest, kind, 0};
    case Platform::EventGap::DisplayGone: return {Refusal::DisplayGone, kind, 0};
    }
    return {unexplained, std::nullopt, 0};
}

OffScreen offScreen(const std::vector<ScreenRect>& screens, double x, double y) {
    if (screens.empty()) return OffScreen::None;
    bool across = false;
    for (const ScreenRect& s : screens) {
        const bool inX = x >= s.x && x < s.x + s.width;
        if (inX && y >= s.y && y < s.y + s.height) return OffScreen::None;
        across = across || inX;
    }
    return across ? OffScreen::Y : OffScreen::X;
}

MaybeFailure click(Platform& platform, double x, double y, bool right, bool doubleClick) {
    ButtonChoice b = buttonChoice(right);
    // Both events exist before anything is posted, so a failed creation posts
    // nothing; the double click reuses the same two objects.
    Event press = mouseEvent(platform, b.down, x, y, b.button);
    if (!press) return noEvent(platform);
    Event release = mouseEvent(platform, b.up, x, y, b.button);
    if (!release) return noEvent(platform);
    for (int i = 0, n = doubleClick ? 2 : 1; i < n; ++i) {
        if (i > 0) platform.sleepMicroseconds(kBetweenClicksUs);
        if (!platform.postEvent(press)) {
            // A press the X server did not confirm in time may still take
            // effect: its release follows all the same.
            Failure failed = noEvent(platform);
            platform.postEvent(release);
            return failed;
        }
        platform.sleepMicroseconds(kPressHoldUs);
        if (!platform.postEvent(release)) return noEvent(platform);
    }
    if (doubleClick) platform.sleepMicroseconds(kBetweenClicksUs);
    return std::nullopt;
}

MaybeFailure drag(Platform& platform, double x1, double y1, double x2, double y2, bool right) {
    ButtonChoice b = buttonChoice(right);
    Event press = mouseEvent(platform, b.down, x1, y1, b.button);
    if (!press) return noEvent(platform);
    // Once the press is sent the button may be down, even when its post
    // failed, and a button left down stays down for every client of the
    // desktop: every way out lets go. A drag cut short lets go where the
    // pointer is, so what it carries is not dropped where the agent aimed.
    ScreenPoint at{x1, y1};
    auto letGo = [&](Failure failed) -> MaybeFailure {
        Event up = mouseEvent(platform, b.up, at.x, at.y, b.button);
        if (up) platform.postEvent(up);
        return failed;
    };
    if (!platform.postEvent(press)) return letGo(noEvent(platform));
    platform.sleepMicroseconds(kPressHoldUs);
    for (int i = 1; i <= kDragSteps; ++i) {
        double t = static_cast<double>(i) / kDragSteps;
        ScreenPoint next{stepCoordinate(x1, x2, t), stepCoordinate(y1, y2, t)};
        Event step = mouseEvent(platform, b.dragged, next.x, next.y, b.button);
        if (!step || !platform.postEvent(step)) return letGo(noEvent(platform));
        at = next;
        platform.sleepMicroseconds(kDragStepUs);
    }
    platform.sleepMicroseconds(kBeforeDragReleaseUs);
    // The release carries the end point exactly, whatever the last step's
    // rounding gave.
    Event release = mouseEvent(platform, b.up, x2, y2, b.button);
    if (!release || !platform.postEvent(release)) return letGo(noEvent(platform));
    return std::nullopt;
}

MaybeFailure scroll(Platform& platform, int32_t dx, int32_t dy) {
    // A positive dx scrolls right, and the platform's wheel 2 counts to the
    // left: this is the one place that turns one into the other.
    // -2147483648 has no 32-bit negation; it saturates to the largest
    // scroll to the left.
    int32_t towardsLeft = dx == std::numeric_limits<int32_t>::min()
                              ? std::numeric_limits<int32_t>::max()
                              : -dx;
    Event e = platform.createScrollWheelEvent(dy, towardsLeft, 0);
    if (!e || !platform.postEvent(e))
        return noEvent(platform, Refusal::ScrollEventNotCreated);
    return std::nullopt;
}

MaybeFailure moveCursor(Platform& platform, double x, double y) {
    Event move = mouseEvent(platform, kMouseMoved, x, y, kLeftButton);
    if (!move || !platform.postEvent(move)) return noEvent(platform);
    platform.sleepMicroseconds(kAfterMoveUs);
    return std::nullopt;
}

}  // namespace nuvra
