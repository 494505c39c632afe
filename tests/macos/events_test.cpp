// Core Graphics events: the arguments each creation receives, the tap they are
// posted at, and that each event is released once by its last owner.
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "standin_fixture.h"

namespace nuvra::macos::testing {
namespace {

using PointerEvents = StandinTest;
using Calls = std::vector<std::string>;

struct MouseCase {
    int32_t type;
    ScreenPoint at;
    int32_t button;
    std::string expected;
};

TEST_F(PointerEvents, MouseEventsCarryTypePointAndButtonWithoutASource) {
    const MouseCase cases[] = {
        {kLeftMouseDown, {100, 200}, kLeftButton,
         "CGEventCreateMouseEvent source=null type=1 at=100,200 button=0 -> ev1"},
        {kRightMouseUp, {0.25, -3}, kRightButton,
         "CGEventCreateMouseEvent source=null type=4 at=0.25,-3 button=1 -> ev2"},
        {kMouseMoved, {1440.75, 2.5}, kLeftButton,
         "CGEventCreateMouseEvent source=null type=5 at=1440.75,2.5 button=0 -> ev3"},
        {kRightMouseDragged, {5, 2.5}, kRightButton,
         "CGEventCreateMouseEvent source=null type=7 at=5,2.5 button=1 -> ev4"},
    };
    for (const MouseCase& c : cases) {
        SCOPED_TRACE(c.expected);
        standin::clearCalls();
        const Event event = platform->createMouseEvent(c.type, c.at, c.button);
        ASSERT_TRUE(event);
        EXPECT_EQ(standin::calls(), Calls{c.expected});
    }
}

TEST_F(PointerEvents, OneEventPostedTwiceAtTheHidTap) {
    const Event press = platform->createMouseEvent(kLeftMouseDown, {1, 2}, kLeftButton);
    const Event release = platform->createMouseEvent(kLeftMouseUp, {1, 2}, kLeftButton);
    standin::clearCalls();
    platform->postEvent(press);
    platform->postEvent(release);
    platform->postEvent(press);
    platform->postEvent(release);
    EXPECT_EQ(standin::calls(), (Calls{"CGEventPost tap=0 ev1", "CGEventPost tap=0 ev2",
                                       "CGEventPost tap=0 ev1", "CGEventPost tap=0 ev2"}));
}

TEST_F(PointerEvents, ScrollWheelInPixelsWithTwoWheels) {
    const int32_t lowest = std::numeric_limits<int32_t>::min();
    const Event scroll = platform->createScrollWheelEvent(-3, -5, 0);
    const Event extreme = platform->createScrollWheelEvent(lowest, 0, 0);
    ASSERT_TRUE(scroll);
    ASSERT_TRUE(extreme);
    platform->postEvent(scroll);
    EXPECT_EQ(standin::calls(),
              (Calls{"CGEventCreateScrollWheelEvent2 source=null units=0 count=2 wheels=-3,-5,0 -> ev1",
                     "CGEventCreateScrollWheelEvent2 source=null units=0 count=2 wheels=-2147483648,0,0 -> ev2",
                     "CGEventPost tap=0 ev1"}));
}

TEST_F(PointerEvents, CreationFailureIsANullEvent) {
    standin::setEventCreationFails(true);
    EXPECT_FALSE(platform->createMouseEvent(kLeftMouseDown, {1, 2}, kLeftButton));
    EXPECT_FALSE(platform->createScrollWheelEvent(1, 0, 0));
    platform->postEvent(Event());
    EXPECT_EQ(standin::calls(),
              (Calls{"CGEventCreateMouseEvent source=null type=1 at=1,2 button=0 -> NULL",
                     "CGEventCreateScrollWheelEvent2 source=null units=0 count=2 wheels=1,0,0 -> NULL"}));
}

TEST_F(PointerEvents, SleepBlocksAtLeastTheGivenTime) {
    const auto start = std::chrono::steady_clock::now();
    platform->sleepMicroseconds(20'000);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(20'000));
}

}  // namespace
}  // namespace nuvra::macos::testing
