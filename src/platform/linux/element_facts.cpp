#include "platform/linux/element_facts.h"

#include <algorithm>

#include <atspi/atspi-constants.h>

#include "platform/linux/atspi/visible_children.h"
#include "platform/linux/atspi/workspace.h"
#include "platform/linux/limits.h"

namespace nuvra::atspi {

Element elementFor(ObjectRef ref, bool hiddenAbove) {
    auto e = std::make_shared<AtspiElement>();
    e->ref = std::move(ref);
    e->hiddenAbove = hiddenAbove;
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

std::optional<Extents> ElementFacts::box() {
    if (inSnapshot()) {
        if ((from_.walk.object(index_).interfaces & kComponentInterface) == 0) return std::nullopt;
        return from_.walk.ahead(index_).extents;
    }
    return from_.burst.extents(element_.ref);
}

bool ElementFacts::hidden() {
    if (element_.hiddenAbove) return true;
    const std::string& bus = element_.ref.bus;
    if (from_.screen.setsShowing(bus)) {
        auto now = states();
        if (now && (!now->has(ATSPI_STATE_SHOWING) || !now->has(ATSPI_STATE_VISIBLE)))
            return true;
    }
    if (!from_.screen.widgetToolkit(bus)) return false;
    auto b = box();
    return b && b->x == 0 && b->y == 0 && b->width == 0 && b->height == 0;
}

std::optional<int32_t> ElementFacts::childCount() {
    if (inSnapshot() && from_.walk.object(index_).childCount) return from_.walk.object(index_).childCount;
    return from_.burst.childCount(element_.ref);
}

// Children the snapshot cannot prove are read from the element. An element that makes its children on demand is
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
    return from_.burst.children(element_.ref);
}

std::optional<std::vector<ObjectRef>> ElementFacts::visibleChildren(size_t max) {
    auto count = childCount();
    if (!count) return std::nullopt;
    auto shown = atspi::visibleChildren(from_.link, element_.ref, *count, max,
                                        from_.screen.of(element_.ref.bus));
    from_.walk.shownOnly(shown);
    return shown;
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
        const ReadFacts& ahead = from_.walk.ahead(index_);
        if (!ahead.role || *ahead.role == ATSPI_ROLE_PASSWORD_TEXT) return {true, {}};
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

namespace {

constexpr std::string_view kEmbeddedObject = "\xEF\xBF\xBC";  // U+FFFC

size_t objectsIn(std::string_view text) {
    size_t n = 0;
    for (size_t at = text.find(kEmbeddedObject); at != std::string_view::npos;
         at = text.find(kEmbeddedObject, at + kEmbeddedObject.size()))
        ++n;
    return n;
}

}  // namespace

std::optional<std::string> ElementFacts::shownText() {
    auto text = runningText();
    if (!text || objectsIn(*text) == 0) return text;
    std::optional<std::vector<ObjectRef>> children;
    if (inSnapshot() && from_.walk.object(index_).childrenKnown) {
        children.emplace();
        for (int32_t child : from_.walk.object(index_).children)
            children->push_back(from_.walk.refOf(child));
    } else {
        children = from_.burst.peekChildren(element_.ref);
    }
    size_t budget = kEmbeddedObjects;
    return withEmbedded(std::move(*text), element_.ref, std::move(children), 0, budget);
}

// Gecko holds every child as an embedded object, one U+FFFC each in child
// order; Chromium holds its runs of text in the text itself as well as its
// children, and only the children that are hyperlinks of the text (its
// strong and emphasised words among them, static text as the runs are) are
// embedded objects. A text that fits neither keeps its U+FFFC. What the walk has read ahead answers first; the rest is asked
// in one round for the roles and one for the texts, a text only once its
// role has said it is not password text.
std::string ElementFacts::withEmbedded(std::string text, const ObjectRef& of,
                                       std::optional<std::vector<ObjectRef>> children,
                                       int depth, size_t& budget) {
    const size_t objects = objectsIn(text);
    if (!children) children = childrenWithin(from_.link, of, objects + kEmbeddedObjects);
    if (!children || children->empty() || objects > budget ||
        children->size() > objects + kEmbeddedObjects)
        return text;
    budget -= objects;
    std::vector<std::optional<uint32_t>> roles(children->size());
    std::vector<Request> asked;
    std::vector<size_t> which;
    for (size_t i = 0; i < children->size(); ++i) {
        const ObjectRef& child = (*children)[i];
        if (int32_t k = from_.walk.indexOf(child); k >= 0) roles[i] = from_.walk.object(k).role;
        else if (depth == 0) roles[i] = from_.burst.roleAhead(child);
        if (!roles[i]) {
            asked.push_back(roleRequest(child));
            which.push_back(i);
        }
    }
    auto replies = from_.link.callAll(asked);
    for (size_t j = 0; j < which.size(); ++j) roles[which[j]] = roleFrom(replies[j]);
    std::vector<size_t> embedded;
    if (children->size() == objects) {
        for (size_t i = 0; i < objects; ++i) embedded.push_back(i);
    } else {
        asked.clear();
        for (const ObjectRef& child : *children) asked.push_back(interfacesRequest(child));
        replies = from_.link.callAll(asked);
        for (size_t i = 0; i < children->size(); ++i)
            if (hyperlinkFrom(replies[i]).value_or(false)) embedded.push_back(i);
    }
    if (embedded.size() != objects) return text;

    std::vector<std::optional<std::string>> words(objects);
    asked.clear();
    which.clear();
    for (size_t e = 0; e < objects; ++e) {
        const auto& role = roles[embedded[e]];
        if (!role || !runsInline(*role)) continue;
        const ObjectRef& child = (*children)[embedded[e]];
        if (depth == 0 && from_.walk.indexOf(child) < 0) {
            if (auto ahead = from_.burst.peekText(child)) {
                words[e] = std::move(*ahead);
                continue;
            }
        }
        asked.push_back(textRequest(child));
        which.push_back(e);
    }
    replies = from_.link.callAll(asked);
    for (size_t j = 0; j < which.size(); ++j) words[which[j]] = textFrom(replies[j]);

    std::string shown;
    shown.reserve(text.size());
    size_t from = 0;
    for (size_t e = 0; e < objects; ++e) {
        const size_t at = text.find(kEmbeddedObject, from);
        shown.append(text, from, at - from);
        from = at + kEmbeddedObject.size();
        if (!words[e]) {
            shown.append(kEmbeddedObject);
        } else if (objectsIn(*words[e]) == 0 || depth + 1 >= kEmbeddedDepth) {
            shown.append(*words[e]);
        } else {
            shown.append(withEmbedded(std::move(*words[e]), (*children)[embedded[e]],
                                      std::nullopt, depth + 1, budget));
        }
    }
    shown.append(text, from, std::string::npos);
    return shown;
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
