// The backend's translation tables held to outside references: libatspi's
// own role names and Apple's AX role names; the action names; the wheel
// and pixel rules.
#include <cmath>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <atspi/atspi.h>
#include <gtest/gtest.h>

#include "platform/linux/atspi/vocabulary.h"
#include "platform/linux/x11/xtest_events.h"

namespace nuvra {
namespace {

// Every AT-SPI role reads as a role (subrole, variant) the AX vocabulary
// has, or, without a counterpart there, as "AX" + its name in camel case.
TEST(Vocabulary, EveryRoleHasAnAxNameOrItsOwnInCamelCase) {
    const std::set<std::string_view> ax{
        "AXApplication", "AXButton", "AXCell", "AXCheckBox", "AXComboBox", "AXDialog",
        "AXGroup", "AXHeading", "AXImage", "AXIncrementor", "AXLevelIndicator", "AXLink",
        "AXList", "AXMenu", "AXMenuBar", "AXMenuButton", "AXMenuItem", "AXOutline",
        "AXPopUpButton", "AXProgressIndicator", "AXRadioButton", "AXRow", "AXScrollArea",
        "AXScrollBar", "AXSecureTextField", "AXSlider", "AXSplitGroup", "AXStaticText",
        "AXTabButton", "AXTabGroup", "AXTable", "AXTextArea", "AXTextField", "AXToggle",
        "AXToolbar", "AXUnknown", "AXWindow"};
    for (int r = 0; r < ATSPI_ROLE_LAST_DEFINED; ++r) {
        gchar* atspiName = atspi_role_get_name(static_cast<AtspiRole>(r));
        ASSERT_NE(atspiName, nullptr) << r;
        const std::string derived = atspi::axRoleFromAtspiName(atspiName);
        g_free(atspiName);
        auto entry = atspi::roleEntry(static_cast<uint32_t>(r));
        ASSERT_TRUE(entry.has_value()) << derived;
        EXPECT_TRUE(entry->role == derived || ax.count(entry->role)) << derived;
        for (auto other : {entry->subrole, entry->variantRole})
            EXPECT_TRUE(other.empty() || ax.count(other)) << derived;
    }
    EXPECT_FALSE(atspi::roleEntry(ATSPI_ROLE_LAST_DEFINED).has_value());
}

TEST(Vocabulary, TheFirstActionAToolkitNamesAPressIsPress) {
    using Actions = std::vector<std::pair<std::string, int>>;
    const std::vector<std::pair<std::vector<std::optional<std::string>>, Actions>> cases{
        {{"Click"}, {{"AXPress", 0}}}, {{"jump"}, {{"AXPress", 0}}}, {{"toggle"}, {{"AXPress", 0}}},
        {{"expand or contract", "activate"}, {{"AXExpandOrContract", 0}, {"AXPress", 1}}},
        {{"press", "activate"}, {{"AXPress", 0}, {"AXActivate", 1}}},
        {{"click", "press"}, {{"AXPress", 0}}},  // not AXPress twice: the first one wins
        {{"show-menu", "ShowMenu"}, {{"AXShowMenu", 0}, {"AXPress", 1}}},  // Qt's menu is the press
        {{"clickAncestor", "doDefault", "showContextMenu"}, {{"AXClickancestor", 0}, {"AXPress", 1}, {"AXShowcontextmenu", 2}}},
        {{"SetFocus", "Toggle"}, {{"AXSetfocus", 0}, {"AXPress", 1}}},
        {{"uncheck"}, {{"AXPress", 0}}}, {{"select"}, {{"AXPress", 0}}}, {{"open"}, {{"AXPress", 0}}},
        {{"menu.popup", "clipboard.copy"}, {{"AXMenuPopup", 0}, {"AXClipboardCopy", 1}}},
        {{"", "click"}, {{"AXPress", 1}}},
        {{""}, {{"AXPress", 0}}},  // LibreOffice's menu bar menus: their one action has no name
        {{std::nullopt}, {}},       // a name too long to read is not an empty one
        {{std::nullopt, "click"}, {{"AXPress", 1}}},
    };
    for (const auto& [names, expected] : cases)
        EXPECT_EQ(atspi::axActions(names), expected) << names[0].value_or("(not read)");
}

// Wheel notches round up and stay bounded; a coordinate lands on the pixel
// that holds it, within X's 16-bit range.
TEST(Pointer, WheelNotchesAndPixels) {
    const std::tuple<bool, double, int> rows[] = {  // wheel notches, or a coordinate's pixel
        {true, 0, 0},       {true, 1, 1},       {true, 50, 1},          {true, 51, 2},
        {true, -51, -2},    {true, 5001, 100},  {true, INT32_MAX, 100}, {true, INT32_MIN, -100},
        {false, 10.99, 10}, {false, -0.5, -1},  {false, 1e9, 32767},    {false, -1e9, -32768},
        {false, NAN, 0},    {false, INFINITY, 0}};
    for (auto [wheel, in, out] : rows)
        EXPECT_EQ(wheel ? x11::wheelNotches(static_cast<int32_t>(in)) : x11::pixelOf(in), out) << in;
}

}  // namespace
}  // namespace nuvra
