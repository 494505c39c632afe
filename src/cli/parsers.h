#pragma once

#include <cstdint>
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

}  // namespace nuvra
