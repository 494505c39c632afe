#include "platform/linux/element_facts.h"

#include <algorithm>

#include <atspi/atspi-constants.h>

#include "platform/linux/atspi/visible_children.h"
#include "platform/linux/atspi/workspace.h"

namespace nuvra::atspi {

Element elementFor(ObjectRef ref) {
    auto e = std::make_shared<AtspiElement>();
    e->ref = std::move(ref);
    return e;
}

ElementFacts::ElementFacts(const AtspiElement& element, FactSources from)
    : element_(element), from_(from), index_(from.walk.indexOf(element.ref)) {}

std::optional<uint32_t> ElementFacts::role() {
    if (inSnapshot()) return from_.walk.object(index_).role;
    if (!element_.role) element_.role = getRole(from_.link, element_.ref);
    return element_.role;
}

std::optional<std::string> ElementFacts::roleName() {
    return getRoleName(from_.link, element_.ref);
}

std::optional<StateSet> ElementFacts::states() {
    if (inSnapshot()) return from_.walk.object(index_).states;
    return from_.burst.states(element_.ref);
}

std::optional<std::string> ElementFacts::name() {
    if (inSnapshot()) return from_.walk.object(index_).name;
    return from_.burst.name(element_.ref);
}

std::optional<std::string> ElementFacts::description() {
    if (inSnapshot()) return from_.walk.object(index_).description;
    return from_.burst.description(element_.ref);
}

// Extents that are not on screen are no extents: printed or hit-tested as
// if they were, they would name the wrong place.
std::optional<Extents> ElementFacts::extents() {
    if (inSnapshot()) {
        if ((from_.walk.object(index_).interfaces & kComponentInterface) == 0 ||
            !from_.screen.of(element_.ref.bus))
            return std::nullopt;
        return from_.walk.ahead(index_).extents;
    }
    if (!from_.screen.of(element_.ref.bus)) return std::nullopt;
    return from_.burst.extents(element_.ref);
}

std::optional<int32_t> ElementFacts::childCount() {
    if (inSnapshot() && from_.walk.object(index_).childCount) return from_.walk.object(index_).childCount;
    return from_.burst.childCount(element_.ref);
}

// Children the snapshot cannot prove are read from the element, and the
// walk learns from them. An element that makes its children on demand is
// never asked for all of them: those it shows are all it has to show.
std::optional<std::vector<ObjectRef>> ElementFacts::children() {
    if (inSnapshot() && from_.walk.object(index_).childrenKnown) {
        std::vector<ObjectRef> children;
        for (int32_t child : from_.walk.object(index_).children)
            children.push_back(from_.walk.refOf(child));
        return children;
    }
    auto count = childCount();
    auto states = this->states();
    if ((states && states->has(ATSPI_STATE_MANAGES_DESCENDANTS)) ||
        (count && *count > kMaxWholeChildren))
        return visibleChildren(static_cast<size_t>(std::min(count.value_or(kMaxWholeChildren), kMaxWholeChildren)));
    if (count && *count == 0) return std::vector<ObjectRef>{};
    auto children = from_.burst.children(element_.ref);
    if (children) from_.walk.childrenRead(element_.ref, *children);
    return children;
}

std::optional<std::vector<ObjectRef>> ElementFacts::visibleChildren(size_t max) {
    auto count = childCount();
    if (!count) return std::nullopt;
    return atspi::visibleChildren(from_.link, element_.ref, *count, max,
                                  from_.screen.of(element_.ref.bus));
}

std::optional<std::vector<ObjectRef>> ElementFacts::childrenFrom(int32_t index, size_t max) {
    auto count = childCount();
    if (!count) return std::nullopt;
    std::vector<Request> requests;
    for (int32_t i = index; i >= 0 && i < *count && requests.size() < max; ++i)
        requests.push_back(childAtIndexRequest(element_.ref, i));
    std::vector<ObjectRef> children;
    for (const auto& reply : from_.link.callAll(requests))
        if (auto child = refFrom(reply)) children.push_back(std::move(*child));
    return children;
}

// GTK turns an entry into password text when its text is hidden; the
// remembered role may predate that, so the role is read afresh first.
TextFact ElementFacts::text() {
    if (inSnapshot()) {
        if ((from_.walk.object(index_).interfaces & kTextInterface) == 0) return {};
        const AheadReads& ahead = from_.walk.ahead(index_);
        if (!ahead.roleNow || *ahead.roleNow == ATSPI_ROLE_PASSWORD_TEXT) return {true, {}};
        return {false, ahead.text};
    }
    if (auto ahead = from_.burst.textAhead(element_.ref)) return {false, std::move(*ahead)};
    auto now = getRole(from_.link, element_.ref);
    if (!now || *now == ATSPI_ROLE_PASSWORD_TEXT) return {true, {}};
    return {false, getText(from_.link, element_.ref)};
}

std::optional<std::string> ElementFacts::runningText() {
    if (inSnapshot()) {
        if ((from_.walk.object(index_).interfaces & kTextInterface) == 0) return std::nullopt;
        return from_.walk.ahead(index_).text;
    }
    if (auto ahead = from_.burst.textAhead(element_.ref)) return std::move(*ahead);
    return getText(from_.link, element_.ref);
}

std::optional<double> ElementFacts::number() {
    if (inSnapshot()) {
        if ((from_.walk.object(index_).interfaces & kValueInterface) == 0) return std::nullopt;
        return from_.walk.ahead(index_).number;
    }
    return getCurrentValue(from_.link, element_.ref);
}

std::optional<int32_t> ElementFacts::characterCount() {
    return getCharacterCount(from_.link, element_.ref);
}

std::optional<std::vector<ObjectRef>> ElementFacts::windows() {
    return getChildren(from_.link, element_.ref);
}

std::optional<std::optional<ObjectRef>> ElementFacts::windowIn(uint32_t state) {
    auto windows = this->windows();
    if (!windows) return std::nullopt;
    return firstWindowIn(from_.link, *windows, state);
}

}  // namespace nuvra::atspi
