// Pictures as PNG, through libpng.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace nuvra {

// The image as an 8-bit RGB PNG, compressed for speed; none when libpng
// fails (it can only run out of memory).
std::optional<std::string> encodePng(const ScreenImage& image);

// The pixels of a PNG of any kind (alpha composed over black); none when
// `png` is not one, or is larger than `maxPixels`.
std::optional<ScreenImage> decodePng(std::string_view png, int64_t maxPixels);

// The image shrunk to `width` × `height` pixels (no larger than it), each
// pixel the mean of the pixels it covers.
ScreenImage shrink(const ScreenImage& image, int64_t width, int64_t height);

}  // namespace nuvra
