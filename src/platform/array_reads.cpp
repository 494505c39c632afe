// The platform's ranged reads of array attributes, for a platform that has
// none of its own (the whole array is read, then counted or cut), and its
// count of a text's characters.
#include <algorithm>

#include "platform/platform.h"

namespace nuvra {

AXResult Platform::getAttributeValueCount(const Element& element, std::string_view attribute,
                                          int64_t& count) {
    std::optional<AttrValue> value;
    AXResult code = copyAttributeValue(element, attribute, value);
    if (code != kAXSuccess) return code;
    if (!value || value->kind != ValueKind::Array) return kAXIllegalArgument;
    count = static_cast<int64_t>(value->items.size());
    return kAXSuccess;
}

AXResult Platform::copyAttributeValues(const Element& element, std::string_view attribute,
                                       int64_t index, int64_t maxValues,
                                       std::optional<AttrValue>& out) {
    if (index < 0 || maxValues < 0) return kAXIllegalArgument;
    std::optional<AttrValue> value;
    AXResult code = copyAttributeValue(element, attribute, value);
    if (code != kAXSuccess) return code;
    if (!value || value->kind != ValueKind::Array) return kAXIllegalArgument;
    auto& items = value->items;
    const auto size = static_cast<int64_t>(items.size());
    const int64_t from = std::min(index, size);
    const int64_t to = from + std::min(maxValues, size - from);
    out = AttrValue::array(std::vector<AttrValue>(std::make_move_iterator(items.begin() + from),
                                                  std::make_move_iterator(items.begin() + to)));
    return kAXSuccess;
}

int64_t Platform::characterCount(std::string_view utf8) {
    // A lead byte of four starts a character beyond the BMP: two UTF-16 units.
    int64_t units = 0;
    for (unsigned char c : utf8) units += ((c & 0xC0) != 0x80) + (c >= 0xF0);
    return units;
}

}  // namespace nuvra
