// Trees no well-behaved application would show: huge, deep, cyclic,
// self-contradicting. The walk must end in bounded time and memory with the
// documented output, never crash or recurse without bound.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "observation/run.h"
#include "observation/tree.h"
#include "platform/fake/fake_desktop.h"

namespace nuvra {
namespace {

// A desktop whose elements are numbers and whose children are computed on
// demand, so a million-child root or a 100,000-deep chain costs no memory
// until the walk asks for it.
class GeneratedDesktop : public Platform {
public:
    struct Id : ElementObject {
        explicit Id(uint64_t v) : value(v) {}
        uint64_t value;
    };
    std::function<std::vector<uint64_t>(uint64_t)> children;
    uint64_t reads = 0;

    static uint64_t idOf(const Element& e) { return static_cast<const Id&>(*e).value; }
    static Element make(uint64_t v) { return std::make_shared<Id>(v); }

    bool isProcessTrusted() override { return true; }
    Element createApplicationElement(int32_t) override { return make(0); }
    Element createSystemWideElement() override { return make(0); }
    AXResult copyElementAtPosition(const Element&, float, float, Element&) override { return -1; }
    AXResult copyAttributeValue(const Element& e, std::string_view attribute,
                                std::optional<AttrValue>& out) override {
        ++reads;
        if (attribute == "AXRole") {
            out = AttrValue::plainText("AXRow");
        } else if (attribute == "AXChildren") {
            std::vector<AttrValue> items;
            for (uint64_t c : children(idOf(e))) items.push_back(AttrValue::elementRef(make(c)));
            out = AttrValue::array(std::move(items));
        } else {
            return kAXNoValue;
        }
        return kAXSuccess;
    }
    AXResult copyActionNames(const Element&, std::optional<AttrValue>&) override { return -1; }
    AXResult performAction(const Element&, std::string_view) override { return -1; }
    AXResult setAttributeValue(const Element&, std::string_view, std::string_view) override {
        return -1;
    }
    uint64_t identityHash(const Element& e) override { return idOf(e); }
    std::vector<RunningApplication> runningApplications() override { return {}; }
    bool equalIgnoringCaseAndDiacritics(std::string_view, std::string_view) override {
        return false;
    }
    Event createMouseEvent(int32_t, ScreenPoint, int32_t) override { return nullptr; }
    Event createScrollWheelEvent(int32_t, int32_t, int32_t) override { return nullptr; }
    void postEvent(const Event&) override {}
    void sleepMicroseconds(uint32_t) override {}
};

TEST(HostileTrees, MillionChildrenUnderASmallNodeLimit) {
    GeneratedDesktop d;
    d.children = [](uint64_t id) {
        std::vector<uint64_t> out;
        if (id == 0) {
            out.resize(1'000'000);
            for (uint64_t i = 0; i < out.size(); ++i) out[i] = i + 1;
        }
        return out;
    };
    auto tree = observeTree(d, GeneratedDesktop::make(0), 100, 5, 1'000'000);
    EXPECT_EQ(tree.elements.size(), 100u);
    EXPECT_TRUE(tree.truncated);
    EXPECT_EQ(tree.lines[99], "  [e100] AXRow");
    // Only recorded elements are read: 100 elements, at most sixteen reads each.
    EXPECT_LE(d.reads, 100u * 16);
}

TEST(HostileTrees, ChainOneHundredThousandDeep) {
    GeneratedDesktop d;
    const uint64_t depth = 100'000;
    d.children = [&](uint64_t id) {
        return id < depth ? std::vector<uint64_t>{id + 1} : std::vector<uint64_t>{};
    };
    auto tree = observeTree(d, GeneratedDesktop::make(0), 1'000'000, 1'000'000, 100'000'000);
    EXPECT_EQ(tree.elements.size(), depth + 1);
    EXPECT_FALSE(tree.truncated);
    // Indentation stops at 40 spaces however deep the element.
    EXPECT_EQ(tree.lines.back(), std::string(40, ' ') + "[e100001] AXRow");
    EXPECT_EQ(tree.elements.back().hashLine, "100001|AXRow||||true|false");
}

TEST(HostileTrees, CyclesAndSharedIdentities) {
    FakeDesktop d;
    Element root = d.element("root", "AXWindow"), a = d.element("a", "AXGroup"),
            b = d.element("b", "AXGroup"), c = d.element("c", "AXGroup"),
            twin = d.element("twin", "AXButton", "Twin");
    d.setChildren(root, {root, a, a});          // its own child, a child listed twice
    d.setChildren(a, {b});
    d.setChildren(b, {c});
    d.setChildren(c, {a, root, twin});          // a cycle through three levels
    d.setIdentityHash(twin, d.identityHash(b)); // a different element, the same identity
    auto tree = observeTree(d, root, 100, 100, 100000);
    std::vector<std::string> expected = {"[e1] AXWindow", "  [e2] AXGroup", "    [e3] AXGroup",
                                         "      [e4] AXGroup"};
    EXPECT_EQ(tree.lines, expected);
    EXPECT_FALSE(tree.truncated);
}

TEST(HostileTrees, ChildrenListsHoldingOtherThings) {
    FakeDesktop d;
    Element root = d.element("root", "AXWindow"), ok = d.element("ok", "AXButton", "OK");
    d.set(root, "AXChildren",
          AttrValue::array({AttrValue::plainText("AXButton"), AttrValue::integer(7),
                            AttrValue::array({AttrValue::elementRef(ok)}), AttrValue::pointBox(1, 2),
                            AttrValue::other(), AttrValue::elementRef(ok)}));
    auto tree = observeTree(d, root, 100, 100, 100000);
    EXPECT_EQ(tree.lines, (std::vector<std::string>{"[e1] AXWindow", "  [e2] AXButton \"OK\""}));
}

TEST(HostileTrees, EveryReadFailing) {
    FakeDesktop d;
    Element app = d.element("app"), window = d.element("window"), child = d.element("child");
    for (const char* attr : {"AXRole", "AXSubrole", "AXTitle", "AXDescription", "AXValue",
                             "AXEnabled", "AXFocused", "AXPosition", "AXSize"}) {
        d.setError(window, attr, -25204);
        d.setError(child, attr, -25204);
    }
    d.setChildren(window, {child});
    d.setChildren(app, {window});  // no focused or main window: the first child is used
    d.addApp({0, true, std::nullopt, std::nullopt, 7}, app);
    auto run = runObserve(d, 10, 10, 1000, std::nullopt);
    EXPECT_EQ(run.appName, "unknown");
    EXPECT_EQ(run.windowTitle, "");
    EXPECT_EQ(run.lines, (std::vector<std::string>{"[e1] AXUnknown", "  [e2] AXUnknown"}));
    EXPECT_EQ(run.stateHash, sha256Hex("unknown\n\n1|AXUnknown||||true|false\n2|AXUnknown||||true|false"));
}

TEST(HostileTrees, AttributesChangingBetweenReads) {
    // Every read of the title answers something else: a number, an
    // attributed text, an empty text, a plain text. The line stays one line
    // and the hash line holds what the reader settled on.
    FakeDesktop d;
    Element root = d.element("root", "AXWindow");
    int reads = 0;
    d.beforeRead = [&](const Element& e, std::string_view attribute) {
        if (attribute != "AXTitle") return;
        switch (reads++ % 4) {
            case 0: d.set(e, "AXTitle", AttrValue::integer(3)); break;
            case 1: d.set(e, "AXTitle", AttrValue::attributedText("line\nbreak")); break;
            case 2: d.setText(e, "AXTitle", ""); break;
            default: d.setText(e, "AXTitle", "plain"); break;
        }
    };
    auto first = observeTree(d, root, 10, 10, 1000);
    EXPECT_EQ(first.lines, std::vector<std::string>{"[e1] AXWindow \"line break\""});
    EXPECT_EQ(first.elements[0].hashLine, "1|AXWindow||line\nbreak|line\nbreak|true|false");
    auto second = observeTree(d, root, 10, 10, 1000);
    EXPECT_EQ(second.lines, std::vector<std::string>{"[e1] AXWindow"});
}

}  // namespace
}  // namespace nuvra
