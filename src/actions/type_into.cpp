#include "actions/actions.h"
#include "actions/limits.h"
#include "ax/readers.h"
#include "input/keyboard.h"

namespace nuvra {

namespace {

// Polls `holds` until it is true or `waitUs` have passed on the platform's
// clock; its last answer.
template <typename Predicate>
bool within(Platform& platform, int64_t waitUs, Predicate holds) {
    const int64_t deadline = platform.monotonicMicroseconds() + waitUs;
    for (;;) {
        if (holds()) return true;
        if (platform.monotonicMicroseconds() >= deadline) return false;
        platform.sleepMicroseconds(kPollUs);
    }
}

std::optional<std::string> textValue(Platform& platform, const Element& element) {
    std::optional<AttrValue> value = axCopy(platform, element, "AXValue");
    if (!value || (value->kind != ValueKind::Text && value->kind != ValueKind::AttributedText))
        return std::nullopt;
    return value->text;
}

}  // namespace

MaybeFailure typeIntoElement(Platform& platform, int64_t index, std::string_view text,
                             const ObserveLimits& limits, std::string_view expectedSha,
                             const std::optional<std::string>& appName) {
    Outcome<GuardedElement> record =
        staleGuardedRecord(platform, index, limits, expectedSha, appName);
    if (!record.ok()) return record.failure();
    const Element& element = record.value().element;
    if (MaybeFailure unreachable = keysReach(platform, element, index)) return unreachable;
    // A password's value is never read, so there the keys' arrival is not
    // checked.
    const bool secure = axIsSecure(platform, element);
    const std::optional<std::string> before =
        secure ? std::nullopt : textValue(platform, element);

    // Keys go to the frontmost application's focused element: first the
    // application with the element's window, then the element. The
    // activation's answer is not decisive (a window manager decides in its
    // own time); whether the element then has focus is.
    platform.activateApplication(record.value().pid, record.value().window);
    const Failure unfocused{Refusal::FocusRefused, std::nullopt, index};
    if (platform.setBooleanAttribute(element, "AXFocused", true) != kAXSuccess) return unfocused;
    if (!within(platform, kFocusWaitUs,
                [&] { return axBool(platform, element, "AXFocused").value_or(false); }))
        return unfocused;
    if (MaybeFailure failed = typeText(platform, text)) return failed;

    const std::string_view checked = text.substr(0, text.find_first_of("\t\n\r"));
    if (!before || checked.empty()) return std::nullopt;
    bool arrived = within(platform, kTypedWaitUs, [&] {
        std::optional<std::string> now = textValue(platform, element);
        return now && *now != *before && now->find(checked) != std::string::npos;
    });
    if (!arrived) return Failure{Refusal::TypedTextMissing, std::nullopt, index};
    return std::nullopt;
}

}  // namespace nuvra
