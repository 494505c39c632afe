// Every kind of attribute value the accessibility interface hands out, read
// through copyAttributeValue and translated; the stand-in's finish() then
// proves each copied value was released exactly once.
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

#include "standin_fixture.h"

namespace nuvra::macos::testing {
namespace {

using ValueTranslation = StandinTest;

struct ValueCase {
    const char* name;
    std::function<CFTypeRef()> make;
    std::string expected;
};

TEST_F(ValueTranslation, EveryValueKind) {
    const ValueCase cases[] = {
        {"plain string", [] { return standin::string("Save as"); }, "Text \"Save as\""},
        {"empty string", [] { return standin::string(""); }, "Text \"\""},
        {"non-BMP and combining marks",
         [] { return standin::string("Gru\xCC\x88\xC3\x9F" "e \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"); },
         "Text \"Gru\xCC\x88\xC3\x9F" "e \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD\""},
        {"unpaired surrogates", [] { return standin::utf16String(u"a\xD800" "b\xDC00\xD800"); },
         "Text \"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"embedded NUL", [] { return standin::utf16String(std::u16string(u"a\0b", 3)); },
         std::string("Text \"a\0b\"", 10)},
        {"attributed string", [] { return standin::attributedString("Hello"); },
         "AttributedText \"Hello\""},
        {"attributed string without text", [] { return standin::attributedStringWithoutText(); },
         "AttributedText \"\""},
        {"integer zero", [] { return standin::integer(0); }, "Number Integer 0"},
        {"negative integer", [] { return standin::integer(-7); }, "Number Integer -7"},
        {"largest integer", [] { return standin::integer(std::numeric_limits<int64_t>::max()); },
         "Number Integer 9223372036854775807"},
        {"fraction", [] { return standin::floating(0.5); }, "Number Floating 0.5"},
        {"whole floating", [] { return standin::floating(3.0); }, "Number Floating 3"},
        {"large unsigned", [] { return standin::largeUnsigned(std::numeric_limits<uint64_t>::max()); },
         "Number Floating 1.8446744073709552e+19"},
        {"true", [] { return CFTypeRef(kCFBooleanTrue); }, "Number Boolean 1"},
        {"false", [] { return CFTypeRef(kCFBooleanFalse); }, "Number Boolean 0"},
        {"empty array", [] { return standin::array({}); }, "Array []"},
        {"mixed array",
         [] {
             return standin::array({standin::string("a"), standin::integer(1), kCFBooleanTrue,
                                    standin::element("row"), standin::otherObject()});
         },
         "Array [Text \"a\", Number Integer 1, Number Boolean 1, Element, Other]"},
        {"nested array",
         [] { return standin::array({standin::array({standin::pointBox(1, 2)})}); },
         "Array [Array [PointBox 1.000000,2.000000]]"},
        {"element", [] { return standin::element("window"); }, "Element"},
        {"point box", [] { return standin::pointBox(10, 20.5); }, "PointBox 10.000000,20.500000"},
        {"size box", [] { return standin::sizeBox(1440, 875); }, "SizeBox 1440.000000,875.000000"},
        {"rect box", [] { return standin::rectBox(1, 2, 3, 4); }, "OtherBox"},
        {"range box", [] { return standin::rangeBox(0, 5); }, "OtherBox"},
        {"other type", [] { return standin::otherObject(); }, "Other"},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AXUIElementRef field = standin::element("field");
        standin::setAttribute(field, "AXValue", kAXErrorSuccess, c.make());
        std::optional<AttrValue> out;
        ASSERT_EQ(platform->copyAttributeValue(held(field), "AXValue", out), 0);
        ASSERT_TRUE(out.has_value());
        EXPECT_EQ(render(*out), c.expected);
    }
}

TEST_F(ValueTranslation, AnElementValueIsRetainedWhileTheValueLives) {
    const AXUIElementRef app = standin::element("app");
    const AXUIElementRef window = standin::element("window");
    standin::setAttribute(app, "AXFocusedWindow", kAXErrorSuccess, window);
    ASSERT_EQ(standin::references(window), 2);  // the test's and the attribute's
    {
        std::optional<AttrValue> out;
        ASSERT_EQ(platform->copyAttributeValue(held(app), "AXFocusedWindow", out), 0);
        ASSERT_EQ(out->kind, ValueKind::ElementRef);
        EXPECT_EQ(standin::references(window), 3);
        EXPECT_EQ(platform->identityHash(out->element),
                  platform->identityHash(held(window)));
    }
    EXPECT_EQ(standin::references(window), 2);
}

TEST_F(ValueTranslation, ChildrenArraysKeepOrderAndSkipNothing) {
    const AXUIElementRef window = standin::element("window");
    standin::setAttribute(
        window, "AXChildren", kAXErrorSuccess,
        standin::array({standin::element("toolbar"), standin::string("not an element"),
                        standin::element("group")}));
    std::optional<AttrValue> out;
    ASSERT_EQ(platform->copyAttributeValue(held(window), "AXChildren", out), 0);
    ASSERT_EQ(render(*out), "Array [Element, Text \"not an element\", Element]");
    std::optional<AttrValue> role;
    // The entries are usable handles: reading through one reaches its element.
    EXPECT_EQ(platform->copyAttributeValue(out->items[2].element, "AXRole", role),
              kAXErrorAttributeUnsupported);
    EXPECT_EQ(standin::calls().back(), "AXUIElementCopyAttributeValue group AXRole");
}

TEST_F(ValueTranslation, DeeplyNestedArraysStopAtTheBound) {
    CFTypeRef value = standin::string("leaf");
    for (int i = 0; i < 40; ++i) value = standin::array({value});
    const AXUIElementRef field = standin::element("field");
    standin::setAttribute(field, "AXValue", kAXErrorSuccess, value);
    std::optional<AttrValue> out;
    ASSERT_EQ(platform->copyAttributeValue(held(field), "AXValue", out), 0);
    int arrays = 0;
    const AttrValue* at = &*out;
    while (at->kind == ValueKind::Array) {
        ++arrays;
        ASSERT_EQ(at->items.size(), 1u);
        at = &at->items[0];
    }
    EXPECT_EQ(arrays, 32);
    EXPECT_EQ(at->kind, ValueKind::Other);
}

}  // namespace
}  // namespace nuvra::macos::testing
