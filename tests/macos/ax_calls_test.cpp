// The accessibility calls: arguments as passed, result codes as answered,
// output slots as the Platform contract states, and ownership of everything
// copied or created (checked by the fixture after each test).
#include <optional>
#include <string>
#include <vector>

#include "standin_fixture.h"

namespace nuvra::macos::testing {
namespace {

using AccessibilityCalls = StandinTest;
using Calls = std::vector<std::string>;

enum class Slot { Untouched, Empty, Value };

struct ReadCase {
    const char* name;
    AXError code;
    bool value;  // whether the platform fills the output slot
    AXResult expectedCode;
    Slot expectedSlot;
};

TEST_F(AccessibilityCalls, AttributeReadResultCodesAndSlots) {
    const ReadCase cases[] = {
        {"value", kAXErrorSuccess, true, 0, Slot::Value},
        {"success without a value", kAXErrorSuccess, false, 0, Slot::Empty},
        {"no value", kAXErrorNoValue, false, -25212, Slot::Untouched},
        {"failure that still filled the slot", kAXErrorCannotComplete, true, -25204,
         Slot::Untouched},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AXUIElementRef field = standin::element("field");
        standin::setAttribute(field, "AXTitle", c.code,
                              c.value ? standin::string("Title") : nullptr);
        std::optional<AttrValue> out = AttrValue::plainText("before");
        EXPECT_EQ(platform->copyAttributeValue(held(field), "AXTitle", out), c.expectedCode);
        switch (c.expectedSlot) {
            case Slot::Untouched: EXPECT_EQ(render(*out), "Text \"before\""); break;
            case Slot::Empty: EXPECT_FALSE(out.has_value()); break;
            case Slot::Value: EXPECT_EQ(render(*out), "Text \"Title\""); break;
        }
    }
}

TEST_F(AccessibilityCalls, UnreadableElementsAndAttributes) {
    const AXUIElementRef window = standin::element("window");
    std::optional<AttrValue> out;
    EXPECT_EQ(platform->copyAttributeValue(held(window), "AXSubrole", out),
              kAXErrorAttributeUnsupported);
    standin::quit(window);
    EXPECT_EQ(platform->copyAttributeValue(held(window), "AXRole", out),
              kAXErrorInvalidUIElement);
    EXPECT_EQ(platform->copyAttributeValue(Element(), "AXRole", out), kAXErrorInvalidUIElement);
    EXPECT_FALSE(out.has_value());
    EXPECT_EQ(standin::calls(), (Calls{"AXUIElementCopyAttributeValue window AXSubrole",
                                       "AXUIElementCopyAttributeValue window AXRole"}));
}

TEST_F(AccessibilityCalls, ActionNamesKeepEveryEntryInOrder) {
    const AXUIElementRef button = standin::element("button");
    standin::setActionNames(button, kAXErrorSuccess,
                            standin::array({standin::string("AXPress"), standin::integer(3),
                                            standin::string("AXShowMenu")}));
    std::optional<AttrValue> out;
    ASSERT_EQ(platform->copyActionNames(held(button), out), 0);
    EXPECT_EQ(render(*out), "Array [Text \"AXPress\", Number Integer 3, Text \"AXShowMenu\"]");

    const AXUIElementRef broken = standin::element("broken");
    standin::setActionNames(broken, kAXErrorFailure, standin::array({standin::string("AXPress")}));
    std::optional<AttrValue> untouched;
    EXPECT_EQ(platform->copyActionNames(held(broken), untouched), kAXErrorFailure);
    EXPECT_FALSE(untouched.has_value());

    const AXUIElementRef bare = standin::element("bare");
    standin::setActionNames(bare, kAXErrorSuccess, nullptr);
    std::optional<AttrValue> empty = AttrValue::other();
    EXPECT_EQ(platform->copyActionNames(held(bare), empty), 0);
    EXPECT_FALSE(empty.has_value());
}

TEST_F(AccessibilityCalls, PerformActionPassesTheNameAndTheAnswer) {
    const AXError answers[] = {kAXErrorSuccess, kAXErrorActionUnsupported, kAXErrorCannotComplete};
    for (AXError answer : answers) {
        SCOPED_TRACE(answer);
        standin::clearCalls();
        const AXUIElementRef button = standin::element("button");
        standin::setPerformResult(button, answer);
        EXPECT_EQ(platform->performAction(held(button), "AXPress"), answer);
        EXPECT_EQ(standin::calls(), (Calls{"AXUIElementPerformAction button AXPress"}));
    }
}

TEST_F(AccessibilityCalls, SetValueWritesTheTextAsAStringAndReleasesIt) {
    const AXError answers[] = {kAXErrorSuccess, kAXErrorAttributeUnsupported};
    for (AXError answer : answers) {
        SCOPED_TRACE(answer);
        standin::clearCalls();
        const AXUIElementRef field = standin::element("field");
        standin::setWriteResult(field, answer);
        EXPECT_EQ(platform->setAttributeValue(held(field), "AXValue", "hello w\xC3\xB6rld"), answer);
        EXPECT_EQ(standin::calls(),
                  (Calls{"AXUIElementSetAttributeValue field AXValue \"hello w\xC3\xB6rld\""}));
    }
}

TEST_F(AccessibilityCalls, ApplicationElementReachesTheApplication) {
    const AXUIElementRef root = standin::element("Notes");
    standin::setApplication(42, root);
    standin::setAttribute(root, "AXTitle", kAXErrorSuccess, standin::string("Notes"));
    const Element app = platform->createApplicationElement(42);
    ASSERT_TRUE(app);
    EXPECT_EQ(platform->identityHash(app), platform->identityHash(held(root)));
    std::optional<AttrValue> title;
    EXPECT_EQ(platform->copyAttributeValue(app, "AXTitle", title), 0);
    EXPECT_EQ(render(*title), "Text \"Notes\"");

    const Element gone = platform->createApplicationElement(7);
    ASSERT_TRUE(gone);
    EXPECT_EQ(platform->copyAttributeValue(gone, "AXTitle", title), kAXErrorInvalidUIElement);
    EXPECT_EQ(standin::calls(), (Calls{"AXUIElementCreateApplication 42",
                                       "AXUIElementCopyAttributeValue Notes AXTitle",
                                       "AXUIElementCreateApplication 7",
                                       "AXUIElementCopyAttributeValue pid 7 AXTitle"}));
}

struct HitCase {
    const char* name;
    AXError code;
    bool element;
    AXResult expectedCode;
    Slot expectedSlot;
};

TEST_F(AccessibilityCalls, ElementAtPosition) {
    const HitCase cases[] = {
        {"found", kAXErrorSuccess, true, 0, Slot::Value},
        {"success without an element", kAXErrorSuccess, false, 0, Slot::Empty},
        {"nothing there", kAXErrorNoValue, false, -25212, Slot::Untouched},
        {"failure that still filled the slot", kAXErrorCannotComplete, true, -25204,
         Slot::Untouched},
    };
    for (const HitCase& c : cases) {
        SCOPED_TRACE(c.name);
        standin::clearCalls();
        const AXUIElementRef button = standin::element("button");
        const AXUIElementRef before = standin::element("before");
        standin::setElementAtPosition(c.code, c.element ? button : nullptr);
        const Element systemWide = platform->createSystemWideElement();
        Element out = held(before);
        EXPECT_EQ(platform->copyElementAtPosition(systemWide, 10.5f, 20.25f, out),
                  c.expectedCode);
        switch (c.expectedSlot) {
            case Slot::Untouched:
                EXPECT_EQ(platform->identityHash(out), platform->identityHash(held(before)));
                break;
            case Slot::Empty: EXPECT_FALSE(out); break;
            case Slot::Value:
                EXPECT_EQ(platform->identityHash(out), platform->identityHash(held(button)));
                break;
        }
        EXPECT_EQ(standin::calls(), (Calls{"AXUIElementCreateSystemWide",
                                           "AXUIElementCopyElementAtPosition systemWide 10.5,20.25"}));
    }
}

TEST_F(AccessibilityCalls, IdentityIsTheElementsHashNotTheHandle) {
    const AXUIElementRef window = standin::element("window");
    const AXUIElementRef sameWindow = standin::anotherHandle(window);
    const AXUIElementRef other = standin::element("other");
    EXPECT_EQ(platform->identityHash(held(window)), platform->identityHash(held(sameWindow)));
    EXPECT_NE(platform->identityHash(held(window)), platform->identityHash(held(other)));
    EXPECT_EQ(platform->identityHash(Element()), 0u);
}

TEST_F(AccessibilityCalls, TrustIsAskedEveryTime) {
    standin::setTrusted(false);
    EXPECT_FALSE(platform->isProcessTrusted());
    standin::setTrusted(true);
    EXPECT_TRUE(platform->isProcessTrusted());
    EXPECT_EQ(standin::calls(), (Calls{"AXIsProcessTrusted", "AXIsProcessTrusted"}));
}

}  // namespace
}  // namespace nuvra::macos::testing
