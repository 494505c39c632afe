// The text rules of observation as appends onto a line under construction,
// so a walk over many elements builds each line without intermediate texts.
// The public functions in text.h are these applied to an empty text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvra::textAppend {

void sanitized(std::string& out, std::string_view text, int64_t max);
void jsonString(std::string& out, std::string_view text);
void lineSafe(std::string& out, std::string_view text, int64_t max);

}  // namespace nuvra::textAppend
