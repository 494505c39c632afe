#include "actions/actions.h"

namespace nuvra {

MaybeFailure assignText(Platform& platform, int64_t index, std::string_view text,
                        const ObserveLimits& limits, std::string_view expectedSha,
                        const std::optional<std::string>& appName) {
    Outcome<GuardedElement> record =
        staleGuardedRecord(platform, index, limits, expectedSha, appName);
    if (!record.ok()) return record.failure();
    // One write of the whole text; no focus, no keystrokes, no read-back.
    if (platform.setAttributeValue(record.value().element, "AXValue", text) != kAXSuccess)
        return Failure{Refusal::TextRejected, std::nullopt, index};
    return std::nullopt;
}

}  // namespace nuvra
