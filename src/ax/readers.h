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

// Whether the application left one of the reads unanswered
// (kAXCannotComplete: it did not answer in time), rather than answering
// that there is nothing. The walk and the observation run must not pass
// such a gap off as the element's answer; every other caller leaves it
// null and reads the gap as absent, like any failure.
struct Unanswered {
    bool any = false;
};

std::optional<AttrValue> axCopy(Platform& platform, const Element& element,
                                std::string_view attribute, Unanswered* unanswered = nullptr);
// Never the empty text when present. Reads twice when the first read is not
// a non-empty plain string (the second read accepts an attributed string).
std::optional<std::string> axString(Platform& platform, const Element& element,
                                    std::string_view attribute, Unanswered* unanswered = nullptr);
std::optional<bool> axBool(Platform& platform, const Element& element,
                           std::string_view attribute, Unanswered* unanswered = nullptr);
std::vector<std::string> axActions(Platform& platform, const Element& element);
std::vector<Element> axChildren(Platform& platform, const Element& element,
                                Unanswered* unanswered = nullptr);

// How many entries an array attribute holds, without reading them; none when
// it cannot be counted.
std::optional<int64_t> axCount(Platform& platform, const Element& element,
                               std::string_view attribute);

// An element's children as far as a reader may take them, and whether it
// has children that are not among them.
struct ChildrenRead {
    std::vector<Element> children;
    bool partial = false;
};

// All of the element's children when it claims no more than `room`; else at
// most `room` of those it shows (its visible children, rows or cells), else
// its first `room`: never the whole list, since an application asked for
// all its children makes every one, and a sheet claims two billion cells. A
// platform that cannot count gives the whole list. With `room` 0, `partial`
// tells whether there are children at all. A read left unanswered is told
// through `unanswered`, and nothing further is asked after it.
ChildrenRead axChildrenWithin(Platform& platform, const Element& element, int64_t room,
                              Unanswered* unanswered = nullptr);
std::optional<ScreenPoint> axPoint(Platform& platform, const Element& element,
                                   Unanswered* unanswered = nullptr);
std::optional<ScreenSize> axSize(Platform& platform, const Element& element,
                                 Unanswered* unanswered = nullptr);

// A password field, by role or subrole: its value is never read.
bool axIsSecure(const std::optional<std::string>& role, const std::optional<std::string>& subrole);
// The same, reading the element's role and subrole.
bool axIsSecure(Platform& platform, const Element& element);

}  // namespace nuvra
