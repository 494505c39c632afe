#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace nuvra {

// The platform this executable was built for. Cheap: connections to the
// desktop are made on first use.
std::unique_ptr<Platform> makeNativePlatform();

// A variable of the desktop session that this process's environment lacks,
// and the value a session most likely gives it (a guess, for the user to
// check against the session's own).
struct SessionVariable {
    std::string name;
    std::string likely;
};

// The session's variables the native backend reaches the desktop through
// and was not given, in a fixed order; none on macOS, which needs none.
std::vector<SessionVariable> missingSessionVariables();

}  // namespace nuvra
