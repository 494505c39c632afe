// How AT-SPI's accessibility model is spoken in the AX vocabulary that the
// core and the agents know: roles, states, attributes and action names.
// The tables live in vocabulary.cpp; ax_answers.cpp applies them to an
// element's facts, and the rest of the backend only fetches what they ask
// for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nuvra::atspi {

// The 64 state bits of GetState, indexed by AtspiStateType.
struct StateSet {
    uint64_t bits = 0;
    bool has(uint32_t state) const { return state < 64 && ((bits >> state) & 1U) != 0; }
    // Whether a user can act on the element. GTK 3 and Qt set ENABLED and
    // SENSITIVE together; GTK 4 sets only SENSITIVE.
    bool enabled() const;
};

// Where an element's "AXValue" comes from, decided by its AT-SPI role.
enum class ValueSource {
    None,          // no value
    Name,          // static text: the accessible name is the text shown
    TextContents,  // the Text interface's whole text
    RunningText,   // the same, with embedded objects as spaces; nothing where
                   // it is blank or only repeats the name
    Number,        // the Value interface's current value
    Checked,       // the checked state as the number 1 or 0
    Secret,        // password text: never read, not even on request
};

// One row of the role table. `variantRole` replaces `role` when the element
// has `variantState` (a text that is multi-line, a combo box that is
// editable); AT-SPI expresses these as states, the AX vocabulary as roles.
struct RoleEntry {
    std::string_view role;
    std::string_view subrole;  // empty: none
    ValueSource value = ValueSource::None;
    uint32_t variantState = 0;  // an AtspiStateType; 0 (invalid) means none
    std::string_view variantRole;

    // The AX role of an element of this role; its states (`statesOf()`, a
    // std::optional<StateSet>) are asked for only when the role has a
    // variant, and an element whose states cannot be read has the plain role.
    template <class StatesOf>
    std::string_view roleIn(StatesOf&& statesOf) const {
        if (variantState == 0) return role;
        const std::optional<StateSet> states = statesOf();
        return states && states->has(variantState) ? variantRole : role;
    }
};

// The entry for a role number as GetRole answers it, or nothing for a
// number this build does not know (a newer AT-SPI), which then goes by its
// role name through axRoleFromAtspiName.
std::optional<RoleEntry> roleEntry(uint32_t atspiRole);

// "push button" -> "AXPushButton": the rule for roles without an AX name of
// their own, and for action names without one. Only ASCII letters and
// digits are kept; every other byte ends a word.
std::string axRoleFromAtspiName(std::string_view atspiName);

// The AX attributes this backend answers, by what they are read from.
enum class AxAttribute {
    Role,           // GetRole through the role table
    Subrole,        // the role table
    Title,          // accessible name (none for static text)
    Description,    // accessible description
    Value,          // see ValueSource
    Enabled,        // ENABLED state
    Focused,        // FOCUSED state
    Position,       // Component extents in screen coordinates: x, y
    Size,           // the same extents: width, height
    Children,       // GetChildren, in the toolkit's order; counted by ChildCount
    VisibleChildren,  // the children on screen (visible_children.h)
    NumberOfCharacters,  // Text.CharacterCount: of password text too, whose text is never read
    Windows,        // application only: its top-level windows
    Modal,          // MODAL state, of a window that is showing: a hidden one is in front of nothing
    FocusedWindow,  // application only: its first top-level window in the ACTIVE state
    MainWindow,     // application only: its first top-level window in the SHOWING state
};

std::optional<AxAttribute> axAttribute(std::string_view name);

// Whether an element of this role runs inline within its parent's text
// (a link, a strong or emphasised word, a mark): where the parent's text
// holds it as an embedded object, its words are part of what the parent
// shows. Controls and blocks are not: they show as elements of their own.
bool runsInline(uint32_t atspiRole);

// The AX name of each AT-SPI action, paired with the action's index. The
// first action named as some toolkit names a press (the table in
// vocabulary.cpp) is offered as "AXPress"; the others as "AX" + their name
// in upper camel case. A name that would repeat an earlier one is left
// out, so every AX name picks exactly one AT-SPI action; an action whose
// name was not read names none.
std::vector<std::pair<std::string, int>> axActions(
    const std::vector<std::optional<std::string>>& atspiNames);

}  // namespace nuvra::atspi
