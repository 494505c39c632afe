// The Linux backend's translation tables without a desktop: roles against
// AT-SPI's own role names, actions, and the wheel and pixel rules. (What
// the backend answers without a bus or display is shown on the binary, in
// test_gate.py.)
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <atspi/atspi.h>
#include <gtest/gtest.h>

#include "platform/linux/ax_vocabulary.h"
#include "platform/linux/xtest_events.h"

namespace nuvra {
namespace {

using atspi::ValueSource;

struct Expected {
    std::string role;
    std::string subrole;
};

// The roles whose AX names are chosen rather than derived.
const std::map<AtspiRole, Expected>& chosenNames() {
    static const std::map<AtspiRole, Expected> names{
        {ATSPI_ROLE_FRAME, {"AXWindow", ""}},
        {ATSPI_ROLE_WINDOW, {"AXWindow", ""}},
        {ATSPI_ROLE_DIALOG, {"AXWindow", "AXDialog"}},
        {ATSPI_ROLE_ALERT, {"AXWindow", "AXDialog"}},
        {ATSPI_ROLE_PUSH_BUTTON, {"AXButton", ""}},
        {ATSPI_ROLE_PUSH_BUTTON_MENU, {"AXMenuButton", ""}},
        {ATSPI_ROLE_TOGGLE_BUTTON, {"AXCheckBox", "AXToggle"}},
        {ATSPI_ROLE_CHECK_BOX, {"AXCheckBox", ""}},
        {ATSPI_ROLE_RADIO_BUTTON, {"AXRadioButton", ""}},
        {ATSPI_ROLE_TEXT, {"AXTextField", ""}},
        {ATSPI_ROLE_ENTRY, {"AXTextField", ""}},
        {ATSPI_ROLE_EDITBAR, {"AXTextField", ""}},
        {ATSPI_ROLE_PASSWORD_TEXT, {"AXTextField", "AXSecureTextField"}},
        {ATSPI_ROLE_LABEL, {"AXStaticText", ""}},
        {ATSPI_ROLE_STATIC, {"AXStaticText", ""}},
        {ATSPI_ROLE_MENU_BAR, {"AXMenuBar", ""}},
        {ATSPI_ROLE_MENU, {"AXMenu", ""}},
        {ATSPI_ROLE_POPUP_MENU, {"AXMenu", ""}},
        {ATSPI_ROLE_MENU_ITEM, {"AXMenuItem", ""}},
        {ATSPI_ROLE_CHECK_MENU_ITEM, {"AXMenuItem", ""}},
        {ATSPI_ROLE_RADIO_MENU_ITEM, {"AXMenuItem", ""}},
        {ATSPI_ROLE_COMBO_BOX, {"AXPopUpButton", ""}},
        {ATSPI_ROLE_LIST, {"AXList", ""}},
        {ATSPI_ROLE_LIST_BOX, {"AXList", ""}},
        {ATSPI_ROLE_TABLE, {"AXTable", ""}},
        {ATSPI_ROLE_TREE, {"AXOutline", ""}},
        {ATSPI_ROLE_TREE_TABLE, {"AXOutline", ""}},
        {ATSPI_ROLE_TABLE_ROW, {"AXRow", ""}},
        {ATSPI_ROLE_TREE_ITEM, {"AXRow", ""}},
        {ATSPI_ROLE_TABLE_CELL, {"AXCell", ""}},
        {ATSPI_ROLE_LIST_ITEM, {"AXCell", ""}},
        {ATSPI_ROLE_SCROLL_PANE, {"AXScrollArea", ""}},
        {ATSPI_ROLE_SCROLL_BAR, {"AXScrollBar", ""}},
        {ATSPI_ROLE_SLIDER, {"AXSlider", ""}},
        {ATSPI_ROLE_SPIN_BUTTON, {"AXIncrementor", ""}},
        {ATSPI_ROLE_PROGRESS_BAR, {"AXProgressIndicator", ""}},
        {ATSPI_ROLE_LEVEL_BAR, {"AXLevelIndicator", ""}},
        {ATSPI_ROLE_FILLER, {"AXGroup", ""}},
        {ATSPI_ROLE_PANEL, {"AXGroup", ""}},
        {ATSPI_ROLE_GROUPING, {"AXGroup", ""}},
        {ATSPI_ROLE_SECTION, {"AXGroup", ""}},
        {ATSPI_ROLE_SPLIT_PANE, {"AXSplitGroup", ""}},
        {ATSPI_ROLE_TOOL_BAR, {"AXToolbar", ""}},
        {ATSPI_ROLE_PAGE_TAB_LIST, {"AXTabGroup", ""}},
        {ATSPI_ROLE_PAGE_TAB, {"AXRadioButton", "AXTabButton"}},
        {ATSPI_ROLE_IMAGE, {"AXImage", ""}},
        {ATSPI_ROLE_LINK, {"AXLink", ""}},
        {ATSPI_ROLE_HEADING, {"AXHeading", ""}},
        {ATSPI_ROLE_APPLICATION, {"AXApplication", ""}},
        {ATSPI_ROLE_INVALID, {"AXUnknown", ""}},
        {ATSPI_ROLE_UNKNOWN, {"AXUnknown", ""}},
    };
    return names;
}

TEST(RoleTable, EveryRoleHasItsChosenNameOrItsAtspiNameInCamelCase) {
    for (int r = 0; r < ATSPI_ROLE_LAST_DEFINED; ++r) {
        auto role = static_cast<AtspiRole>(r);
        gchar* atspiName = atspi_role_get_name(role);
        ASSERT_NE(atspiName, nullptr) << r;
        std::string name(atspiName);
        g_free(atspiName);
        SCOPED_TRACE(name);
        auto entry = atspi::roleEntry(static_cast<uint32_t>(r));
        ASSERT_TRUE(entry.has_value());
        auto chosen = chosenNames().find(role);
        if (chosen != chosenNames().end()) {
            EXPECT_EQ(entry->role, chosen->second.role);
            EXPECT_EQ(entry->subrole, chosen->second.subrole);
        } else {
            EXPECT_EQ(entry->role, atspi::axRoleFromAtspiName(name));
            EXPECT_EQ(entry->subrole, "");
        }
    }
}

TEST(RoleTable, NumbersBeyondTheEnumHaveNoEntry) {
    EXPECT_FALSE(atspi::roleEntry(ATSPI_ROLE_LAST_DEFINED).has_value());
    EXPECT_FALSE(atspi::roleEntry(100000).has_value());
}

TEST(RoleTable, ValuesComeFromWhereTheRoleKeepsThem) {
    const std::vector<std::pair<AtspiRole, ValueSource>> cases{
        {ATSPI_ROLE_LABEL, ValueSource::Name},
        {ATSPI_ROLE_STATIC, ValueSource::Name},
        {ATSPI_ROLE_TEXT, ValueSource::TextContents},
        {ATSPI_ROLE_ENTRY, ValueSource::TextContents},
        {ATSPI_ROLE_PASSWORD_TEXT, ValueSource::Secret},
        {ATSPI_ROLE_CHECK_BOX, ValueSource::Checked},
        {ATSPI_ROLE_TOGGLE_BUTTON, ValueSource::Checked},
        {ATSPI_ROLE_RADIO_BUTTON, ValueSource::Checked},
        {ATSPI_ROLE_CHECK_MENU_ITEM, ValueSource::Checked},
        {ATSPI_ROLE_SLIDER, ValueSource::Number},
        {ATSPI_ROLE_SCROLL_BAR, ValueSource::Number},
        {ATSPI_ROLE_SPIN_BUTTON, ValueSource::Number},
        {ATSPI_ROLE_PROGRESS_BAR, ValueSource::Number},
        {ATSPI_ROLE_PUSH_BUTTON, ValueSource::None},
        {ATSPI_ROLE_FRAME, ValueSource::None},
        {ATSPI_ROLE_MENU_ITEM, ValueSource::None},
    };
    for (auto [role, source] : cases) {
        SCOPED_TRACE(static_cast<int>(role));
        EXPECT_EQ(atspi::roleEntry(role)->value, source);
    }
}

TEST(RoleTable, StatesTurnTextIntoAreasAndEditableComboBoxesIntoComboBoxes) {
    auto text = *atspi::roleEntry(ATSPI_ROLE_TEXT);
    EXPECT_EQ(text.variantState, static_cast<uint32_t>(ATSPI_STATE_MULTI_LINE));
    EXPECT_EQ(text.variantRole, "AXTextArea");
    auto combo = *atspi::roleEntry(ATSPI_ROLE_COMBO_BOX);
    EXPECT_EQ(combo.variantState, static_cast<uint32_t>(ATSPI_STATE_EDITABLE));
    EXPECT_EQ(combo.variantRole, "AXComboBox");
    EXPECT_EQ(atspi::roleEntry(ATSPI_ROLE_PUSH_BUTTON)->variantState, 0u);
}

TEST(Vocabulary, TheFirstClickLikeActionIsPress) {
    using Actions = std::vector<std::pair<std::string, int>>;
    const std::vector<std::pair<std::vector<std::string>, Actions>> cases{
        {{"click"}, {{"AXPress", 0}}},
        {{"Click"}, {{"AXPress", 0}}},
        {{"activate"}, {{"AXPress", 0}}},
        {{"jump"}, {{"AXPress", 0}}},
        {{"toggle"}, {{"AXPress", 0}}},
        {{"press"}, {{"AXPress", 0}}},
        {{"expand or contract", "activate"}, {{"AXExpandOrContract", 0}, {"AXPress", 1}}},
        {{"click", "activate"}, {{"AXPress", 0}, {"AXActivate", 1}}},
        // A second "press" would name AXPress twice; the first one wins.
        {{"click", "press"}, {{"AXPress", 0}}},
        {{"showmenu", "show-menu"}, {{"AXShowmenu", 0}, {"AXShowMenu", 1}}},
        {{"", "click"}, {{"AXPress", 1}}},
        {{}, {}},
    };
    for (const auto& [names, expected] : cases) {
        SCOPED_TRACE(names.empty() ? std::string("(none)") : names[0]);
        EXPECT_EQ(atspi::axActions(names), expected);
    }
}

TEST(Wheel, NotchesRoundUpAndStayBounded) {
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const std::vector<std::pair<int32_t, int32_t>> cases{
        {0, 0},       {1, 1},       {49, 1},       {50, 1},    {51, 2},
        {100, 2},     {-1, -1},     {-50, -1},     {-51, -2},  {4999, 100},
        {5000, 100},  {5001, 100},  {kMax, 100},   {kMin, -100},
    };
    for (auto [pixels, notches] : cases) EXPECT_EQ(x11::wheelNotches(pixels), notches) << pixels;
}

TEST(Pointer, CoordinatesLandOnThePixelThatHoldsThem) {
    const std::vector<std::pair<double, int>> cases{
        {10.0, 10}, {10.99, 10},    {0.0, 0},       {-0.5, -1},
        {1e9, 32767}, {-1e9, -32768}, {std::nan(""), 0}, {std::numeric_limits<double>::infinity(), 0},
    };
    for (auto [coordinate, pixel] : cases) EXPECT_EQ(x11::pixelOf(coordinate), pixel) << coordinate;
}

}  // namespace
}  // namespace nuvra
