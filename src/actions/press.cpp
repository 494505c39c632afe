#include "actions/actions.h"
#include "actions/limits.h"
#include "ax/readers.h"

#include <algorithm>
#include <unordered_set>

namespace nuvra {

namespace {

enum class Attempt { Pressed, Refused, Unanswered, OutOfBounds };

struct Search {
    Platform& platform;
    std::unordered_set<uint64_t> visited;
    int attemptsLeft = kPressAttempts;
    int64_t deadline = 0;
};

// Depth first, each element once. A press the application did not answer in
// time may well have happened (a handler that runs a modal dialog answers
// only when the dialog closes), so the search stops there: pressing a
// descendant as well could act twice.
Attempt pressRecursive(Search& search, const Element& element, int64_t remainingDepth) {
    Platform& platform = search.platform;
    if (remainingDepth < 0) return Attempt::Refused;
    if (!search.visited.insert(platform.identityHash(element)).second) return Attempt::Refused;
    if (search.attemptsLeft-- == 0 || platform.monotonicMicroseconds() >= search.deadline)
        return Attempt::OutOfBounds;
    // A disabled control is never pressed: toolkits answer its press yes
    // and do not run the handler (GTK does, for an insensitive button).
    // Below it the search goes on as after a refusal.
    if (axBool(platform, element, "AXEnabled") != false) {
        AXResult code = platform.performAction(element, "AXPress");
        if (code == kAXSuccess) return Attempt::Pressed;
        if (code == kAXCannotComplete) return Attempt::Unanswered;
    }
    if (remainingDepth == 0) return Attempt::Refused;
    // Children past the attempts left could never be pressed, and an
    // element that makes its children on demand must not make them all.
    ChildrenRead below = axChildrenWithin(platform, element, search.attemptsLeft);
    for (const Element& child : below.children) {
        Attempt a = pressRecursive(search, child, remainingDepth - 1);
        if (a != Attempt::Refused) return a;
    }
    // Children left unread for want of attempts were never tried.
    return below.partial ? Attempt::OutOfBounds : Attempt::Refused;
}

}  // namespace

MaybeFailure pressElement(Platform& platform, int64_t index, const ObserveLimits& limits,
                          std::string_view expectedSha,
                          const std::optional<std::string>& appName) {
    Outcome<GuardedElement> record =
        staleGuardedRecord(platform, index, limits, expectedSha, appName);
    if (!record.ok()) return record.failure();
    const Element& element = record.value().element;
    auto refused = [index](Refusal why) { return Failure{why, std::nullopt, index}; };
    // A disabled control is not pressed, nor are its parts in its place.
    if (axBool(platform, element, "AXEnabled") == false) return refused(Refusal::NoPressAction);
    // Only the element's own offer counts: a container whose descendant
    // happens to be pressable is not pressable itself.
    std::vector<std::string> actions = axActions(platform, element);
    if (std::find(actions.begin(), actions.end(), "AXPress") == actions.end())
        return refused(Refusal::NoPressAction);
    Search search{platform, {}, kPressAttempts,
                  platform.monotonicMicroseconds() + kPressSearchMicroseconds};
    switch (pressRecursive(search, element, kPressSearchDepth)) {
        case Attempt::Pressed: return std::nullopt;
        case Attempt::Refused: return refused(Refusal::PressRefused);
        case Attempt::OutOfBounds: return refused(Refusal::PressSearchBound);
        case Attempt::Unanswered: break;
    }
    // An application busy in a nested event loop still answers reads; a hung
    // one does not. Any answer, even "no such element", means it is alive.
    std::optional<AttrValue> ignored;
    if (platform.copyAttributeValue(record.value().window, "AXTitle", ignored) != kAXCannotComplete)
        return std::nullopt;
    return refused(Refusal::PressUnanswered);
}

}  // namespace nuvra
