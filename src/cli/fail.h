#pragma once

#include <cstdint>
#include <string_view>

namespace nuvra {

// The one way a run ends in failure: the message and a line feed go to
// standard error in a single unbuffered write, then the process exits with
// `code` (which flushes standard output).
[[noreturn]] void fail(std::string_view message, int32_t code);

}  // namespace nuvra
