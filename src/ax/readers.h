#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace nuvra {

// Typed attribute readers. None reports an error: every failure and every
// unexpected value type reads as absent (nothing, or the empty list).

struct ScreenSize {
    double width = 0;
    double height = 0;
};

std::optional<AttrValue> axCopy(Platform& platform, const Element& element,
                                std::string_view attribute);
// Never the empty text when present. Reads twice when the first read is not
// a non-empty plain string (the second read accepts an attributed string).
std::optional<std::string> axString(Platform& platform, const Element& element,
                                    std::string_view attribute);
std::optional<bool> axBool(Platform& platform, const Element& element,
                           std::string_view attribute);
std::vector<std::string> axActions(Platform& platform, const Element& element);
std::vector<Element> axChildren(Platform& platform, const Element& element);
std::optional<ScreenPoint> axPoint(Platform& platform, const Element& element);
std::optional<ScreenSize> axSize(Platform& platform, const Element& element);

// A password field, by role or subrole: its value is never read.
bool axIsSecure(const std::optional<std::string>& role, const std::optional<std::string>& subrole);
// The same, reading the element's role and subrole.
bool axIsSecure(Platform& platform, const Element& element);

}  // namespace nuvra
