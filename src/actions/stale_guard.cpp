#include "actions/actions.h"
#include "observation/run.h"

namespace nuvra {

Outcome<GuardedElement> staleGuardedRecord(Platform& platform, int64_t index,
                                           const ObserveLimits& limits,
                                           std::string_view expectedSha,
                                           const std::optional<std::string>& appName) {
    Outcome<ObservationRun> run =
        runObserve(platform, limits.maxNodes, limits.maxDepth, limits.maxTextBytes, appName);
    if (!run.ok()) return run.failure();
    // Exact text equality: a hash in other letter case or with a trailing
    // line end is not the hash this tool printed.
    if (run.value().stateHash != expectedSha) {
        // A tree with reads left unanswered differs from any whole one: that
        // says the application did not answer, not that its window changed.
        if (run.value().unanswered)
            return Failure{Refusal::NotResponding, run.value().appName, 0};
        return Failure{Refusal::Stale, std::nullopt, 0};
    }
    const std::vector<ObservedElement>& elements = run.value().elements;
    // Elements are numbered 1 to `nodes` without a gap, and a walk records
    // at least the window: a number past the last is the agent's mistake,
    // whatever the window does.
    for (const auto& record : elements)
        if (record.index == index)
            return GuardedElement{record.element, elements[0].element, run.value().pid};
    Failure past{Refusal::PastLastElement, std::nullopt, index};
    past.last = run.value().nodes;
    return past;
}

}  // namespace nuvra
