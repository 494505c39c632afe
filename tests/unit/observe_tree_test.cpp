#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "observation/tree.h"
#include "platform/fake/fake_desktop.h"

namespace nuvra {
namespace {

using Lines = std::vector<std::string>;

// A notes window: a toolbar with two buttons and a group holding a text
// area, geometry as a real window on a 1440x900 screen reports it.
struct NotesWindow {
    FakeDesktop fake;
    Element window, toolbar, group, newButton, deleteButton, textArea;

    NotesWindow() {
        window = fake.element("window", "AXWindow");
        toolbar = fake.element("toolbar", "AXToolbar");
        group = fake.element("group", "AXGroup");
        newButton = fake.element("new", "AXButton");
        deleteButton = fake.element("delete", "AXButton");
        textArea = fake.element("text", "AXTextArea");
        fake.setChildren(window, {toolbar, group});
        fake.setChildren(toolbar, {newButton, deleteButton});
        fake.setChildren(group, {textArea});
        fake.setFrame(window, 0, 25, 1440, 875);
        fake.setFrame(toolbar, 0, 25, 1440, 52);
        fake.setFrame(group, 0, 77, 1440, 824);
        fake.setFrame(newButton, 20, 35, 40, 32);
        fake.setFrame(deleteButton, 90, 35, 40, 32);
        fake.setFrame(textArea, 0, 77, 1440, 824);
        for (const Element& e : {window, toolbar, group, newButton, deleteButton, textArea}) {
            fake.set(e, "AXEnabled", AttrValue::boolean(e != deleteButton));
            fake.set(e, "AXFocused", AttrValue::boolean(e == textArea));
        }
    }

