// How hard a screenshot tries to find a name for its file.
#pragma once

namespace nuvra {

// Names tried for the new file before giving up: only another process
// writing the same picture at the same moment takes one.
constexpr int kNameAttempts = 16;

}  // namespace nuvra
