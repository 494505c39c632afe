// How deep an element line is indented.
#pragma once

#include <cstdint>

namespace nuvra {

// Deeper elements are indented as this deep, so a deep tree's lines stay short.
constexpr int64_t kIndentCap = 20;

}  // namespace nuvra
