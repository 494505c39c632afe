#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvra {

// Collapses every White_Space run to one space, trims, and keeps at most
// `max` extended grapheme clusters, marking a cut with "…".
std::string observeSanitize(std::string_view text, int64_t max = 120);

// The text as a JSON string literal, quotation marks included; the solidus
// is escaped and non-ASCII is never escaped.
std::string observeJsonString(std::string_view text);

// Ill-formed UTF-8 decoded with U+FFFD in place of each bad sequence.
std::string validUtf8(std::string_view text);

// For a text printed unquoted on an output line: every control character
// (C0, DEL, C1) and U+2028/U+2029 becomes one space, so the observed
// application can never start a line of its own.
std::string lineSafe(std::string_view text);

}  // namespace nuvra
