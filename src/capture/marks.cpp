#include "capture/marks.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace nuvra {

namespace {

// Glyphs of 5 × 7 font pixels, one row a number, the leftmost pixel the
// highest of five bits: the letter e and the ten digits.
constexpr uint8_t kGlyphE[7] = {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E};
constexpr uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};
constexpr int64_t kGlyphWidth = 5;
constexpr int64_t kGlyphHeight = 7;
// One font pixel is this many points: digits 14 points tall read at 100 %
// zoom, where 7 did not, and still leave most of a 30-point button visible.
constexpr int64_t kFontPixelPoints = 2;
// Places along a row tried for a label before the next row, and rows tried
// below the frame's top edge.
constexpr int64_t kSlotsPerRow = 12;
constexpr int64_t kRowsDown = 8;

// Dark enough under white text, and told apart from their neighbours, so
// that adjacent elements' marks differ.
constexpr uint32_t kPalette[] = {0xC8201E, 0x1E50DC, 0x148C28, 0xAA1EAA,
                                 0xC85A00, 0x00828C, 0x6428C8, 0x7A4A10};
constexpr uint32_t kText = 0xFFFFFF;

int64_t toPixel(double v, int64_t limit) {
    // Clamped before the conversion: a frame far off the picture is no
    // integer overflow.
    return static_cast<int64_t>(std::clamp(std::round(v), -1.0, static_cast<double>(limit) + 1));
}

void fill(ScreenImage& image, PixelBox b, uint32_t colour) {
    b.x0 = std::max<int64_t>(b.x0, 0);
    b.y0 = std::max<int64_t>(b.y0, 0);
    b.x1 = std::min(b.x1, image.width);
    b.y1 = std::min(b.y1, image.height);
    for (int64_t y = b.y0; y < b.y1; ++y)
        std::fill_n(image.pixels.begin() + y * image.width + b.x0, std::max<int64_t>(b.x1 - b.x0, 0),
                    colour);
}

// The outline is drawn inside the frame, so that two elements that touch
// keep their own edges; an edge the picture does not show is not drawn.
void outline(ScreenImage& image, const PixelBox& f, int64_t t, uint32_t colour) {
    fill(image, {f.x0, f.y0, f.x1, std::min(f.y0 + t, f.y1)}, colour);
    fill(image, {f.x0, std::max(f.y1 - t, f.y0), f.x1, f.y1}, colour);
    fill(image, {f.x0, f.y0, std::min(f.x0 + t, f.x1), f.y1}, colour);
    fill(image, {std::max(f.x1 - t, f.x0), f.y0, f.x1, f.y1}, colour);
}

// Which pixels labels already cover.
struct Covered {
    int64_t width;
    std::vector<uint8_t> taken;

    bool free(const PixelBox& b) const {
        for (int64_t y = b.y0; y < b.y1; ++y) {
            auto row = taken.begin() + y * width;
            if (std::find(row + b.x0, row + b.x1, 1) != row + b.x1) return false;
        }
        return true;
    }
};

PixelBox placeLabel(const ScreenImage& image, const Covered& covered, const PixelBox& shown,
                    int64_t w, int64_t h) {
    auto inside = [&](const PixelBox& b) {
        return b.x0 >= 0 && b.y0 >= 0 && b.x1 <= image.width && b.y1 <= image.height;
    };
    // On the top edge, above it, then down the frame a label's height at a time.
    std::vector<int64_t> rows{shown.y0, shown.y0 - h};
    for (int64_t row = 1; row <= kRowsDown && (row == 1 || shown.y0 + (row + 1) * h <= shown.y1); ++row)
        rows.push_back(shown.y0 + row * h);
    for (int64_t top : rows) {
        for (int64_t slot = 0; slot < kSlotsPerRow; ++slot) {
            const int64_t x = shown.x0 + slot * (w + 1);
            if (slot > 0 && x >= shown.x1) break;
            PixelBox b{x, top, x + w, top + h};
            if (inside(b) && covered.free(b)) return b;
        }
    }
    // Nowhere free: the corner, kept within the picture, beneath the labels
    // already there.
    const int64_t x = std::clamp<int64_t>(shown.x0, 0, std::max<int64_t>(image.width - w, 0));
    const int64_t y = std::clamp<int64_t>(shown.y0, 0, std::max<int64_t>(image.height - h, 0));
    return {x, y, std::min(x + w, image.width), std::min(y + h, image.height)};
}

