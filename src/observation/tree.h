#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace nuvra {

// One recorded element of a walk. Holds its own counted reference.
struct ObservedElement {
    int64_t index = 0;  // the element number, from 1
    Element element;
    std::string hashLine;
    // The part of its frame that can be seen, whose centre the line prints;
    // not printed itself, not hashed.
    std::optional<ScreenRect> frame;
    // Its title (else description) and value as the element line shows
    // them: sanitised and cut; empty when it shows none.
    std::string shownLabel{};
    std::string shownValue{};
};

struct ObservedTree {
    std::vector<std::string> lines;
    std::vector<ObservedElement> elements;
    bool truncated = false;
    // Some read went unanswered, so elements were left out (`truncated` too).
    bool unanswered = false;
};

// Breadth-first walk below `root` under the three limits.
ObservedTree observeTree(Platform& platform, const Element& root, int64_t maxNodes,
                         int64_t maxDepth, int64_t maxTextBytes);

}  // namespace nuvra
