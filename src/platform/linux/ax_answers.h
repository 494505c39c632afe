// Every AX attribute this backend answers, from an element's facts: the one
// place that says which AT-SPI fact stands for which AX attribute, with the
// role table in atspi/vocabulary.cpp.
#pragma once

#include <functional>
#include <optional>

#include "platform/linux/atspi/vocabulary.h"
#include "platform/linux/element_facts.h"
#include "platform/platform.h"

namespace nuvra::atspi {

// Success with `out` set, or the AX code for why there is no value: the
// fact cannot be read (CannotComplete), the element has none (NoValue), or
// the attribute means nothing for its role (AttributeUnsupported).
AXResult answer(AxAttribute which, ElementFacts& facts, std::optional<AttrValue>& out);

// A list of objects as an Array of elements, hidden when what holds them
// is; CannotComplete for none.
AXResult elements(std::optional<std::vector<ObjectRef>> refs, std::optional<AttrValue>& out,
                  bool hidden = false);

// An element's children as `read` gives them (all of them, those on
// screen, a range), as elements that are hidden when it is; none for a
// document in a tab that is not showing.
AXResult childElements(ElementFacts& facts,
                       const std::function<std::optional<std::vector<ObjectRef>>()>& read,
                       std::optional<AttrValue>& out);

}  // namespace nuvra::atspi
