#include "actions/actions.h"
#include "ax/readers.h"

namespace nuvra {

namespace {

bool sameValue(const std::optional<AttrValue>& a, const std::optional<AttrValue>& b) {
    if (!a || !b) return !a && !b;
    return a->kind == b->kind && a->text == b->text && a->decimal == b->decimal;
}

// A password is never read, but how many characters it holds can be: a
// write that did not take (Firefox ignores every write into a page's
// password input and answers yes) leaves another count than the text's.
// One that left the count as it was by chance, the old text as long as
// the new, cannot be told; nor can anything where the count is unreadable:
// there the write's own answer stands.
bool secretWriteCheck(Platform& platform, const Element& element, std::string_view text) {
    std::optional<AttrValue> count = axCopy(platform, element, "AXNumberOfCharacters");
    if (!count || count->kind != ValueKind::Number) return true;
    return count->number == static_cast<double>(platform.characterCount(text));
}

}  // namespace

MaybeFailure assignText(Platform& platform, int64_t index, std::string_view text,
                        const ObserveLimits& limits, std::string_view expectedSha,
                        const std::optional<std::string>& appName) {
    Outcome<GuardedElement> record =
        staleGuardedRecord(platform, index, limits, expectedSha, appName);
    if (!record.ok()) return record.failure();
    const Element& element = record.value().element;
    const Failure rejected{Refusal::TextRejected, std::nullopt, index};
    // A password's value is never read, not even to check a write.
    bool secure = axIsSecure(platform, element);
    std::optional<AttrValue> before;
    if (!secure) before = axCopy(platform, element, "AXValue");
    // One write of the whole text; no focus, no keystrokes.
    if (platform.setAttributeValue(element, "AXValue", text) != kAXSuccess) return rejected;
    if (secure) return secretWriteCheck(platform, element, text) ? std::nullopt : MaybeFailure(rejected);
    // Some applications answer yes and keep their old value (a read-only
    // display, a web page's input). The write took when the value now is
    // the text, or at least changed (a field may normalise what it is
    // given); a value that cannot be read leaves the write's answer.
    std::optional<AttrValue> after = axCopy(platform, element, "AXValue");
    bool isText = after && after->kind == ValueKind::Text && after->text == text;
    if (after && !isText && sameValue(before, after)) return rejected;
    // A field that holds only the start of the text cut it at its own
    // length limit (a GtkEntry keeps at most 65,534 bytes): that is no write
    // of the text, and the field gets back what it held.
    bool cut = after && after->kind == ValueKind::Text && after->text.size() < text.size() &&
               text.starts_with(after->text);
    if (cut) {
        if (before && before->kind == ValueKind::Text)
            platform.setAttributeValue(element, "AXValue", before->text);
        return rejected;
    }
    return std::nullopt;
}

}  // namespace nuvra
