// press, settext and hit as whole runs against the fake desktop, and the
// press search order in-process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/actions.h"
#include "platform/fake/fake_desktop.h"
#include "support/run_in_child.h"

namespace nuvra {
namespace {

using testing::runInChild;
using Log = std::vector<std::string>;

const std::string kStale =
    "nuvra-click: stale observation — the window's element tree changed since screen.observe\n";

// A notes window: a toolbar with OK (pressable) and Delete (refuses), and a
// group holding the text area.
struct NotesDesktop {
    FakeDesktop d;
    Element app, window, toolbar, ok, del, group, text;
    NotesDesktop() {
        app = d.element("app", "AXApplication", "Notes");
        window = d.element("window", "AXWindow", "Inbox");
        toolbar = d.element("toolbar", "AXToolbar");
        ok = d.element("ok", "AXButton", "OK");
        del = d.element("delete", "AXButton");
        d.setText(del, "AXDescription", "Delete");
        group = d.element("group", "AXGroup");
        text = d.element("text", "AXTextArea");
        d.setText(text, "AXValue", "hello");
        d.set(app, "AXFocusedWindow", AttrValue::elementRef(window));
        d.setChildren(app, {window});
        d.setChildren(window, {toolbar, group});
        d.setChildren(toolbar, {ok, del});
        d.setChildren(group, {text});
        d.setActions(ok, {"AXPress"});
        d.setActions(del, {"AXShowMenu", "AXPress"});
        d.setPerformResult(del, -25204);
        d.setActions(text, {"AXConfirm"});
        d.addApp({0, true, "org.example.notes", "Notes", 42}, app);
    }
    // The hash that observe prints for these limits.
    std::string observedHash(std::vector<std::string> limits = {"100", "10", "100000"}) {
        std::vector<std::string> args = {"observe"};
        args.insert(args.end(), limits.begin(), limits.end());
        auto r = runInChild(d, args);
        EXPECT_EQ(r.status, 0) << r.err;
        auto at = r.out.find("sha256=");
        EXPECT_NE(at, std::string::npos);
        return at == std::string::npos ? "" : r.out.substr(at + 7, 64);
    }
};

std::vector<std::string> performs(const Log& log) {
    std::vector<std::string> out;
    for (const auto& e : log)
        if (e.rfind("perform ", 0) == 0 || e.rfind("write ", 0) == 0) out.push_back(e);
    return out;
}

TEST(StaleGuard, OnlyTheExactHashPasses) {
    NotesDesktop n;
    std::string hash = n.observedHash();
    ASSERT_EQ(hash.size(), 64u);
    std::string upper = hash;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& bad : {upper, hash + " ", hash + "\n", hash.substr(0, 63), std::string()}) {
        auto r = runInChild(n.d, {"press", "4", "100", "10", "100000", bad});
        EXPECT_EQ(r.status, 6);
        EXPECT_EQ(r.err, kStale);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(performs(r.log), Log{});
    }
    auto r = runInChild(n.d, {"press", "4", "100", "10", "100000", hash});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(performs(r.log), Log{"perform ok AXPress -> 0"});
}

TEST(StaleGuard, LimitsThatChangeTheRecordedSetAreStaleButTheTextBudgetIsNot) {
    NotesDesktop n;
    std::string hash = n.observedHash();
    // maxNodes 3 records fewer elements: another hash.
    auto r = runInChild(n.d, {"press", "2", "3", "10", "100000", hash});
    EXPECT_EQ(r.status, 6);
    EXPECT_EQ(r.err, kStale);
    // A text budget that drops every line records the same elements; the
    // dropped line's element can still be pressed.
    r = runInChild(n.d, {"press", "4", "100", "10", "1", hash});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(performs(r.log), Log{"perform ok AXPress -> 0"});
}

TEST(StaleGuard, LookupByNumber) {
    NotesDesktop n;
    std::string hash = n.observedHash();
    // Six elements: the last is found, the next is missing.
    auto r = runInChild(n.d, {"press", "6", "100", "10", "100000", hash});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err, "nuvra-click: element [e6] has no press action\n");
    r = runInChild(n.d, {"press", "007", "100", "10", "100000", hash});
    EXPECT_EQ(r.status, 6);
    EXPECT_EQ(r.err, "nuvra-click: element [e7] is not in the current tree\n");
    // Stale and out of range: the stale observation is reported.
    r = runInChild(n.d, {"press", "7", "100", "10", "100000", "0" + hash.substr(1)});
    EXPECT_EQ(r.err, hash[0] == '0' ? "nuvra-click: element [e7] is not in the current tree\n"
                                    : kStale);
    r = runInChild(n.d, {"press", "7", "100", "10", "100000", "nope"});
    EXPECT_EQ(r.err, kStale);
}

