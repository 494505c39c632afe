#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nuvra {

// Strict argument parsers. Each either returns a value or ends the run with
// exit code 3 and a message that repeats the argument exactly as given.

// A finite, non-negative C-locale strtod number that uses the whole text.
double coord(std::string_view text);

// An optionally signed decimal integer in the signed 32-bit range.
int32_t delta(std::string_view text);

// An optionally signed decimal integer from 1 to INT64_MAX; `name` is the
// field the diagnostic names ("index", "maxNodes", ...).
int64_t positiveInt(std::string_view text, std::string_view name);

// The same rules without the failure exit: nothing when the text is refused.
std::optional<double> parseCoord(std::string_view text);
std::optional<int32_t> parseDelta(std::string_view text);
std::optional<int64_t> parsePositiveInt(std::string_view text);

}  // namespace nuvra
