// How long nuvra-mcp lets a run go, and how much it holds and sends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "input/limits.h"
#include "workspace/limits.h"

namespace nuvra::mcp {

// One run of nuvra-click is stopped after this many seconds unless the
// server was started with --timeout, which an hour bounds.
constexpr double kDefaultTimeout = 20;
constexpr double kMaxTimeout = 3600;

// What a wait leaves of the server's time limit for one run: the run's own
// start, its last look and its exit.
constexpr int64_t kWaitMargin = 1000;

// nuvra-click ends at once on SIGTERM, except a pointer command, which
// holds it until its events are out so that no button stays pressed: a
// drag takes 0.3 s, measured up to 1.6 s on a loaded machine, its start
// included. One that has not ended this long after is killed. MCP clients
// wait two seconds after closing a server's input before their own SIGTERM
// and two more before SIGKILL, so the run is gone before the server is.
constexpr std::chrono::milliseconds kStopGrace{2000};

// An ended child's outputs are looked at again this often until it is
// reaped: only a child that closed its outputs and runs on waits for it.
constexpr std::chrono::milliseconds kReapTick{10};

// The observations whose hash a later call may name without their limits:
// an agent acts on one of its last few.
constexpr size_t kRemembered = 64;
// Longer lines are read to their end and answered with an invalid request.
constexpr size_t kMaxLineBytes = 4 << 20;

// The most bytes one argument of nuvra-click can hold: Linux refuses to
// start a program with an argument of MAX_ARG_STRLEN (32 pages of 4 KiB)
// or more, its terminating NUL included. macOS bounds all arguments and the
// environment together (ARG_MAX), which leaves room for one of this size.
constexpr size_t kMaxArgumentBytes = 131071;

// Hosts refuse a tool result above 1 MiB (Claude Desktop's limit; others
// allow more), and vision models take an image up to 1568 pixels on its
// long side before shrinking it themselves.
constexpr size_t kMaxResultBytes = 1 << 20;
constexpr int64_t kMaxLongSide = 1568;
// What the rest of a result takes besides the image and the texts counted.
constexpr size_t kResultFraming = 4096;
// A picture shrinks by this much a step until it fits; below the floor it
// is too small to show anything, and the result says so.
constexpr double kShrinkStep = 0.75;
constexpr int64_t kMinLongSide = 160;
// No screen holds more; a file claiming more is not nuvra-click's.
constexpr int64_t kMaxPixels = int64_t{1} << 27;

// A wait of the longest the default time limit allows is still a wait.
static_assert(kDefaultTimeout * 1000 > kWaitMargin);
// A launch that times out says so itself, before the server stops its run.
static_assert(kLaunchBoundMicroseconds + kWaitMargin * 1000 < kDefaultTimeout * 1'000'000);
// A pointer command told to stop has sent its last event before it is killed.
static_assert(kLongestPointerMicroseconds < std::chrono::microseconds(kStopGrace).count());
static_assert(kMinLongSide < kMaxLongSide && kShrinkStep < 1);
static_assert(kResultFraming < kMaxResultBytes);

}  // namespace nuvra::mcp
