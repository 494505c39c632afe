// Pointer events against the recording desktop: types, buttons, points,
// wheel values and pauses, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pointer/pointer.h"
#include "platform/fake/fake_desktop.h"
#include "support/run_in_child.h"

namespace nuvra {
namespace {

using Log = std::vector<std::string>;

TEST(Pointer, SingleLeftClick) {
    FakeDesktop d;
    click(d, 100, 200, false, false);
    EXPECT_EQ(d.log(), (Log{"mouse 1 at 100,200 button 0 -> ev1",
                            "mouse 2 at 100,200 button 0 -> ev2", "post ev1", "sleep 80000",
                            "post ev2"}));
}

TEST(Pointer, RightDoubleClickPostsTheSameEventsTwice) {
    FakeDesktop d;
    click(d, 1.5, 2.25, true, true);
    EXPECT_EQ(d.log(), (Log{"mouse 3 at 1.5,2.25 button 1 -> ev1",
                            "mouse 4 at 1.5,2.25 button 1 -> ev2", "post ev1", "sleep 80000",
                            "post ev2", "sleep 120000", "post ev1", "sleep 80000", "post ev2",
                            "sleep 120000"}));
}

TEST(Pointer, DragPostsPressTwentyStepsAndReleaseAtTheEndPoint) {
    FakeDesktop d;
    drag(d, 0, 0, 100, 50, false);
    Log expected = {"mouse 1 at 0,0 button 0 -> ev1", "post ev1", "sleep 80000"};
    for (int i = 1; i <= 20; ++i) {
        double t = i / 20.0;
        char point[64];
        std::snprintf(point, sizeof point, "%.17g,%.17g", 100.0 * t, 50.0 * t);
        std::string ev = "ev" + std::to_string(i + 1);
        expected.push_back("mouse 6 at " + std::string(point) + " button 0 -> " + ev);
        expected.push_back("post " + ev);
        expected.push_back("sleep 10000");
    }
    expected.insert(expected.end(), {"sleep 40000", "mouse 2 at 100,50 button 0 -> ev22",
                                     "post ev22"});
    EXPECT_EQ(d.log(), expected);
    EXPECT_EQ(d.log()[3], "mouse 6 at 5,2.5 button 0 -> ev2");
}

TEST(Pointer, DragStepsRoundEachOperationOnItsOwn) {
    // (x2 - x1) * t + x1 with three roundings; a fused multiply-add would
    // give a different last digit for these values.
    FakeDesktop d;
    const double x1 = 0.1, x2 = 1e16 + 2, y1 = 3, y2 = 3;
    drag(d, x1, y1, x2, y2, true);
    auto steps = d.calls("mouse 7 ");
    ASSERT_EQ(steps.size(), 20u);
    for (int i = 1; i <= 20; ++i) {
        volatile double span = x2 - x1;
        volatile double product = span * (i / 20.0);
        double x = product + x1;
        char expected[96];
        std::snprintf(expected, sizeof expected, "mouse 7 at %.17g,3 button 1", x);
        EXPECT_EQ(steps[i - 1].substr(0, std::string(expected).size()), expected);
    }
    EXPECT_EQ(d.calls("mouse 4 ").size(), 1u);
    EXPECT_EQ(d.calls("mouse 4 ")[0], "mouse 4 at 10000000000000002,3 button 1 -> ev22");
}

TEST(Pointer, ScrollWheels) {
    struct {
        int32_t dx, dy;
        std::string event;
    } cases[] = {
        {5, -3, "scroll -3,-5,0 -> ev1"},
        {0, 0, "scroll 0,0,0 -> ev1"},
        {-7, 2147483647, "scroll 2147483647,7,0 -> ev1"},
        // No 32-bit negation exists; it saturates instead of overflowing.
        {INT32_MIN, INT32_MIN, "scroll -2147483648,2147483647,0 -> ev1"},
    };
    for (const auto& c : cases) {
        FakeDesktop d;
        scroll(d, c.dx, c.dy);
        EXPECT_EQ(d.log(), (Log{c.event, "post ev1"}));
    }
}

TEST(Pointer, ScrollCommandWithAndWithoutAt) {
    FakeDesktop d;
    auto r = testing::runInChild(d, {"scroll", "10", "20", "5", "-3", "at"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log, (Log{"trusted?", "mouse 5 at 10,20 button 0 -> ev1", "post ev1",
                          "sleep 20000", "scroll -3,-5,0 -> ev2", "post ev2"}));
    r = testing::runInChild(d, {"scroll", "10", "20", "-2147483648", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log, (Log{"trusted?", "scroll 0,2147483647,0 -> ev1", "post ev1"}));
}

TEST(Pointer, EventCreationFailureEndsWithExitFourAndKeepsWhatWasPosted) {
    struct {
        std::vector<std::string> args;
        int createsBeforeFailure;
        std::string err;
        size_t posts;
    } cases[] = {
        {{"1", "2"}, 0, "nuvra-click: cannot create CGEvent\n", 0},
        // The release cannot be made: the press is not posted either.
        {{"1", "2", "double"}, 1, "nuvra-click: cannot create CGEvent\n", 0},
        // A drag whose fifth step fails: the press and four steps stay posted.
        {{"drag", "0", "0", "10", "10"}, 5, "nuvra-click: cannot create CGEvent\n", 5},
        {{"drag", "0", "0", "10", "10", "right"}, 21, "nuvra-click: cannot create CGEvent\n", 21},
        {{"scroll", "1", "1", "1", "1"}, 0, "nuvra-click: cannot create scroll CGEvent\n", 0},
        {{"scroll", "1", "1", "1", "1", "at"}, 1, "nuvra-click: cannot create scroll CGEvent\n", 1},
        {{"scroll", "1", "1", "1", "1", "at"}, 0, "nuvra-click: cannot create CGEvent\n", 0},
    };
    for (const auto& c : cases) {
        FakeDesktop d;
        d.eventsBeforeFailure = c.createsBeforeFailure;
        auto r = testing::runInChild(d, c.args);
        EXPECT_EQ(r.status, 4) << c.args.size();
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        size_t posts = 0;
        for (const auto& entry : r.log) posts += entry.rfind("post ", 0) == 0;
        EXPECT_EQ(posts, c.posts) << c.args[0];
    }
}

}  // namespace
}  // namespace nuvra
