#include "capture/region.h"

#include <algorithm>
#include <cmath>

namespace nuvra {

std::optional<ScreenRect> captureRegion(const ScreenRect& wanted,
                                        const std::vector<ScreenRect>& displays) {
    // Every edge is clipped to a display before it is rounded, so that a
    // region of any size (1e300 points) stays within real coordinates.
    bool found = false;
    double left = 0, top = 0, right = 0, bottom = 0;
    for (const ScreenRect& d : displays) {
        const double l = std::max(wanted.x, d.x), t = std::max(wanted.y, d.y);
        const double r = std::min(wanted.x + wanted.width, d.x + d.width);
        const double b = std::min(wanted.y + wanted.height, d.y + d.height);
        if (!(r > l && b > t)) continue;  // NaN edges fail here too
        left = found ? std::min(left, l) : l;
        top = found ? std::min(top, t) : t;
        right = found ? std::max(right, r) : r;
        bottom = found ? std::max(bottom, b) : b;
        found = true;
    }
    if (!found) return std::nullopt;
    left = std::floor(left);
    top = std::floor(top);
    return ScreenRect{left, top, std::ceil(right) - left, std::ceil(bottom) - top};
}

}  // namespace nuvra
