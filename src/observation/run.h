#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "observation/tree.h"
#include "outcome.h"
#include "platform/platform.h"

namespace nuvra {

struct ObservationRun {
    std::string appName;
    std::string windowTitle;
    std::vector<std::string> lines;
    std::vector<ObservedElement> elements;
    bool truncated = false;
    int64_t nodes = 0;
    std::string stateHash;  // 64 lowercase hex digits
};

// Chooses the application (by name, else the frontmost) and its window, walks
// it and hashes the result; NoMatchingApp, NoFrontmostApp or
// NoObservableWindow when there is nothing to observe, NotResponding or
// NoneAnswering when what there may be does not answer. Reads the
// application left unanswered during the walk leave elements out and make
// the run truncated.
Outcome<ObservationRun> runObserve(Platform& platform, int64_t maxNodes, int64_t maxDepth,
                          int64_t maxTextBytes, const std::optional<std::string>& appName);

// SHA-256 of the bytes of `text`, as 64 lowercase hexadecimal digits.
std::string sha256Hex(std::string_view text);

}  // namespace nuvra
