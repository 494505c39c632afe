#include "actions/actions.h"
#include "ax/readers.h"

#include <algorithm>
#include <unordered_set>

namespace nuvra {

namespace {

// The element itself plus four levels below it.
constexpr int64_t kPressSearchDepth = 4;

enum class Attempt { Pressed, Refused, Unanswered };

// Depth first, each element once. A press the application did not answer in
// time may well have happened (a handler that runs a modal dialog answers
// only when the dialog closes), so the search stops there: pressing a
// descendant as well could act twice.
Attempt pressRecursive(Platform& platform, const Element& element, int64_t remainingDepth,
                       std::unordered_set<uint64_t>& visited) {
    if (remainingDepth < 0) return Attempt::Refused;
    if (!visited.insert(platform.identityHash(element)).second) return Attempt::Refused;
    AXResult code = platform.performAction(element, "AXPress");
    if (code == kAXSuccess) return Attempt::Pressed;
    if (code == kAXCannotComplete) return Attempt::Unanswered;
    if (remainingDepth == 0) return Attempt::Refused;
    for (const Element& child : axChildren(platform, element)) {
        Attempt a = pressRecursive(platform, child, remainingDepth - 1, visited);
        if (a != Attempt::Refused) return a;
    }
    return Attempt::Refused;
}

}  // namespace

bool pressElement(Platform& platform, const Element& element, const Element& window) {
    // Only the element's own offer counts: a container whose descendant
    // happens to be pressable is not pressable itself.
    std::vector<std::string> actions = axActions(platform, element);
    if (std::find(actions.begin(), actions.end(), "AXPress") == actions.end()) return false;
    std::unordered_set<uint64_t> visited;
    Attempt a = pressRecursive(platform, element, kPressSearchDepth, visited);
    if (a != Attempt::Unanswered) return a == Attempt::Pressed;
    // An application busy in a nested event loop still answers reads; a hung
    // one does not. Any answer, even "no such element", means it is alive.
    std::optional<AttrValue> ignored;
    return platform.copyAttributeValue(window, "AXTitle", ignored) != kAXCannotComplete;
}

}  // namespace nuvra
