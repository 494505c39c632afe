#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/limits.h"

namespace nuvra {

// Collapses every White_Space run to one space, trims, and keeps at most
// `max` characters, marking a cut with "…". A character is an extended
// grapheme cluster of at most 31 code points; a longer cluster counts as one
// character for every 31, so a kept character takes at most 124 bytes.
std::string observeSanitize(std::string_view text, int64_t max = kTextBound);

// The text as a JSON string literal, quotation marks included; the solidus,
// the C0 and C1 controls and the line and paragraph separators are escaped,
// other non-ASCII never.
std::string observeJsonString(std::string_view text);

// The byte length of the longest run of whole characters (as
// observeSanitize counts them) at the start of the well-formed `text` that
// takes at most `maxBytes` bytes.
size_t characterPrefixWithin(std::string_view text, int64_t maxBytes);

// The text, ill-formed UTF-8 repaired, with at most `max` characters (as
// observeSanitize counts them) and a cut marked with "…"; nothing else
// changed, white space and controls included.
std::string cutToCharacters(std::string_view text, int64_t max);

// Ill-formed UTF-8 decoded with U+FFFD in place of each bad sequence.
std::string validUtf8(std::string_view text);

// For a text printed unquoted on an output line: every control character
// (C0, DEL, C1) and U+2028/U+2029 becomes one space, so the observed
// application can never start a line of its own.
std::string lineSafe(std::string_view text);
// The same, keeping at most `max` characters (as observeSanitize counts
// them) and marking a cut with "…": for a text not sanitised before.
std::string lineSafe(std::string_view text, int64_t max);

}  // namespace nuvra
