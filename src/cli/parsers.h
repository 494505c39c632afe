#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nuvra {

// Strict argument parsers: a value, or nothing when the text is refused.

// A finite, non-negative C-locale strtod number that uses the whole text.
std::optional<double> parseCoord(std::string_view text);

// A duration in seconds, the same kind of number above 0 and at most `most`.
std::optional<double> parseSeconds(std::string_view text, double most);

// An optionally signed decimal integer in the signed 32-bit range.
std::optional<int32_t> parseDelta(std::string_view text);

// An optionally signed decimal integer from 1 to INT64_MAX.
std::optional<int64_t> parsePositiveInt(std::string_view text);

}  // namespace nuvra