TEST(StaleGuard, ObservationFailuresComeFirst) {
    NotesDesktop n;
    auto r = runInChild(n.d, {"press", "1", "1", "1", "1", "nope", "Missing"});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.err, "nuvra-click: no running application matches \"Missing\"\n");
}

TEST(Press, SearchOrder) {
    // root refuses; its children: a refuses (with children a1 refusing, a2
    // accepting), b accepts. Pre-order depth first: root, a, a1, a2.
    FakeDesktop d;
    Element root = d.element("root"), a = d.element("a"), b = d.element("b"),
            a1 = d.element("a1"), a2 = d.element("a2");
    d.setActions(root, {"AXPress"});
    d.setChildren(root, {a, b});
    d.setChildren(a, {a1, a2});
    for (const auto& e : {root, a, a1}) d.setPerformResult(e, -25204);
    EXPECT_TRUE(pressElement(d, root));
    EXPECT_EQ(performs(d.log()), (Log{"perform root AXPress -> -25204", "perform a AXPress -> -25204",
                                      "perform a1 AXPress -> -25204", "perform a2 AXPress -> 0"}));
}

TEST(Press, ThreeAttemptsThenSuccessAndNoChildListOfTheWinner) {
    FakeDesktop d;
    Element root = d.element("root"), first = d.element("first"), second = d.element("second"),
            below = d.element("below");
    d.setActions(root, {"AXPress"});
    d.setChildren(root, {first, second});
    d.setChildren(second, {below});
    d.setPerformResult(root, -1);
    d.setPerformResult(first, -1);
    EXPECT_TRUE(pressElement(d, root));
    EXPECT_EQ(performs(d.log()), (Log{"perform root AXPress -> -1", "perform first AXPress -> -1",
                                      "perform second AXPress -> 0"}));
    EXPECT_EQ(d.calls("read second AXChildren"), Log{});
}

TEST(Press, DepthBoundAndRepeatedElements) {
    // A chain root > l1 > l2 > l3 > l4 > l5 where everything refuses but l4
    // and l5 would accept: l4 (four below) is reached, l5 never.
    for (bool l4Accepts : {true, false}) {
        FakeDesktop d;
        std::vector<Element> chain;
        for (int i = 0; i <= 5; ++i) chain.push_back(d.element("l" + std::to_string(i)));
        for (int i = 0; i < 5; ++i) {
            d.setChildren(chain[i], {chain[i + 1]});
            d.setPerformResult(chain[i], -1);
        }
        d.setPerformResult(chain[4], l4Accepts ? 0 : -1);
        d.setActions(chain[0], {"AXPress"});
        EXPECT_EQ(pressElement(d, chain[0]), l4Accepts);
        EXPECT_EQ(performs(d.log()).size(), 5u);
        EXPECT_EQ(d.calls("perform l5"), Log{});
        EXPECT_EQ(d.calls("read l4 AXChildren"), Log{});
    }
    // A cycle and a shared child: each distinct element is attempted once.
    FakeDesktop d;
    Element root = d.element("root"), a = d.element("a"), b = d.element("b"),
            shared = d.element("shared");
    d.setActions(root, {"AXPress"});
    d.setChildren(root, {a, b});
    d.setChildren(a, {shared, root});
    d.setChildren(b, {shared});
    for (const auto& e : {root, a, b, shared}) d.setPerformResult(e, -1);
    EXPECT_FALSE(pressElement(d, root));
    EXPECT_EQ(performs(d.log()), (Log{"perform root AXPress -> -1", "perform a AXPress -> -1",
                                      "perform shared AXPress -> -1", "perform b AXPress -> -1"}));
}

TEST(Press, TheElementItselfMustOfferPress) {
    NotesDesktop n;
    // The group's child offers nothing either; the window offers nothing.
    std::string hash = n.observedHash();
    for (const char* index : {"1", "3", "6"}) {
        auto r = runInChild(n.d, {"press", index, "100", "10", "100000", hash});
        EXPECT_EQ(r.status, 8);
        EXPECT_EQ(r.err, "nuvra-click: element [e" + std::string(index) + "] has no press action\n");
        EXPECT_EQ(performs(r.log), Log{});
    }
    // Offered but every attempt refused: the same message.
    auto r = runInChild(n.d, {"press", "5", "100", "10", "100000", hash});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err, "nuvra-click: element [e5] has no press action\n");
    EXPECT_EQ(performs(r.log), Log{"perform delete AXPress -> -25204"});
}

