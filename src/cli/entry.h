#pragma once

#include <string>
#include <vector>

#include "cli/protocol.h"
#include "platform/platform.h"

namespace nuvra {

// One run of the tool: the permission gate, the dispatch on `args` (the
// arguments without the program path) and the command. Fills `output` and
// returns the exit status; it never ends the process itself.
int runMain(Platform& platform, const std::vector<std::string>& args, RunOutput& output);

// Whether these arguments name a command that posts input events (the click
// form, drag, scroll): one that may hold a button down between two events.
bool postsInput(const std::vector<std::string>& args);

}  // namespace nuvra
