#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "observation/tree.h"
#include "platform/platform.h"

namespace nuvra {

// Observes again and returns the element numbered `index`, but only when the
// new state hash equals `expectedSha` exactly. Ends the run otherwise (5 no
// target, 6 stale or missing).
ObservedElement staleGuardedRecord(Platform& platform, int64_t index, int64_t maxNodes,
                                   int64_t maxDepth, int64_t maxTextBytes,
                                   std::string_view expectedSha,
                                   const std::optional<std::string>& appName);

// "AXPress" on the element if it offers it, else false; a refusal is retried
// on its descendants, depth first, four levels down.
bool pressElement(Platform& platform, const Element& element);
bool pressRecursive(Platform& platform, const Element& element, int64_t remainingDepth,
                    std::unordered_set<uint64_t>& visited);

// The settext command after its arguments are parsed: guard, then one write
// of "AXValue". Ends the run with 8 when the element rejects the text.
void assignText(Platform& platform, int64_t index, std::string_view text, int64_t maxNodes,
                int64_t maxDepth, int64_t maxTextBytes, std::string_view expectedSha,
                const std::optional<std::string>& appName);

// The hit command: prints the hit line for the element under (x, y), or ends
// the run with exit code 4 when there is none.
void hitTest(Platform& platform, double x, double y);

}  // namespace nuvra
