// Core Graphics events: the arguments each creation receives, the tap they are
// posted at, and that each event is released once by its last owner.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
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

// A caught signal cuts short a pause that is not resumed; the pointer
// timings must hold anyway.
TEST_F(PointerEvents, SleepBlocksTheWholeTimeEvenWhenASignalArrives) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the signal interrupts the sleep
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    const pthread_t sleeper = pthread_self();
    for (const bool interrupted : {false, true}) {
        SCOPED_TRACE(interrupted ? "signal mid-pause" : "undisturbed");
        std::thread poke;
        const auto start = std::chrono::steady_clock::now();
        if (interrupted) {
            poke = std::thread([sleeper] {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                pthread_kill(sleeper, SIGUSR1);
            });
        }
        platform->sleepMicroseconds(30'000);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (poke.joinable()) poke.join();
        EXPECT_GE(elapsed, std::chrono::microseconds(30'000));
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

}  // namespace
}  // namespace nuvra::macos::testing