    ObservedTree walk(int64_t maxNodes = 1000, int64_t maxDepth = 1000,
                      int64_t maxTextBytes = 100000) {
        return observeTree(fake, window, maxNodes, maxDepth, maxTextBytes);
    }
};

const Lines kNotesLines = {
    "[e1] AXWindow @720,463",
    "  [e2] AXToolbar @720,51",
    "  [e3] AXGroup @720,489",
    "    [e4] AXButton @40,51",
    "    [e5] AXButton @110,51 disabled",
    "    [e6] AXTextArea @720,489 focused",
};

Lines hashLines(const ObservedTree& t) {
    Lines out;
    for (const auto& e : t.elements) out.push_back(e.hashLine);
    return out;
}

TEST(ObserveTree, NotesWindowBreadthFirst) {
    NotesWindow w;
    ObservedTree t = w.walk();
    EXPECT_EQ(t.lines, kNotesLines);
    EXPECT_FALSE(t.truncated);
    EXPECT_EQ(hashLines(t), (Lines{
                                "1|AXWindow||||true|false",
                                "2|AXToolbar||||true|false",
                                "3|AXGroup||||true|false",
                                "4|AXButton||||true|false",
                                "5|AXButton||||false|false",
                                "6|AXTextArea||||true|true",
                            }));
    const std::vector<Element> order = {w.window, w.toolbar, w.group,
                                        w.newButton, w.deleteButton, w.textArea};
    ASSERT_EQ(t.elements.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(t.elements[i].index, static_cast<int64_t>(i + 1));
        EXPECT_EQ(w.fake.nameOf(t.elements[i].element), w.fake.nameOf(order[i]));
    }
}

TEST(ObserveTree, LabelsValuesAndSubrolesInLinesAndHashLines) {
    NotesWindow w;
    w.fake.setText(w.window, "AXTitle", "Notes");
    w.fake.setText(w.window, "AXSubrole", "AXStandardWindow");
    w.fake.setText(w.deleteButton, "AXDescription", "Delete");
    w.fake.setText(w.textArea, "AXValue", "hello world");
    ObservedTree t = w.walk();
    EXPECT_EQ(t.lines, (Lines{
                           "[e1] AXWindow \"Notes\" @720,463",
                           "  [e2] AXToolbar @720,51",
                           "  [e3] AXGroup @720,489",
                           "    [e4] AXButton @40,51",
                           "    [e5] AXButton \"Delete\" @110,51 disabled",
                           "    [e6] AXTextArea @720,489 value=\"hello world\" focused",
                       }));
    EXPECT_EQ(t.elements[0].hashLine, "1|AXWindow|AXStandardWindow|Notes|Notes|true|false");
    EXPECT_EQ(t.elements[4].hashLine, "5|AXButton|||Delete|false|false");
    EXPECT_EQ(t.elements[5].hashLine, "6|AXTextArea||||true|true");
}

struct LimitCase {
    const char* name;
    int64_t maxNodes, maxDepth, maxTextBytes;
    Lines lines;
    size_t elements;
    bool truncated;
};

TEST(ObserveTree, Limits) {
    const Lines& all = kNotesLines;
    const std::vector<LimitCase> cases = {
        {"maxNodes 3", 3, 1000, 100000, {all[0], all[1], all[2]}, 3, true},
        {"maxNodes 5", 5, 1000, 100000, {all[0], all[1], all[2], all[3], all[4]}, 5, true},
        {"maxNodes equal to the tree", 6, 1000, 100000, all, 6, false},
        {"maxNodes 1", 1, 1000, 100000, {all[0]}, 1, true},
        {"maxDepth 1", 1000, 1, 100000, {all[0], all[1], all[2]}, 3, true},
        {"maxDepth 2 reaches the leaves", 1000, 2, 100000, all, 6, false},
        {"maxDepth 0", 1000, 0, 100000, {all[0]}, 1, true},
        {"negative maxDepth", 1000, -5, 100000, {all[0]}, 1, true},
        {"maxTextBytes 46", 1000, 1000, 46, {all[0], all[2]}, 6, true},
        {"maxTextBytes fits the first line exactly", 1000, 1000, 22, {all[0]}, 6, true},
        {"maxTextBytes fits nothing", 1000, 1000, 21, {}, 6, true},
        {"maxTextBytes fits everything exactly", 1000, 1000, 168, all, 6, false},
        {"maxTextBytes one short of everything", 1000, 1000, 167,
         {all[0], all[1], all[2], all[3], all[4]}, 6, true},
        {"negative maxTextBytes", 1000, 1000, -1, {}, 6, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NotesWindow w;
        ObservedTree t = w.walk(c.maxNodes, c.maxDepth, c.maxTextBytes);
        EXPECT_EQ(t.lines, c.lines);
        EXPECT_EQ(t.elements.size(), c.elements);
        EXPECT_EQ(t.truncated, c.truncated);
        for (size_t i = 0; i < t.elements.size(); ++i)
            EXPECT_EQ(t.elements[i].index, static_cast<int64_t>(i + 1));
    }
}

TEST(ObserveTree, NoNodesReadsNothing) {
    for (int64_t maxNodes : {int64_t{0}, int64_t{-1}, std::numeric_limits<int64_t>::min()}) {
        NotesWindow w;
        ObservedTree t = w.walk(maxNodes);
        EXPECT_TRUE(t.lines.empty());
        EXPECT_TRUE(t.elements.empty());
        EXPECT_TRUE(t.truncated);
        EXPECT_TRUE(w.fake.log().empty());
    }
}

TEST(ObserveTree, LeafRootWithinLimitsIsNotTruncated) {
    NotesWindow w;
    w.fake.unset(w.window, "AXChildren");
    ObservedTree t = w.walk(1, 0, 22);
    EXPECT_EQ(t.lines, (Lines{kNotesLines[0]}));
    EXPECT_FALSE(t.truncated);
}

TEST(ObserveTree, ReadsEachElementInOrder) {
    NotesWindow w;
    w.fake.setText(w.window, "AXTitle", "Notes");
    w.walk(1);
    EXPECT_EQ(w.fake.log(), (Lines{
                                "hash window",
                                "read window AXRole",
                                "read window AXSubrole",
                                "read window AXSubrole",
                                "read window AXTitle",
                                "read window AXValue",
                                "read window AXEnabled",
                                "read window AXFocused",
                                "read window AXPosition",
                                "read window AXSize",
                                "read window AXChildren",
                            }));
    w.fake.clearLog();
    w.fake.unset(w.window, "AXTitle");
    w.fake.unset(w.window, "AXPosition");
    w.walk(1);
    EXPECT_EQ(w.fake.log(), (Lines{
                                "hash window",
                                "read window AXRole",
                                "read window AXSubrole",
                                "read window AXSubrole",
                                "read window AXTitle",
                                "read window AXTitle",
                                "read window AXDescription",
                                "read window AXDescription",
                                "read window AXValue",
                                "read window AXEnabled",
                                "read window AXFocused",
                                "read window AXPosition",
                                "read window AXChildren",
                            }));
}

TEST(ObserveTree, DuplicatesAndCyclesAreListedOnce) {
    NotesWindow w;
    // The text area is reachable from both containers, and the group points
    // back at the window.
    w.fake.setChildren(w.toolbar, {w.newButton, w.textArea, w.deleteButton});
    w.fake.setChildren(w.group, {w.window, w.textArea});
    ObservedTree t = w.walk();
    EXPECT_EQ(t.lines, (Lines{
                           "[e1] AXWindow @720,463",
                           "  [e2] AXToolbar @720,51",
                           "  [e3] AXGroup @720,489",
                           "    [e4] AXButton @40,51",
                           "    [e5] AXTextArea @720,489 focused",
                           "    [e6] AXButton @110,51 disabled",
                       }));
    EXPECT_FALSE(t.truncated);
    // A skipped duplicate costs its identity hash and nothing else.
    EXPECT_EQ(w.fake.calls("hash window").size(), 2u);
    EXPECT_EQ(w.fake.calls("hash text").size(), 2u);
    EXPECT_EQ(w.fake.calls("read window AXRole").size(), 1u);
    EXPECT_EQ(w.fake.calls("read text AXChildren").size(), 1u);
}

TEST(ObserveTree, EqualIdentityHashesAreOneElement) {
    NotesWindow w;
    w.fake.setIdentityHash(w.newButton, 77);
    w.fake.setIdentityHash(w.textArea, 77);
    ObservedTree t = w.walk();
    EXPECT_EQ(t.lines, (Lines{kNotesLines[0], kNotesLines[1], kNotesLines[2], kNotesLines[3],
                              "    [e5] AXButton @110,51 disabled"}));
    EXPECT_TRUE(w.fake.calls("read text").empty());
}

TEST(ObserveTree, StoppingWithOnlyDuplicatesLeftStillTruncates) {
    NotesWindow w;
    w.fake.setChildren(w.window, {w.toolbar, w.toolbar});
    w.fake.unset(w.toolbar, "AXChildren");
    EXPECT_TRUE(w.walk(2).truncated);
    EXPECT_FALSE(w.walk(3).truncated);
}

TEST(ObserveTree, OverlongLineIsDroppedButKeepsItsNumber) {
    NotesWindow w;
    w.fake.setText(w.toolbar, "AXTitle", std::string(100, 'T'));
    ObservedTree t = w.walk(1000, 1000, 80);
    // The toolbar's line (about 130 bytes) can never fit; the shorter lines
    // after it still do, until the budget runs out.
    EXPECT_EQ(t.lines, (Lines{kNotesLines[0], kNotesLines[2], kNotesLines[3]}));
    EXPECT_EQ(t.elements.size(), 6u);
    EXPECT_EQ(t.elements[1].hashLine, "2|AXToolbar||" + std::string(100, 'T') + "|" +
                                          std::string(100, 'T') + "|true|false");
    EXPECT_TRUE(t.truncated);
}

TEST(ObserveTree, IndentationStopsAtDepthTwenty) {
    FakeDesktop fake;
    std::vector<Element> chain;
    for (int i = 0; i < 25; ++i) chain.push_back(fake.element("n" + std::to_string(i), "AXGroup"));
    for (int i = 0; i + 1 < 25; ++i) fake.setChildren(chain[i], {chain[i + 1]});
    ObservedTree t = observeTree(fake, chain[0], 1000, 1000, 100000);
    ASSERT_EQ(t.lines.size(), 25u);
    EXPECT_EQ(t.lines[19], std::string(38, ' ') + "[e20] AXGroup");
    EXPECT_EQ(t.lines[20], std::string(40, ' ') + "[e21] AXGroup");
    EXPECT_EQ(t.lines[24], std::string(40, ' ') + "[e25] AXGroup");
    EXPECT_FALSE(t.truncated);
}

TEST(ObserveTree, DeepChainNeedsNoStack) {
    FakeDesktop fake;
    fake.recording = false;
    const int depth = 100000;
    Element root = fake.element("root", "AXGroup");
    Element parent = root;
    for (int i = 1; i < depth; ++i) {
        Element child = fake.element("n", "AXGroup");
        fake.setChildren(parent, {child});
        parent = child;
    }
    ObservedTree t = observeTree(fake, root, depth, depth, int64_t{1} << 40);
    EXPECT_EQ(t.elements.size(), static_cast<size_t>(depth));
    EXPECT_EQ(t.lines.back(), std::string(40, ' ') + "[e100000] AXGroup");
    EXPECT_FALSE(t.truncated);
}

TEST(ObserveTree, HugeChildListIsReadOnlyForRecordedElements) {
    FakeDesktop fake;
    Element root = fake.element("root", "AXList");
    std::vector<Element> distinct;
    for (int i = 0; i < 1000; ++i) distinct.push_back(fake.element("row", "AXRow"));
    std::vector<Element> children;
    children.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) children.push_back(distinct[i % 1000]);
    fake.setChildren(root, std::move(children));
    ObservedTree t = observeTree(fake, root, 100, 10, 1000000);
    EXPECT_EQ(t.elements.size(), 100u);
    EXPECT_TRUE(t.truncated);
    EXPECT_EQ(fake.calls("hash ").size(), 100u);
    EXPECT_EQ(fake.calls("read row AXChildren").size(), 99u);
}

TEST(ObserveTree, SecureFieldsNeverHaveTheirValueRead) {
    NotesWindow w;
    w.fake.setText(w.newButton, "AXRole", "AXSecureTextField");
    w.fake.setText(w.newButton, "AXValue", "hunter2");
    w.fake.setText(w.deleteButton, "AXRole", "AXTextField");
    w.fake.setText(w.deleteButton, "AXSubrole", "AXSecureTextField");
    w.fake.setText(w.deleteButton, "AXValue", "hunter2");
    // Case matters: this one is an ordinary field.
    w.fake.setText(w.textArea, "AXSubrole", "axsecuretextfield");
    w.fake.setText(w.textArea, "AXValue", "");
    ObservedTree t = w.walk();
    EXPECT_EQ(t.lines[3], "    [e4] AXSecureTextField @40,51");
    EXPECT_EQ(t.lines[4], "    [e5] AXTextField @110,51 disabled");
    EXPECT_EQ(t.lines[5], "    [e6] AXTextArea @720,489 value=\"\" focused");
    EXPECT_TRUE(w.fake.calls("read new AXValue").empty());
    EXPECT_TRUE(w.fake.calls("read delete AXValue").empty());
    EXPECT_EQ(t.elements[4].hashLine, "5|AXTextField|AXSecureTextField|||false|false");
}

struct ValueCase {
    const char* name;
    std::optional<AttrValue> value;  // nullopt: a read that fails
    std::string segment;
};

TEST(ObserveTree, ValueKinds) {
    const std::vector<ValueCase> cases = {
        {"text is sanitised", AttrValue::plainText("  two\n lines  "), " value=\"two lines\""},
        {"long text is cut", AttrValue::plainText(std::string(130, 'v')),
         " value=\"" + std::string(120, 'v') + "\xE2\x80\xA6\""},
        {"empty text", AttrValue::plainText(""), " value=\"\""},
        {"text with a path", AttrValue::plainText("/tmp/a b"), " value=\"\\/tmp\\/a b\""},
        {"integer", AttrValue::integer(42), " value=\"42\""},
        {"negative integer", AttrValue::integer(-3), " value=\"-3\""},
        {"check box on", AttrValue::boolean(true), " value=\"1\""},
        {"check box off", AttrValue::boolean(false), " value=\"0\""},
        {"fraction", AttrValue::floating(0.5), " value=\"0.5\""},
        {"attributed text", AttrValue::attributedText("rich"), ""},
        {"point", AttrValue::pointBox(1, 2), ""},
        {"array", AttrValue::array({AttrValue::plainText("x")}), ""},
        {"element", AttrValue::elementRef(nullptr), ""},
        {"other box", AttrValue::otherBox(), ""},
        {"failing read", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop fake;
        Element e = fake.element("e", "AXCell");
        if (c.value) fake.set(e, "AXValue", *c.value);
        else fake.setError(e, "AXValue", kAXFailure);
        ObservedTree t = observeTree(fake, e, 1, 1, 100000);
        ASSERT_EQ(t.lines.size(), 1u);
        EXPECT_EQ(t.lines[0], "[e1] AXCell" + c.segment);
        EXPECT_EQ(t.elements[0].hashLine, "1|AXCell||||true|false");
    }
}

TEST(ObserveTree, LabelsRolesAndFlags) {
    struct Case {
        const char* name;
        std::function<void(FakeDesktop&, const Element&)> setUp;
        std::string line;
        std::string hashLine;
    };
    const std::vector<Case> cases = {
        {"no role", [](FakeDesktop&, const Element&) {}, "[e1] AXUnknown",
         "1|AXUnknown||||true|false"},
        {"empty role", [](FakeDesktop& f, const Element& e) { f.setText(e, "AXRole", ""); },
         "[e1] AXUnknown", "1|AXUnknown||||true|false"},
        {"empty title shows the description",
         [](FakeDesktop& f, const Element& e) {
             f.setText(e, "AXTitle", "");
             f.setText(e, "AXDescription", "Close");
         },
         "[e1] AXUnknown \"Close\"", "1|AXUnknown|||Close|true|false"},
        {"blank title is present",
         [](FakeDesktop& f, const Element& e) {
             f.setText(e, "AXTitle", " \t ");
             f.setText(e, "AXDescription", "Close");
         },
         "[e1] AXUnknown \"\"", "1|AXUnknown||" " \t " "|" " \t " "|true|false"},
        {"title texts go raw into the hash line",
         [](FakeDesktop& f, const Element& e) {
             f.setText(e, "AXRole", "AXStaticText");
             f.setText(e, "AXTitle", "a|b\nc  d");
         },
         "[e1] AXStaticText \"a|b c d\"", "1|AXStaticText||a|b\nc  d|a|b\nc  d|true|false"},
        {"attributed title",
         [](FakeDesktop& f, const Element& e) { f.set(e, "AXTitle", AttrValue::attributedText("Rich")); },
         "[e1] AXUnknown \"Rich\"", "1|AXUnknown||Rich|Rich|true|false"},
        {"role that would forge a line",
         [](FakeDesktop& f, const Element& e) { f.setText(e, "AXRole", "AXRow\nNUVRA_END nodes=0\x1b"); },
         "[e1] AXRow NUVRA_END nodes=0 ", "1|AXRow\nNUVRA_END nodes=0\x1b||||true|false"},
        {"role that is not UTF-8",
         [](FakeDesktop& f, const Element& e) { f.setText(e, "AXRole", "AX\xFFRow"); },
         "[e1] AX\uFFFDRow", "1|AX\xFFRow||||true|false"},
        {"title that is not UTF-8",
         [](FakeDesktop& f, const Element& e) { f.setText(e, "AXTitle", "caf\xE9"); },
         "[e1] AXUnknown \"caf\uFFFD\"", "1|AXUnknown||caf\xE9|caf\xE9|true|false"},
        {"disabled and focused",
         [](FakeDesktop& f, const Element& e) {
             f.set(e, "AXEnabled", AttrValue::integer(0));
             f.set(e, "AXFocused", AttrValue::integer(2));
         },
         "[e1] AXUnknown disabled focused", "1|AXUnknown||||false|true"},
        {"flags of another type are absent",
         [](FakeDesktop& f, const Element& e) {
             f.setText(e, "AXEnabled", "false");
             f.setText(e, "AXFocused", "true");
         },
         "[e1] AXUnknown", "1|AXUnknown||||true|false"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop fake;
        Element e = fake.element("e");
        c.setUp(fake, e);
        ObservedTree t = observeTree(fake, e, 1, 1, 100000);
        ASSERT_EQ(t.lines.size(), 1u);
        EXPECT_EQ(t.lines[0], c.line);
        EXPECT_EQ(t.elements[0].hashLine, c.hashLine);
    }
}

struct SpanCase {
    const char* name;
    double x, y, width, height;
    std::optional<std::string> span;
};

TEST(ObserveCenterSpan, RoundsHalfAwayFromZero) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<SpanCase> cases = {
        {"window", 0, 25, 1440, 875, " @720,463"},
        {"negative half", -1, -1, 1, 1, " @-1,-1"},
        {"positive half", 0, 0, 1, 3, " @1,2"},
        {"below half", 10.2, -10.2, 0, 0, " @10,-10"},
        {"second screen to the left", -1920, 0, 1919, 1080, " @-961,540"},
        {"infinite", inf, 0, 10, 10, std::nullopt},
        {"not a number", 0, 0, nan, 10, std::nullopt},
        {"beyond 64 bits", 1e19, 0, 10, 10, std::nullopt},
        {"below 64 bits", -1e19, 0, 10, 10, std::nullopt},
        {"lowest 64-bit value", -9223372036854775808.0, 0, 0, 0, " @-9223372036854775808,0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop fake;
        Element e = fake.element("e");
        fake.setFrame(e, c.x, c.y, c.width, c.height);
        EXPECT_EQ(observeCenterSpan(fake, e), c.span);
    }
}

TEST(ObserveCenterSpan, NeedsPositionThenSize) {
    FakeDesktop fake;
    Element e = fake.element("e");
    fake.setSize(e, 10, 10);
    EXPECT_FALSE(observeCenterSpan(fake, e));
    EXPECT_EQ(fake.log(), (Lines{"read e AXPosition"}));
    fake.clearLog();
    fake.unset(e, "AXSize");
    fake.setPosition(e, 10, 10);
    EXPECT_FALSE(observeCenterSpan(fake, e));
    EXPECT_EQ(fake.log(), (Lines{"read e AXPosition", "read e AXSize"}));
}

}  // namespace
}  // namespace nuvra
