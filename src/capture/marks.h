// The element numbers of an observation drawn on the picture of its window:
// each element's frame outlined, and its number "eN" on a label at the
// frame's top edge, so that an agent can tell which element it sees.
#pragma once

#include <cstdint>
#include <vector>

#include "capture/region.h"
#include "observation/tree.h"
#include "platform/platform.h"

namespace nuvra {

// A rectangle of pixels: columns [x0, x1), rows [y0, y1).
struct PixelBox {
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

struct Mark {
    int64_t index = 0;
    PixelBox frame;  // the element's frame within the image
    PixelBox label;
    uint32_t colour = 0;
};

// Draws the mark of every element whose frame the image shows: frames in
// the order of `elements`, then labels, the smallest frame's first. A label
// starts within the frame's width, with its top on the frame's top edge, or
// its bottom there (just above the frame), or whole label heights below
// the edge: the first of these rows, and the first place from the left in
// it, that no label placed before covers; failing all, at the frame's
// top-left corner, beneath the labels there. The marks as drawn.
std::vector<Mark> drawMarks(ScreenImage& image, const PixelMap& map,
                            const std::vector<ObservedElement>& elements);

}  // namespace nuvra
