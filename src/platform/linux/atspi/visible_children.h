// The children of an object that shows only some of what it holds: a sheet
// of two billion cells, a list that makes its rows as they are asked for.
// Asking such an object for all its children makes it build every one (a
// single GetChildren on LibreOffice Calc's sheet keeps it busy growing by
// tens of megabytes a second until it is killed), so only those on screen
// are asked for, one by one.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/linux/atspi/link.h"
#include "platform/linux/limits.h"

namespace nuvra::atspi {

// All of `parent`'s children, when it claims no more than `bound` and makes
// none on demand; nothing otherwise.
std::optional<std::vector<ObjectRef>> childrenWithin(BusLink& link, const ObjectRef& parent,
                                                     size_t bound);

// At most `max` children of `parent`, which claims `count`. A table gives
// the cells of the rows and columns that its corners on screen lie in (all
// of them from the first when `placed` is false: its extents are not on the
// screen's coordinates), row by row; anything else its first children.
std::vector<ObjectRef> visibleChildren(BusLink& link, const ObjectRef& parent, int32_t count,
                                       size_t max, bool placed);

}  // namespace nuvra::atspi
