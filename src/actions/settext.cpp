#include "actions/actions.h"
#include "cli/fail.h"

namespace nuvra {

void assignText(Platform& platform, int64_t index, std::string_view text, int64_t maxNodes,
                int64_t maxDepth, int64_t maxTextBytes, std::string_view expectedSha,
                const std::optional<std::string>& appName) {
    ObservedElement record =
        staleGuardedRecord(platform, index, maxNodes, maxDepth, maxTextBytes, expectedSha, appName);
    // One write of the whole text; no focus, no keystrokes, no read-back.
    if (platform.setAttributeValue(record.element, "AXValue", text) != kAXSuccess)
        fail("nuvra-click: element [e" + std::to_string(index) + "] rejected the text assignment",
             8);
}

}  // namespace nuvra
