#include "actions/actions.h"
#include "ax/readers.h"

#include <algorithm>
#include <unordered_set>

namespace nuvra {

namespace {

// The element itself plus four levels below it.
constexpr int64_t kPressSearchDepth = 4;

bool pressRecursive(Platform& platform, const Element& element, int64_t remainingDepth,
                    std::unordered_set<uint64_t>& visited) {
    if (remainingDepth < 0) return false;
    if (!visited.insert(platform.identityHash(element)).second) return false;
    if (platform.performAction(element, "AXPress") == kAXSuccess) return true;
    if (remainingDepth == 0) return false;
    for (const Element& child : axChildren(platform, element))
        if (pressRecursive(platform, child, remainingDepth - 1, visited)) return true;
    return false;
}

}  // namespace

bool pressElement(Platform& platform, const Element& element) {
    // Only the element's own offer counts: a container whose descendant
    // happens to be pressable is not pressable itself.
    std::vector<std::string> actions = axActions(platform, element);
    if (std::find(actions.begin(), actions.end(), "AXPress") == actions.end()) return false;
    std::unordered_set<uint64_t> visited;
    return pressRecursive(platform, element, kPressSearchDepth, visited);
}

}  // namespace nuvra
