// How much of another application's text a line prints.
#pragma once

#include <cstdint>

namespace nuvra {

// Texts that come from another application are cut to this many characters
// wherever they are printed: labels, values, roles, titles, names in
// diagnostics.
constexpr int64_t kTextBound = 120;

}  // namespace nuvra
