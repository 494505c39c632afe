#include "actions/actions.h"
#include "ax/readers.h"
#include "text/text.h"

namespace nuvra {

Outcome<ElementText> readElementText(Platform& platform, int64_t index,
                                     const ObserveLimits& limits, std::string_view expectedSha,
                                     const std::optional<std::string>& appName) {
    Outcome<GuardedElement> record =
        staleGuardedRecord(platform, index, limits, expectedSha, appName);
    if (!record.ok()) return record.failure();
    const Element& element = record.value().element;
    if (axIsSecure(platform, element))
        return Failure{Refusal::SecretText, std::nullopt, index};
    std::optional<std::string> whole;
    std::optional<AttrValue> value = axCopy(platform, element, "AXValue");
    if (value && (value->kind == ValueKind::Text || value->kind == ValueKind::AttributedText))
        whole = std::move(value->text);
    if (!whole) whole = axString(platform, element, "AXTitle");
    if (!whole) whole = axString(platform, element, "AXDescription");
    if (!whole) return Failure{Refusal::NoText, std::nullopt, index};
    ElementText result;
    result.text = validUtf8(*whole);
    result.totalBytes = static_cast<int64_t>(result.text.size());
    result.text.resize(characterPrefixWithin(result.text, limits.maxTextBytes));
    result.truncated = static_cast<int64_t>(result.text.size()) < result.totalBytes;
    return result;
}

}  // namespace nuvra
