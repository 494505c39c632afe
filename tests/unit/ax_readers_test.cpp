#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ax/readers.h"
#include "platform/fake/fake_desktop.h"

namespace nuvra {
namespace {

// How one attribute is stored on the fake: a value, a failing read (code),
// a successful read without a value, or no attribute at all.
struct Stored {
    enum Kind { Value, Error, Null, Missing } kind = Missing;
    AttrValue value;
    AXResult code = 0;
};

Stored value(AttrValue v) { return {Stored::Value, std::move(v), 0}; }
Stored error(AXResult code) { return {Stored::Error, {}, code}; }
Stored null() { return {Stored::Null, {}, 0}; }
Stored missing() { return {}; }

void store(FakeDesktop& fake, const Element& e, const std::string& attribute, const Stored& s) {
    switch (s.kind) {
        case Stored::Value: fake.set(e, attribute, s.value); break;
        case Stored::Error: fake.setError(e, attribute, s.code); break;
        case Stored::Null: fake.setNull(e, attribute); break;
        case Stored::Missing: break;
    }
}

struct StringCase {
    const char* name;
    Stored stored;
    std::optional<std::string> expected;
    size_t reads;
};

TEST(AxString, TypeTestsAndReadCounts) {
    const std::vector<StringCase> cases = {
        {"plain text", value(AttrValue::plainText("Hello")), "Hello", 1},
        {"white space is text", value(AttrValue::plainText("  ")), "  ", 1},
        {"empty plain text", value(AttrValue::plainText("")), std::nullopt, 2},
        {"attributed text", value(AttrValue::attributedText("Bold")), "Bold", 2},
        {"empty attributed text", value(AttrValue::attributedText("")), std::nullopt, 2},
        {"number", value(AttrValue::integer(7)), std::nullopt, 2},
        {"boolean", value(AttrValue::boolean(true)), std::nullopt, 2},
        {"array", value(AttrValue::array({AttrValue::plainText("x")})), std::nullopt, 2},
        {"point box", value(AttrValue::pointBox(1, 2)), std::nullopt, 2},
        {"other", value(AttrValue::other()), std::nullopt, 2},
        {"read fails", error(kAXCannotComplete), std::nullopt, 2},
        {"no value", null(), std::nullopt, 2},
        {"missing", missing(), std::nullopt, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop fake;
        Element e = fake.element("el");
        store(fake, e, "AXTitle", c.stored);
        EXPECT_EQ(axString(fake, e, "AXTitle"), c.expected);
        EXPECT_EQ(fake.calls("read el AXTitle").size(), c.reads);
        EXPECT_EQ(fake.log().size(), c.reads);
    }
}

TEST(AxString, SecondReadSeesTheAttributeAfresh) {
    // The other application may change the attribute between the two reads;
    // the second read's answer is the one that counts.
    FakeDesktop fake;
    Element e = fake.element("el");
    int reads = 0;
    fake.beforeRead = [&](const Element& el, std::string_view attribute) {
        if (attribute == "AXTitle" && ++reads == 2) fake.set(el, "AXTitle", AttrValue::attributedText("Later"));
    };
    fake.setText(e, "AXTitle", "");
    EXPECT_EQ(axString(fake, e, "AXTitle"), "Later");
}

struct BoolCase {
    const char* name;
    Stored stored;
    std::optional<bool> expected;
};

TEST(AxBool, OnlyNumbersRead) {
    const std::vector<BoolCase> cases = {
        {"true", value(AttrValue::boolean(true)), true},
        {"false", value(AttrValue::boolean(false)), false},
        {"zero", value(AttrValue::integer(0)), false},
        {"other integer", value(AttrValue::integer(-4)), true},
        {"fraction", value(AttrValue::floating(0.25)), true},
        {"text", value(AttrValue::plainText("true")), std::nullopt},
        {"read fails", error(kAXAttributeUnsupported), std::nullopt},
        {"no value", null(), std::nullopt},
        {"missing", missing(), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop fake;
        Element e = fake.element("el");
        store(fake, e, "AXEnabled", c.stored);
        EXPECT_EQ(axBool(fake, e, "AXEnabled"), c.expected);
        EXPECT_EQ(fake.log().size(), 1u);
    }
}

TEST(AxActions, KeepsStringEntriesInOrder) {
    FakeDesktop fake;
    Element e = fake.element("el");
    fake.setActionNames(e, AttrValue::array({AttrValue::plainText("AXPress"), AttrValue::integer(3),
                                             AttrValue::attributedText("AXRaise"),
                                             AttrValue::plainText("AXShowMenu")}));
    EXPECT_EQ(axActions(fake, e), (std::vector<std::string>{"AXPress", "AXShowMenu"}));
    EXPECT_EQ(fake.log(), (std::vector<std::string>{"actions el"}));

    fake.setActionNames(e, AttrValue::plainText("AXPress"));
    EXPECT_TRUE(axActions(fake, e).empty());
    fake.setActionNames(e, std::nullopt);
    EXPECT_TRUE(axActions(fake, e).empty());
    fake.setActionNames(e, AttrValue::array({AttrValue::plainText("AXPress")}), kAXFailure);
    EXPECT_TRUE(axActions(fake, e).empty());
}

TEST(AxChildren, KeepsElementEntriesInOrder) {
    FakeDesktop fake;
    Element parent = fake.element("parent");
    Element a = fake.element("a");
    Element b = fake.element("b");
    fake.set(parent, "AXChildren",
             AttrValue::array({AttrValue::elementRef(b), AttrValue::plainText("a"),
                               AttrValue::pointBox(0, 0), AttrValue::elementRef(a)}));
    std::vector<Element> children = axChildren(fake, parent);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(fake.nameOf(children[0]), "b");
    EXPECT_EQ(fake.nameOf(children[1]), "a");

    fake.set(parent, "AXChildren", AttrValue::elementRef(a));
    EXPECT_TRUE(axChildren(fake, parent).empty());
    fake.setError(parent, "AXChildren", kAXFailure);
    EXPECT_TRUE(axChildren(fake, parent).empty());
}

TEST(AxGeometry, BoxesMustHoldTheirOwnKind) {
    FakeDesktop fake;
    Element e = fake.element("el");
    fake.setPosition(e, -3.5, 12);
    fake.setSize(e, 800, 600.25);
    auto point = axPoint(fake, e);
    auto size = axSize(fake, e);
    ASSERT_TRUE(point && size);
    EXPECT_EQ(point->x, -3.5);
    EXPECT_EQ(point->y, 12);
    EXPECT_EQ(size->width, 800);
    EXPECT_EQ(size->height, 600.25);
    EXPECT_EQ(fake.log(), (std::vector<std::string>{"read el AXPosition", "read el AXSize"}));

    fake.set(e, "AXPosition", AttrValue::sizeBox(1, 2));
    fake.set(e, "AXSize", AttrValue::pointBox(1, 2));
    EXPECT_FALSE(axPoint(fake, e));
    EXPECT_FALSE(axSize(fake, e));
    fake.set(e, "AXPosition", AttrValue::otherBox());
    fake.set(e, "AXSize", AttrValue::array({}));
    EXPECT_FALSE(axPoint(fake, e));
    EXPECT_FALSE(axSize(fake, e));
}

TEST(AxReaders, ElementOfAQuitApplicationReadsAsAbsent) {
    FakeDesktop fake;
    Element e = fake.element("el", "AXButton", "OK");
    fake.set(e, "AXEnabled", AttrValue::boolean(true));
    fake.setFrame(e, 0, 0, 10, 10);
    fake.setChildren(e, {fake.element("child")});
    fake.setActions(e, {"AXPress"});
    fake.removeElement(e);
    EXPECT_FALSE(axCopy(fake, e, "AXRole"));
    EXPECT_FALSE(axString(fake, e, "AXTitle"));
    EXPECT_FALSE(axBool(fake, e, "AXEnabled"));
    EXPECT_FALSE(axPoint(fake, e));
    EXPECT_FALSE(axSize(fake, e));
    EXPECT_TRUE(axChildren(fake, e).empty());
    EXPECT_TRUE(axActions(fake, e).empty());
}

}  // namespace
}  // namespace nuvra
