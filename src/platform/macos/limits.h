// Every time-out and bound of the macOS backend.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nuvra::macos {

// The system's messaging time-out is six seconds; one answer the
// deadline leaves no time for gets this much, so a look still asks.
constexpr double kSystemMessaging = 6.0;
constexpr double kShortestMessaging = 0.05;

// Arrays from another process can nest; a bound keeps a hostile answer from
// exhausting the stack. Real attribute values nest one or two levels.
constexpr int kMaxArrayDepth = 32;

// No display is larger on a side, in pixels.
constexpr size_t kMaxSide = 1 << 15;
// Displays asked for their bounds: more than any desk holds.
constexpr uint32_t kMaxDisplays = 32;
// The window server answers in tens of milliseconds; one that has not in
// two seconds is not going to.
constexpr int64_t kCaptureWaitNanoseconds = 2'000'000'000;

// Pending workspace changes handled in one call: a source that is always
// ready does not hold the call.
constexpr int kMaxPasses = 64;
// How long the workspace may take to say it has started an application
// (its process, not yet its windows); a cold start of a large one takes
// seconds.
constexpr int64_t kOpenBoundNanoseconds = 10'000'000'000;

static_assert(kShortestMessaging < kSystemMessaging);

}  // namespace nuvra::macos
