// How many of an application's windows targeting looks at.
#pragma once

#include <cstdint>

namespace nuvra {

// The first of the application's windows that is modal and showing; no
// real application has more windows than the bound, and a hostile one's
// thousands are not asked.
constexpr int64_t kModalSearch = 64;

}  // namespace nuvra