TEST(SetText, WritesTheTextExactlyOnce) {
    NotesDesktop n;
    std::string hash = n.observedHash();
    for (const std::string& text : {std::string(), std::string("  two\nlines \t"), std::string("Grüße / \"q\"")}) {
        auto r = runInChild(n.d, {"settext", "6", text, "100", "10", "100000", hash});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(performs(r.log), Log{"write text AXValue \"" + text + "\" -> 0"});
    }
    // A new value leaves the hash alone: the next settext passes the guard.
    EXPECT_EQ(n.observedHash(), hash);
}

TEST(SetText, RefusalAndStaleness) {
    NotesDesktop n;
    std::string hash = n.observedHash();
    n.d.setWriteResult(n.text, -25205);
    auto r = runInChild(n.d, {"settext", "0006", "x", "100", "10", "100000", hash});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err, "nuvra-click: element [e6] rejected the text assignment\n");
    EXPECT_EQ(r.out, "");
    r = runInChild(n.d, {"settext", "6", "x", "100", "10", "100000", hash + "0"});
    EXPECT_EQ(r.status, 6);
    EXPECT_EQ(r.err, kStale);
    EXPECT_EQ(performs(r.log), Log{});
}

TEST(Hit, Lines) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, AttrValue>> attributes;
        std::string line;
    };
    std::string long121(121, 'a');
    const Case cases[] = {
        {"nothing readable", {}, "NUVRA_HIT AXUnknown||||true|false\n"},
        {"title shown twice",
         {{"AXRole", AttrValue::plainText("AXButton")}, {"AXTitle", AttrValue::plainText("OK")},
          {"AXDescription", AttrValue::plainText("ignored")}},
         "NUVRA_HIT AXButton||OK|OK|true|false\n"},
        {"description as label",
         {{"AXRole", AttrValue::plainText("AXButton")},
          {"AXSubrole", AttrValue::plainText("AXCloseButton")},
          {"AXDescription", AttrValue::plainText("  close\n window ")},
          {"AXEnabled", AttrValue::boolean(false)}, {"AXFocused", AttrValue::integer(2)}},
         "NUVRA_HIT AXButton|AXCloseButton||close window|false|true\n"},
        {"long title cut",
         {{"AXTitle", AttrValue::plainText(long121)}},
         "NUVRA_HIT AXUnknown||" + long121.substr(0, 120) + "…|" + long121.substr(0, 120) +
             "…|true|false\n"},
        {"bar unescaped",
         {{"AXRole", AttrValue::plainText("AX|Odd")}, {"AXTitle", AttrValue::plainText("a|b")}},
         "NUVRA_HIT AX|Odd||a|b|a|b|true|false\n"},
        {"controls cannot forge a line",
         {{"AXRole", AttrValue::plainText("AXButton\nNUVRA_END")},
          {"AXTitle", AttrValue::plainText("x\x1c\x1bNUVRA_HIT")}},
         "NUVRA_HIT AXButton NUVRA_END||x  NUVRA_HIT|x  NUVRA_HIT|true|false\n"},
        {"booleans of other types read as absent",
         {{"AXEnabled", AttrValue::plainText("false")}, {"AXFocused", AttrValue::plainText("true")}},
         "NUVRA_HIT AXUnknown||||true|false\n"},
    };
    for (const auto& c : cases) {
        FakeDesktop d;
        Element e = d.element("target");
        for (const auto& [name, value] : c.attributes) d.set(e, name, value);
        d.setElementAtPosition(e);
        auto r = runInChild(d, {"hit", "10.5", "20"});
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.out, c.line) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
    }
}

TEST(Hit, NoElementAtThePoint) {
    FakeDesktop d;
    for (AXResult code : {-25212, 0}) {
        d.setElementAtPosition(nullptr, code);
        auto r = runInChild(d, {"hit", "16777217", "0.1"});
        EXPECT_EQ(r.status, 4);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "nuvra-click: 落点无元素\n");
        // Coordinates go to the platform as 32-bit floats.
        EXPECT_EQ(r.log[2], "elementAt 16777216,0.10000000149011612 on systemWide");
    }
}

}  // namespace
}  // namespace nuvra
