// Where an element can be seen, and so clicked: its frame, clipped by the
// containers that show only part of what they hold (windows, scroll areas,
// web and text documents, viewports) and by the display that shows the most
// of it. An application answers every element's whole frame, also the part
// scrolled under a browser's toolbars or below the screen's edge; the
// walk carries each element's clip down to its children as it goes.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace nuvra {

// What an element is seen through: unbounded, or a rectangle (possibly
// empty, when a clipping container has no area).
struct Clip {
    std::optional<ScreenRect> bounds;
};

// The clip an element of `role` is seen through, from the one its parent
// handed down. A menu opens in a surface of its own, over whatever window
// holds the item that opened it, so nothing of that window clips it.
Clip clipOf(std::string_view role, const Clip& inherited);

// The clip an element of `role` with this frame hands to its children. The
// children of a pop-up button or combo box are its pop-up list, which opens
// outside it as a menu does.
Clip clipBelow(std::string_view role, const std::optional<ScreenRect>& frame, const Clip& clip);

// The part of `frame` that can be seen through `clip` on the display that
// shows the most of it (on any display when there are none); nothing when
// no area is left.
std::optional<ScreenRect> visiblePart(const ScreenRect& frame, const Clip& clip,
                                      const std::vector<ScreenRect>& displays);

}  // namespace nuvra
