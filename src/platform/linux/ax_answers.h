// Every AX attribute this backend answers, from an element's facts: the one
// place that says which AT-SPI fact stands for which AX attribute, with the
// role table in atspi/vocabulary.cpp.
#pragma once

#include <optional>

#include "platform/linux/atspi/vocabulary.h"
#include "platform/linux/element_facts.h"
#include "platform/platform.h"

namespace nuvra::atspi {

// Success with `out` set, or the AX code for why there is no value: the
// fact cannot be read (CannotComplete), the element has none (NoValue), or
// the attribute means nothing for its role (AttributeUnsupported).
AXResult answer(AxAttribute which, ElementFacts& facts, std::optional<AttrValue>& out);

// A list of objects as an Array of elements; CannotComplete for none.
AXResult elements(std::optional<std::vector<ObjectRef>> refs, std::optional<AttrValue>& out);

}  // namespace nuvra::atspi
