// Whole-run tests: the entry runs in a forked child against a fake desktop,
// because fail() ends the process. The child's standard output, standard
// error, exit status and the fake's call log come back to the test.
#pragma once

#include <string>
#include <vector>

#include "platform/fake/fake_desktop.h"

namespace nuvra::testing {

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;                // exit status, or -1 when killed by a signal
    std::vector<std::string> log;   // the fake's call log at the child's exit
};

RunResult runInChild(FakeDesktop& desktop, const std::vector<std::string>& args);

}  // namespace nuvra::testing