// The label "eN" as a picture of its own, `unit` pixels to a font pixel.
ScreenImage labelPicture(const std::string& digits, int64_t w, int64_t h, int64_t unit,
                         uint32_t colour) {
    ScreenImage label{w, h, std::vector<uint32_t>(static_cast<size_t>(w * h), colour)};
    int64_t x = unit;
    for (size_t i = 0; i <= digits.size(); ++i) {
        const uint8_t* rows = i == 0 ? kGlyphE : kDigits[digits[i - 1] - '0'];
        for (int64_t r = 0; r < kGlyphHeight; ++r)
            for (int64_t c = 0; c < kGlyphWidth; ++c)
                if (rows[r] & (0x10 >> c))
                    fill(label, {x + c * unit, (r + 1) * unit, x + (c + 1) * unit, (r + 2) * unit},
                         kText);
        x += (kGlyphWidth + 1) * unit;
    }
    return label;
}

// Copies the label into the picture where no earlier label is.
void paste(ScreenImage& image, const ScreenImage& label, const PixelBox& at, Covered& covered) {
    for (int64_t y = at.y0; y < at.y1; ++y)
        for (int64_t x = at.x0; x < at.x1; ++x) {
            const size_t i = static_cast<size_t>(y * image.width + x);
            if (covered.taken[i]) continue;
            covered.taken[i] = 1;
            image.pixels[i] = label.pixels[static_cast<size_t>((y - at.y0) * label.width + (x - at.x0))];
        }
}

}  // namespace

std::vector<Mark> drawMarks(ScreenImage& image, const PixelMap& map,
                            const std::vector<ObservedElement>& elements) {
    const double scale = std::min(map.xScale, map.yScale);
    const int64_t line = std::max<int64_t>(1, std::llround(scale));
    const int64_t unit = std::max<int64_t>(1, std::llround(scale * kFontPixelPoints));
    std::vector<Mark> marks;
    for (const ObservedElement& e : elements) {
        if (!e.frame || !(e.frame->width > 0 && e.frame->height > 0)) continue;
        Mark m;
        m.index = e.index;
        m.frame = {toPixel(map.pixelX(e.frame->x), image.width),
                   toPixel(map.pixelY(e.frame->y), image.height),
                   toPixel(map.pixelX(e.frame->x + e.frame->width), image.width),
                   toPixel(map.pixelY(e.frame->y + e.frame->height), image.height)};
        const PixelBox& f = m.frame;
        if (f.x1 <= 0 || f.y1 <= 0 || f.x0 >= image.width || f.y0 >= image.height ||
            f.x1 <= f.x0 || f.y1 <= f.y0)
            continue;
        m.colour = kPalette[static_cast<uint64_t>(e.index - 1) % std::size(kPalette)];
        outline(image, f, line, m.colour);
        marks.push_back(m);
    }
    // The smallest frames choose first: the controls an agent acts on keep
    // their own corners, and a container has room along its edges.
    std::vector<Mark*> order;
    for (Mark& m : marks) order.push_back(&m);
    auto area = [](const Mark* m) { return (m->frame.x1 - m->frame.x0) * (m->frame.y1 - m->frame.y0); };
    std::stable_sort(order.begin(), order.end(),
                     [&](const Mark* a, const Mark* b) { return area(a) < area(b); });
    Covered covered{image.width, std::vector<uint8_t>(image.pixels.size(), 0)};
    for (Mark* placing : order) {
        Mark& m = *placing;
        const std::string digits = std::to_string(m.index);
        const auto glyphs = static_cast<int64_t>(digits.size()) + 1;
        const int64_t w = (glyphs * (kGlyphWidth + 1) + 1) * unit;
        const int64_t h = (kGlyphHeight + 2) * unit;
        const PixelBox shown{std::max<int64_t>(m.frame.x0, 0), std::max<int64_t>(m.frame.y0, 0),
                             std::min(m.frame.x1, image.width), std::min(m.frame.y1, image.height)};
        m.label = placeLabel(image, covered, shown, w, h);
        paste(image, labelPicture(digits, w, h, unit, m.colour), m.label, covered);
    }
    return marks;
}

}  // namespace nuvra
