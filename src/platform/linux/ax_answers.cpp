#include "platform/linux/ax_answers.h"

#include <atspi/atspi-constants.h>

#include "platform/linux/atspi/visible_children.h"

namespace nuvra::atspi {

namespace {

struct AxRole {
    uint32_t atspiRole = 0;
    std::string role;
    std::string_view subrole;
    ValueSource value = ValueSource::None;
};

// The element's role in AX terms: by the role table, or by the role's name
// for a number the table does not know. The variant role that depends on a
// state (multi-line text, an editable combo box) only when `withVariant`.
std::optional<AxRole> axRoleOf(ElementFacts& facts, bool withVariant) {
    auto number = facts.role();
    if (!number) return std::nullopt;
    auto entry = roleEntry(*number);
    if (!entry) {
        auto name = facts.roleName();
        if (!name) return std::nullopt;
        return AxRole{*number, axRoleFromAtspiName(*name), {}, ValueSource::None};
    }
    std::string_view role =
        withVariant ? entry->roleIn([&] { return facts.states(); }) : entry->role;
    return AxRole{*number, std::string(role), entry->subrole, entry->value};
}

AXResult text(std::optional<std::string> text, std::optional<AttrValue>& out) {
    if (!text) return kAXCannotComplete;
    out = AttrValue::plainText(std::move(*text));
    return kAXSuccess;
}

// Running text with each embedded object (U+FFFC, where a link or an image
// stands in a paragraph) as a space; nothing when no words are left or
// they only say again what the name says.
std::optional<std::string> wordsOf(std::string_view shown, const std::optional<std::string>& name) {
    constexpr std::string_view kObject = "\xEF\xBF\xBC";
    std::string text;
    text.reserve(shown.size());
    for (size_t at = 0; at < shown.size();) {
        if (shown.substr(at, kObject.size()) == kObject) {
            text += ' ';
            at += kObject.size();
        } else {
            text += shown[at++];
        }
    }
    auto trimmed = [](std::string_view s) {
        const auto first = s.find_first_not_of(" \t\n\r");
        if (first == std::string_view::npos) return std::string_view();
        return s.substr(first, s.find_last_not_of(" \t\n\r") - first + 1);
    };
    const std::string_view words = trimmed(text);
    if (words.empty() || (name && trimmed(*name) == words)) return std::nullopt;
    return text;
}

AXResult state(ElementFacts& facts, uint32_t state, std::optional<AttrValue>& out) {
    auto states = facts.states();
    if (!states) return kAXCannotComplete;
    out = AttrValue::boolean(states->has(state));
    return kAXSuccess;
}

AXResult value(ElementFacts& facts, ValueSource source, std::optional<AttrValue>& out) {
    switch (source) {
        case ValueSource::None:
        case ValueSource::Secret:
            return kAXAttributeUnsupported;
        case ValueSource::Name: {
            // A label without a name shows its text: LibreOffice's status
            // bar, Gecko's strong and emphasised words, Chromium's labels.
            auto name = facts.name();
            if (!name || !name->empty()) return text(std::move(name), out);
            auto shown = facts.shownText();
            if (!shown) return text(std::move(name), out);
            out = AttrValue::plainText(wordsOf(*shown, std::nullopt).value_or(""));
            return kAXSuccess;
        }
        case ValueSource::TextContents: {
            TextFact shown = facts.text();
            if (shown.hidden) return kAXAttributeUnsupported;
            return text(std::move(shown.text), out);
        }
        case ValueSource::RunningText: {
            auto shown = facts.shownText();
            if (!shown) return kAXNoValue;
            auto words = wordsOf(*shown, facts.name());
            if (!words) return kAXNoValue;
            out = AttrValue::plainText(std::move(*words));
            return kAXSuccess;
        }
        case ValueSource::Number: {
            auto number = facts.number();
            if (!number) return kAXNoValue;
            out = AttrValue::floating(*number);
            return kAXSuccess;
        }
        case ValueSource::Checked: {
            auto states = facts.states();
            if (!states) return kAXCannotComplete;
            out = AttrValue::integer(states->has(ATSPI_STATE_CHECKED) ? 1 : 0);
            return kAXSuccess;
        }
    }
    return kAXAttributeUnsupported;
}

// A web page that is not showing: a browser's background tab (Gecko keeps
// every tab's page in the tree, beside the one in front) or a page loaded
// ahead of being asked for. Its content is left out, as the platform whose
// model the walk reads leaves it out: read as part of the window, its
// headings and buttons would pass for the page in front. The document
// itself stays, named as its tab is.
bool backgroundDocument(ElementFacts& facts) {
    auto role = facts.role();
    if (!role || (*role != ATSPI_ROLE_DOCUMENT_WEB && *role != ATSPI_ROLE_DOCUMENT_FRAME))
        return false;
    auto states = facts.states();
    return states && !states->has(ATSPI_STATE_SHOWING) && facts.showsStates();
}

// The application's first top-level window in `state`.
AXResult window(ElementFacts& facts, uint32_t state, std::optional<AttrValue>& out) {
    auto role = axRoleOf(facts, false);
    if (!role) return kAXCannotComplete;
    if (role->atspiRole != ATSPI_ROLE_APPLICATION) return kAXAttributeUnsupported;
    auto window = facts.windowIn(state);
    if (!window) return kAXCannotComplete;
    if (!*window) return kAXNoValue;
    out = AttrValue::elementRef(elementFor(std::move(**window)));
    return kAXSuccess;
}

}  // namespace

AXResult elements(std::optional<std::vector<ObjectRef>> refs, std::optional<AttrValue>& out,
                  bool hidden) {
    if (!refs) return kAXCannotComplete;
    std::vector<AttrValue> items;
    items.reserve(refs->size());
    for (auto& ref : *refs) items.push_back(AttrValue::elementRef(elementFor(std::move(ref), hidden)));
    out = AttrValue::array(std::move(items));
    return kAXSuccess;
}

AXResult childElements(ElementFacts& facts,
                       const std::function<std::optional<std::vector<ObjectRef>>()>& read,
                       std::optional<AttrValue>& out) {
    if (backgroundDocument(facts)) {
        out = AttrValue::array({});
        return kAXSuccess;
    }
    auto children = read();
    return elements(std::move(children), out, children && facts.hidden());
}

AXResult answer(AxAttribute which, ElementFacts& facts, std::optional<AttrValue>& out) {
    switch (which) {
        case AxAttribute::Role: {
            auto role = axRoleOf(facts, true);
            if (!role) return kAXCannotComplete;
            out = AttrValue::plainText(role->role);
            return kAXSuccess;
        }
        case AxAttribute::Subrole: {
            auto role = axRoleOf(facts, false);
            if (!role) return kAXCannotComplete;
            if (role->subrole.empty()) return kAXNoValue;
            out = AttrValue::plainText(std::string(role->subrole));
            return kAXSuccess;
        }
        case AxAttribute::Title: {
            // A label's text is its value, not its title.
            auto role = axRoleOf(facts, false);
            if (!role) return kAXCannotComplete;
            if (role->value == ValueSource::Name) return kAXNoValue;
            return text(facts.name(), out);
        }
        case AxAttribute::Description:
            return text(facts.description(), out);
        case AxAttribute::Value: {
            auto role = axRoleOf(facts, false);
            if (!role) return kAXCannotComplete;
            if (backgroundDocument(facts)) return kAXNoValue;
            return value(facts, role->value, out);
        }
        case AxAttribute::Enabled: {
            auto states = facts.states();
            if (!states) return kAXCannotComplete;
            out = AttrValue::boolean(states->enabled());
            return kAXSuccess;
        }
        case AxAttribute::Focused:
            return state(facts, ATSPI_STATE_FOCUSED, out);
        case AxAttribute::Position:
        case AxAttribute::Size: {
            // Only a position an agent can click: none for an element that
            // is not showing (a closed menu's items, which Qt places at the
            // menu's would-be spot; a background tab's page) or that has no
            // area (toolkits answer -1,-1,-1,-1 or 0,0,0,0 for unknown).
            auto extents = facts.extents();
            if (!extents || extents->width <= 0 || extents->height <= 0) return kAXNoValue;
            auto states = facts.states();
            if (!states) return kAXCannotComplete;
            if (!states->has(ATSPI_STATE_SHOWING) || facts.hidden()) return kAXNoValue;
            out = which == AxAttribute::Position ? AttrValue::pointBox(extents->x, extents->y)
                                                 : AttrValue::sizeBox(extents->width, extents->height);
            return kAXSuccess;
        }
        case AxAttribute::Children:
            return childElements(facts, [&] { return facts.children(); }, out);
        case AxAttribute::VisibleChildren:
            return childElements(facts, [&] { return facts.visibleChildren(kMaxWholeChildren); }, out);
        case AxAttribute::NumberOfCharacters: {
            auto count = facts.characterCount();
            if (!count) return kAXNoValue;
            out = AttrValue::integer(*count);
            return kAXSuccess;
        }
        case AxAttribute::Windows: {
            auto role = axRoleOf(facts, false);
            if (!role) return kAXCannotComplete;
            if (role->atspiRole != ATSPI_ROLE_APPLICATION) return kAXAttributeUnsupported;
            return elements(facts.windows(), out);
        }
        case AxAttribute::Modal: {
            auto states = facts.states();
            if (!states) return kAXCannotComplete;
            out = AttrValue::boolean(states->has(ATSPI_STATE_MODAL) && states->has(ATSPI_STATE_SHOWING));
            return kAXSuccess;
        }
        case AxAttribute::FocusedWindow:
            return window(facts, ATSPI_STATE_ACTIVE, out);
        case AxAttribute::MainWindow:
            return window(facts, ATSPI_STATE_SHOWING, out);
    }
    return kAXAttributeUnsupported;
}

}  // namespace nuvra::atspi
