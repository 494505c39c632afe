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
    int32_t pid = 0;  // the observed application's process
    std::string appName;
    std::string windowTitle;
    std::vector<std::string> lines;
    std::vector<ObservedElement> elements;
    bool truncated = false;
    // The application left reads unanswered: elements are missing
    // (`truncated` too), and the tree is not what it holds.
    bool unanswered = false;
    int64_t nodes = 0;
    std::string stateHash;  // 64 lowercase hex digits
};

// The application an observation reads and its window.
struct ObserveTarget {
    RunningApplication app;
    Element window;
};

// Chooses the application (by name, else the frontmost) and its window;
// NoMatchingApp (NotOnAccessibilityBus for a name only windows outside the
// bus answer to), NoFrontmostApp or NoObservableWindow when there is nothing
// to observe, NotResponding, NoneAnswering or ListUnanswered when what
// there may be does not answer.
Outcome<ObserveTarget> chooseTarget(Platform& platform, const std::optional<std::string>& appName);

// Walks the target's window and hashes the result. Reads the application
// left unanswered leave elements out and make the run truncated and
// `unanswered`.
ObservationRun observeTarget(Platform& platform, const ObserveTarget& target, int64_t maxNodes,
                             int64_t maxDepth, int64_t maxTextBytes);

// chooseTarget, then observeTarget; NotResponding when not even the window
// itself could be read.
Outcome<ObservationRun> runObserve(Platform& platform, int64_t maxNodes, int64_t maxDepth,
                          int64_t maxTextBytes, const std::optional<std::string>& appName);

// SHA-256 of the bytes of `text`, as 64 lowercase hexadecimal digits.
std::string sha256Hex(std::string_view text);

}  // namespace nuvra
