#include "actions/actions.h"
#include "observation/run.h"

namespace nuvra {

Outcome<ObservedElement> staleGuardedRecord(Platform& platform, int64_t index,
                                            const ObserveLimits& limits,
                                            std::string_view expectedSha,
                                            const std::optional<std::string>& appName) {
    Outcome<ObservationRun> run =
        runObserve(platform, limits.maxNodes, limits.maxDepth, limits.maxTextBytes, appName);
    if (!run.ok()) return run.failure();
    // Exact text equality: a hash in other letter case or with a trailing
    // line end is not the hash this tool printed.
    if (run.value().stateHash != expectedSha) return Failure{Refusal::Stale, std::nullopt, 0};
    for (auto& record : run.value().elements)
        if (record.index == index) return std::move(record);
    return Failure{Refusal::NotInTree, std::nullopt, index};
}

}  // namespace nuvra
