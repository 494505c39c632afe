// Where a capture lies on the screen, in points, and how its pixels map back
// to the points the pointer commands take.
#pragma once

#include <optional>
#include <vector>

#include "platform/platform.h"

namespace nuvra {

// The part of `wanted` that the displays show, grown to whole points (so that
// a display of two pixels per point maps it to whole pixels); none when no
// display shows any of it. A region across displays is their bounding box
// within `wanted`: what lies between them captures as black.
std::optional<ScreenRect> captureRegion(const ScreenRect& wanted,
                                        const std::vector<ScreenRect>& displays);

// A capture of `region` as an image of `width` × `height` pixels.
struct PixelMap {
    ScreenRect region;
    double xScale = 1;  // pixels per point, across
    double yScale = 1;  // and down

    PixelMap(const ScreenRect& r, int64_t width, int64_t height)
        : region(r),
          xScale(static_cast<double>(width) / r.width),
          yScale(static_cast<double>(height) / r.height) {}

    // The pixel edge nearest to a point; finite for any finite point.
    double pixelX(double x) const { return (x - region.x) * xScale; }
    double pixelY(double y) const { return (y - region.y) * yScale; }
};

}  // namespace nuvra
