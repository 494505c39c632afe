#include "actions/actions.h"
#include "cli/fail.h"
#include "observation/run.h"

namespace nuvra {

ObservedElement staleGuardedRecord(Platform& platform, int64_t index, int64_t maxNodes,
                                   int64_t maxDepth, int64_t maxTextBytes,
                                   std::string_view expectedSha,
                                   const std::optional<std::string>& appName) {
    ObservationRun run = runObserve(platform, maxNodes, maxDepth, maxTextBytes, appName);
    // Exact text equality: a hash in other letter case or with a trailing
    // line end is not the hash this tool printed.
    if (run.stateHash != expectedSha)
        fail("nuvra-click: stale observation — the window's element tree changed since "
             "screen.observe",
             6);
    for (auto& record : run.elements)
        if (record.index == index) return std::move(record);
    fail("nuvra-click: element [e" + std::to_string(index) + "] is not in the current tree", 6);
}

}  // namespace nuvra
