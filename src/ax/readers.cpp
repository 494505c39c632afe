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

// The element handles of an array value; entries of any other kind are
// skipped, and so is a value that is no array.
std::vector<Element> elementsOf(std::optional<AttrValue> value) {
    std::vector<Element> elements;
    if (!value || value->kind != ValueKind::Array) return elements;
    elements.reserve(value->items.size());
    for (auto& item : value->items)
        if (item.kind == ValueKind::ElementRef && item.element)
            elements.push_back(std::move(item.element));
    return elements;
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
    return elementsOf(axCopy(platform, element, "AXChildren", unanswered));
}

std::optional<int64_t> axCount(Platform& platform, const Element& element,
                               std::string_view attribute) {
    int64_t count = 0;
    if (platform.getAttributeValueCount(element, attribute, count) != kAXSuccess) return std::nullopt;
    return count;
}

ChildrenRead axChildrenWithin(Platform& platform, const Element& element, int64_t room,
                              Unanswered* unanswered) {
    ChildrenRead read;
    int64_t count = 0;
    AXResult code = platform.getAttributeValueCount(element, "AXChildren", count);
    // An element without children has no list to count.
    if (code == kAXNoValue || code == kAXAttributeUnsupported) return read;
    // Unanswered is not absent; asking for the list would wait as long again.
    if (code == kAXCannotComplete) {
        if (unanswered != nullptr) unanswered->any = true;
        return read;
    }
    if (code != kAXSuccess) {
        read.children = axChildren(platform, element, unanswered);
        return read;
    }
    if (count <= 0) return read;
    if (count <= room) {
        // An element that makes its children as they are asked for answers
        // with those it shows.
        read.children = axChildren(platform, element, unanswered);
        read.partial = static_cast<int64_t>(read.children.size()) < count;
        return read;
    }
    read.partial = true;
    if (room <= 0) return read;
    for (std::string_view shown : {"AXVisibleChildren", "AXVisibleRows", "AXVisibleCells"}) {
        std::optional<AttrValue> value;
        code = platform.copyAttributeValues(element, shown, 0, room, value);
        if (code == kAXCannotComplete) {
            if (unanswered != nullptr) unanswered->any = true;
            return read;
        }
        if (code == kAXSuccess && value && value->kind == ValueKind::Array) {
            read.children = elementsOf(std::move(value));
            return read;
        }
    }
    std::optional<AttrValue> first;
    code = platform.copyAttributeValues(element, "AXChildren", 0, room, first);
    if (code == kAXCannotComplete && unanswered != nullptr) unanswered->any = true;
    if (code == kAXSuccess) read.children = elementsOf(std::move(first));
    return read;
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
