// Whole runs of the command front end: which form each argument vector
// reaches, the usage texts, and the permission gate before everything else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_in_child.h"

namespace nuvra {
namespace {

using testing::runInChild;

const std::string kUsage =
    "usage: nuvra-click <x> <y> [right] [double] | nuvra-click scroll <x> <y> <dx> <dy> [at] | "
    "nuvra-click drag <x1> <y1> <x2> <y2> [right] | nuvra-click hit <x> <y> | nuvra-click "
    "observe <maxNodes> <maxDepth> <maxTextBytes> [app] | nuvra-click press <index> <maxNodes> "
    "<maxDepth> <maxTextBytes> <sha256> [app] | nuvra-click settext <index> <text> <maxNodes> "
    "<maxDepth> <maxTextBytes> <sha256> [app]\n";
const std::string kDragUsage = "usage: nuvra-click drag <x1> <y1> <x2> <y2> [right]\n";
const std::string kUntrusted =
    "nuvra-click: 辅助功能未授权（系统设置 → 隐私与安全性 → 辅助功能，勾选 nuvra 所在应用）\n";

TEST(Dispatch, UsageTextIsOneLineOf394Bytes) {
    EXPECT_EQ(kUsage.size(), 395u);  // with the line feed
    EXPECT_EQ(kUntrusted.size(), 121u);
}

TEST(Dispatch, FormsThatFailWithTheUsageText) {
    FakeDesktop desktop;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--help"},
        {"5"},
        {"observe", "1", "1"},                         // a limit short: usage, not a bad limit
        {"observe", "1", "1", "1", "App", "extra"},
        {"press", "1", "1", "1", "1"},
        {"settext", "1", "t", "1", "1", "1"},
        {"scroll", "1", "2", "3", "4", "AT"},
        {"scroll", "1", "2", "3"},
        {"drag", "1", "2", "3", "4", "right", "x"},    // seven: general usage
        {"hit", "1", "2", "3"},
        {"hit", "1"},
        {"1", "2", "right", "double", "x"},            // click form with five
        {"observe"},
    };
    for (const auto& args : cases) {
        auto r = runInChild(desktop, args);
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "]";
        EXPECT_EQ(r.status, 3) << shown;
        EXPECT_EQ(r.err, kUsage) << shown;
        EXPECT_EQ(r.out, "") << shown;
        // Nothing of the desktop is touched after the gate.
        EXPECT_EQ(r.log, std::vector<std::string>{"trusted?"}) << shown;
    }
}

TEST(Dispatch, DragWithAnotherSixthWordHasItsOwnUsageBeforeAnyCoordinate) {
    FakeDesktop desktop;
    auto r = runInChild(desktop, {"drag", "a", "b", "c", "d", "left"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, kDragUsage);
}

TEST(Dispatch, CommandWordsMatchExactly) {
    FakeDesktop desktop;
    // Not a command word: a click form whose first coordinate is bad.
    auto r = runInChild(desktop, {"Observe", "1", "1", "1"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "nuvra-click: bad coordinate Observe\n");
}

TEST(Dispatch, UntrustedProcessReportsBeforeLookingAtArguments) {
    FakeDesktop desktop;
    desktop.trusted = false;
    const std::vector<std::vector<std::string>> cases = {
        {}, {"1", "2"}, {"observe", "0", "x", "y"}, {"drag", "1", "2", "3", "4", "left"}, {"bogus"},
    };
    for (const auto& args : cases) {
        auto r = runInChild(desktop, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "NUVRA_AX_UNTRUSTED\n");
        EXPECT_EQ(r.err, kUntrusted);
        EXPECT_EQ(r.log, std::vector<std::string>{"trusted?"});
    }
}

TEST(Dispatch, ClickFormKeywords) {
    FakeDesktop desktop;
    struct {
        std::vector<std::string> args;
        size_t posts;
        std::string firstEvent;
    } cases[] = {
        {{"100", "200"}, 2, "mouse 1 at 100,200 button 0 -> ev1"},
        {{"100", "200", "double", "right"}, 4, "mouse 3 at 100,200 button 1 -> ev1"},
        {{"100", "200", "right", "double"}, 4, "mouse 3 at 100,200 button 1 -> ev1"},
        {{"100", "200", "middle"}, 2, "mouse 1 at 100,200 button 0 -> ev1"},
        {{"100", "200", "right", "right"}, 2, "mouse 3 at 100,200 button 1 -> ev1"},
        {{"100", "200", "Double"}, 2, "mouse 1 at 100,200 button 0 -> ev1"},
    };
    for (const auto& c : cases) {
        auto r = runInChild(desktop, c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        ASSERT_GE(r.log.size(), 2u);
        EXPECT_EQ(r.log[1], c.firstEvent);
        size_t posts = 0;
        for (const auto& entry : r.log) posts += entry.rfind("post ", 0) == 0;
        EXPECT_EQ(posts, c.posts);
    }
}

TEST(Dispatch, ScrollValidatesCoordinatesEvenWithoutAt) {
    FakeDesktop desktop;
    auto r = runInChild(desktop, {"scroll", "-1", "0", "1", "1"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "nuvra-click: bad coordinate -1\n");
    EXPECT_EQ(r.log, std::vector<std::string>{"trusted?"});
}

TEST(Dispatch, ScrollAtMovesBeforeABadDeltaIsFound) {
    FakeDesktop desktop;
    auto r = runInChild(desktop, {"scroll", "10", "20", "abc", "1", "at"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "nuvra-click: bad scroll delta abc\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.log, (std::vector<std::string>{"trusted?", "mouse 5 at 10,20 button 0 -> ev1",
                                               "post ev1", "sleep 20000"}));
}

TEST(Dispatch, SettextRefusesIllFormedTextBeforeObserving) {
    FakeDesktop desktop;
    auto r = runInChild(desktop, {"settext", "1", "a\xff", "0", "1", "1", "h"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "nuvra-click: bad text (not valid UTF-8)\n");
    EXPECT_EQ(r.log, std::vector<std::string>{"trusted?"});
    // The index still comes first.
    r = runInChild(desktop, {"settext", "x", "a\xff", "1", "1", "1", "h"});
    EXPECT_EQ(r.err, "nuvra-click: bad index x\n");
}

TEST(Dispatch, HugeAndOddArgumentsComeBackWhole) {
    FakeDesktop desktop;
    const std::string mb(1 << 20, '7');
    struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        // A million digits after the point is a coordinate; before it, the
        // value is infinite and the whole megabyte comes back in the message.
        {{"hit", "0." + mb, "x"}, 3, "nuvra-click: bad coordinate x\n"},
        {{"hit", mb, "1"}, 3, "nuvra-click: bad coordinate " + mb + "\n"},
        // ...but not an index: the whole megabyte is repeated in the message.
        {{"press", mb, "1", "1", "1", "h"}, 3, "nuvra-click: bad index " + mb + "\n"},
        {{"scroll", "0", "0", mb + "x", "0"}, 3, "nuvra-click: bad scroll delta " + mb + "x\n"},
        {{"observe", "1", "1", "1", "\xff\xfe" "App\n"}, 5,
         "nuvra-click: no running application matches \"\xff\xfe" "App\n\"\n"},
    };
    for (const auto& c : cases) {
        auto r = runInChild(desktop, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
}  // namespace nuvra
