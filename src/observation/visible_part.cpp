#include "observation/visible_part.h"

#include <algorithm>
#include <array>

namespace nuvra {

namespace {

// Roles whose frame is the part of their content that can be seen. A web
// document's frame is its viewport, not the page; Linux names the kinds of
// document apart.
constexpr std::array<std::string_view, 10> kClipping{
    "AXWindow",         "AXScrollArea",        "AXViewport",
    "AXWebArea",        "AXDocumentWeb",       "AXDocumentFrame",
    "AXDocumentText",   "AXDocumentSpreadsheet", "AXDocumentPresentation",
    "AXDocumentEmail"};

bool clips(std::string_view role) {
    return std::find(kClipping.begin(), kClipping.end(), role) != kClipping.end();
}

bool hasArea(const ScreenRect& r) { return r.width > 0 && r.height > 0; }

// The overlap of two rectangles; of no area when they do not overlap.
ScreenRect overlap(const ScreenRect& a, const ScreenRect& b) {
    const double left = std::max(a.x, b.x);
    const double top = std::max(a.y, b.y);
    const double right = std::min(a.x + a.width, b.x + b.width);
    const double bottom = std::min(a.y + a.height, b.y + b.height);
    return ScreenRect{left, top, std::max(0.0, right - left), std::max(0.0, bottom - top)};
}

}  // namespace

Clip clipOf(std::string_view role, const Clip& inherited) {
    return role == "AXMenu" ? Clip{} : inherited;
}

Clip clipBelow(std::string_view role, const std::optional<ScreenRect>& frame, const Clip& clip) {
    if (role == "AXPopUpButton" || role == "AXComboBox") return Clip{};
    if (!clips(role) || !frame) return clip;
    return Clip{clip.bounds ? overlap(*clip.bounds, *frame) : *frame};
}

std::optional<ScreenRect> visiblePart(const ScreenRect& frame, const Clip& clip,
                                      const std::vector<ScreenRect>& displays) {
    const ScreenRect seen = clip.bounds ? overlap(frame, *clip.bounds) : frame;
    if (!hasArea(seen)) return std::nullopt;
    if (displays.empty()) return seen;
    std::optional<ScreenRect> best;
    for (const ScreenRect& display : displays) {
        ScreenRect part = overlap(seen, display);
        if (hasArea(part) && (!best || part.width * part.height > best->width * best->height))
            best = part;
    }
    return best;
}

}  // namespace nuvra
