#pragma once

#include <string_view>

namespace nuvra {

// Appends one result line and a line feed to the buffered standard output.
void printLine(std::string_view line);

}  // namespace nuvra
