#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ax/targeting.h"
#include "platform/fake/fake_desktop.h"

namespace nuvra {
namespace {

RunningApplication app(int32_t pid, std::optional<std::string> bundle,
                       std::optional<std::string> name, int64_t policy = 0, bool active = false) {
    RunningApplication a;
    a.processIdentifier = pid;
    a.bundleIdentifier = std::move(bundle);
    a.localizedName = std::move(name);
    a.activationPolicy = policy;
    a.isActive = active;
    return a;
}

// One desktop that holds every situation the name rules tell apart.
void addWorkspace(FakeDesktop& fake) {
    fake.addApp(app(101, "com.example.editor", "\u00C9diteur"), fake.element("editor"));
    fake.addApp(app(201, "com.example.notes", "Notes"), fake.element("notes1"));
    fake.addApp(app(202, "com.example.notes", "Notes"), fake.element("notes2"));
    fake.addApp(app(301, "com.example.Mail", "Mail"), fake.element("mail"));
    fake.addApp(app(401, "Finder", "Files"), fake.element("files"));
    fake.addApp(app(402, "com.apple.finder", "Finder"), fake.element("finder"));
    fake.addApp(app(501, "com.example.agent", "Agent", 1), fake.element("agent"));
    fake.addApp(app(502, "com.example.helper", "Helper", 2), fake.element("helper"));
    fake.addApp(app(601, "com.example.caf\u00E9", "Cafe Tool"), fake.element("cafe"));
    fake.addApp(app(701, std::nullopt, "Bare"), fake.element("bare"));
}

struct NameCase {
    const char* name;
    std::string given;
    int32_t pid;  // -1: none
};

TEST(ResolveApp, NameRules) {
    const std::vector<NameCase> cases = {
        {"bundle identifier", "com.example.editor", 101},
        {"display name", "\u00C9diteur", 101},
        {"display name without accent or case", "editeur", 101},
        {"display name in upper case", "EDITEUR", 101},
        {"two copies by bundle identifier", "com.example.notes", -1},
        {"two copies by display name", "Notes", -1},
        {"bundle identifier beats display name", "Finder", 401},
        {"bundle identifier is case-sensitive", "COM.EXAMPLE.MAIL", -1},
        {"display name ignores case", "mail", 301},
        {"leading space", " Mail", -1},
        {"trailing space", "Mail ", -1},
        {"no prefix match", "Mai", -1},
        {"non-regular never by bundle identifier", "com.example.agent", -1},
        {"non-regular never by display name", "Helper", -1},
        {"canonically equivalent bundle identifier", "com.example.cafe\u0301", 601},
        {"without bundle identifier", "bare", 701},
        {"process number is not a name", "101", -1},
        {"not UTF-8", "\xC9" "diteur", -1},
        {"empty name matches no named application", "", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop fake;
        addWorkspace(fake);
        std::optional<RunningApplication> found = resolveApp(fake, c.given);
        if (c.pid < 0) {
            EXPECT_FALSE(found) << "found " << found->processIdentifier;
        } else {
            ASSERT_TRUE(found);
            EXPECT_EQ(found->processIdentifier, c.pid);
        }
    }
}

TEST(ResolveApp, EmptyNameMatchesOneApplicationWithoutDisplayName) {
    FakeDesktop fake;
    addWorkspace(fake);
    fake.addApp(app(801, "com.example.unnamed", std::nullopt), fake.element("unnamed"));
    auto found = resolveApp(fake, "");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->processIdentifier, 801);

    fake.addApp(app(802, "com.example.blank", ""), fake.element("blank"));
    EXPECT_FALSE(resolveApp(fake, ""));
    // A name made only of marks folds to nothing, yet names nothing.
    EXPECT_FALSE(resolveApp(fake, "\u0301"));
}

TEST(ResolveApp, ReadsTheListOnce) {
    FakeDesktop fake;
    addWorkspace(fake);
    ASSERT_TRUE(resolveApp(fake, "mail"));
    EXPECT_EQ(fake.log(), (std::vector<std::string>{"apps"}));
}

TEST(FrontmostApp, FirstActiveOfAnyPolicy) {
    FakeDesktop fake;
    EXPECT_FALSE(frontmostApp(fake));
    fake.addApp(app(1, "a", "A"), fake.element("a"));
    EXPECT_FALSE(frontmostApp(fake));
    fake.addApp(app(2, "b", "B", 1, true), fake.element("b"));
    fake.addApp(app(3, "c", "C", 0, true), fake.element("c"));
    auto found = frontmostApp(fake);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->processIdentifier, 2);
}

struct WindowCase {
    const char* name;
    std::optional<AttrValue> focused;  // nullopt: attribute missing
    std::optional<AttrValue> main;
    bool withChildren;
    std::string chosen;  // "" for none
    std::vector<std::string> reads;
};

TEST(ChosenWindow, FocusedThenMainThenFirstChild) {
    FakeDesktop fake;
    Element appEl = fake.element("app");
    Element focusedWin = fake.element("focusedWin");
    Element mainWin = fake.element("mainWin");
    Element first = fake.element("first");
    Element second = fake.element("second");
    const std::vector<std::string> all = {"read app AXFocusedWindow", "read app AXMainWindow",
                                          "read app AXChildren"};
    const std::vector<WindowCase> cases = {
        {"focused window", AttrValue::elementRef(focusedWin), AttrValue::elementRef(mainWin), true,
         "focusedWin", {"read app AXFocusedWindow"}},
        {"main window", std::nullopt, AttrValue::elementRef(mainWin), true, "mainWin",
         {"read app AXFocusedWindow", "read app AXMainWindow"}},
        {"focused of another type", AttrValue::plainText("win"), AttrValue::elementRef(mainWin),
         true, "mainWin", {"read app AXFocusedWindow", "read app AXMainWindow"}},
        {"first child", std::nullopt, AttrValue::array({}), true, "first", all},
        {"nothing", std::nullopt, std::nullopt, false, "", all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake.unset(appEl, "AXFocusedWindow");
        fake.unset(appEl, "AXMainWindow");
        fake.unset(appEl, "AXChildren");
        if (c.focused) fake.set(appEl, "AXFocusedWindow", *c.focused);
        if (c.main) fake.set(appEl, "AXMainWindow", *c.main);
        if (c.withChildren)
            fake.set(appEl, "AXChildren",
                     AttrValue::array({AttrValue::plainText("menu"), AttrValue::elementRef(first),
                                       AttrValue::elementRef(second)}));
        fake.clearLog();
        Element chosen = chosenWindow(fake, appEl);
        EXPECT_EQ(chosen ? fake.nameOf(chosen) : "", c.chosen);
        EXPECT_EQ(fake.log(), c.reads);
    }
}

}  // namespace
}  // namespace nuvra
