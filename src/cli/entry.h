#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace nuvra {

// One run of the tool: the permission gate, the dispatch on `args` (the
// arguments without the program path) and the command. Returns 0 on success;
// every failure ends the process through fail().
int runMain(Platform& platform, const std::vector<std::string>& args);

}  // namespace nuvra
