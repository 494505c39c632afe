#include "ax/readers.h"

#include <utility>

namespace nuvra {

namespace {

// axPoint and axSize: one body, told apart by attribute and box kind. A box
// of another kind (a range, a rect, a size under "AXPosition") is absent.
std::optional<std::pair<double, double>> boxedPair(Platform& platform, const Element& element,
                                                   std::string_view attribute, ValueKind kind,
                                                   Unanswered* unanswered) {
    std::optional<AttrValue> value = axCopy(platform, element, attribute, unanswered);
    if (!value || value->kind != kind) return std::nullopt;
    return std::pair{value->first, value->second};
}

}  // namespace

std::optional<AttrValue> axCopy(Platform& platform, const Element& element,
                                std::string_view attribute, Unanswered* unanswered) {
    std::optional<AttrValue> slot;
    AXResult code = platform.copyAttributeValue(element, attribute, slot);
    if (code == kAXCannotComplete && unanswered != nullptr) unanswered->any = true;
    if (code != kAXSuccess) return std::nullopt;
    return slot;
}

std::optional<std::string> axString(Platform& platform, const Element& element,
                                    std::string_view attribute, Unanswered* unanswered) {
    std::optional<AttrValue> first = axCopy(platform, element, attribute, unanswered);
    if (first && first->kind == ValueKind::Text && !first->text.empty())
        return std::move(first->text);
    // Some servers hand out formatted text; a second, separate read takes its
    // plain string. The first value is not reused, so the two reads are two
    // round trips, as an absent attribute always costs.
    std::optional<AttrValue> second = axCopy(platform, element, attribute, unanswered);
    if (second && second->kind == ValueKind::AttributedText && !second->text.empty())
        return std::move(second->text);
    return std::nullopt;
}

std::optional<bool> axBool(Platform& platform, const Element& element,
                           std::string_view attribute, Unanswered* unanswered) {
    std::optional<AttrValue> value = axCopy(platform, element, attribute, unanswered);
    if (!value || value->kind != ValueKind::Number) return std::nullopt;
    return value->number != 0;
}

std::vector<std::string> axActions(Platform& platform, const Element& element) {
    std::optional<AttrValue> slot;
    AXResult code = platform.copyActionNames(element, slot);
    std::vector<std::string> names;
    if (code != kAXSuccess || !slot || slot->kind != ValueKind::Array) return names;
    for (auto& item : slot->items)
        if (item.kind == ValueKind::Text) names.push_back(std::move(item.text));
    return names;
}

std::vector<Element> axChildren(Platform& platform, const Element& element,
                                Unanswered* unanswered) {
    std::optional<AttrValue> value = axCopy(platform, element, "AXChildren", unanswered);
    std::vector<Element> children;
    if (!value || value->kind != ValueKind::Array) return children;
    children.reserve(value->items.size());
    for (auto& item : value->items)
        if (item.kind == ValueKind::ElementRef && item.element)
            children.push_back(std::move(item.element));
    return children;
}

std::optional<ScreenPoint> axPoint(Platform& platform, const Element& element,
                                   Unanswered* unanswered) {
    auto pair = boxedPair(platform, element, "AXPosition", ValueKind::PointBox, unanswered);
    if (!pair) return std::nullopt;
    return ScreenPoint{pair->first, pair->second};
}

std::optional<ScreenSize> axSize(Platform& platform, const Element& element,
                                 Unanswered* unanswered) {
    auto pair = boxedPair(platform, element, "AXSize", ValueKind::SizeBox, unanswered);
    if (!pair) return std::nullopt;
    return ScreenSize{pair->first, pair->second};
}

bool axIsSecure(const std::optional<std::string>& role, const std::optional<std::string>& subrole) {
    constexpr std::string_view kSecure = "AXSecureTextField";
    return role == kSecure || subrole == kSecure;
}

bool axIsSecure(Platform& platform, const Element& element) {
    return axIsSecure(axString(platform, element, "AXRole"), axString(platform, element, "AXSubrole"));
}

}  // namespace nuvra
