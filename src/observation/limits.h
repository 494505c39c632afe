// How a wait paces its looks.
#pragma once

#include <cstdint>
#include <limits>

namespace nuvra {

// The first pause, and the longest. An observation of a small window
// costs about 20-40 ms of the observed application's time, a web page
// about a second; a pause is never shorter than the look before it took, so
// the application spends at most half its time answering. Growing by half
// each time, a change 300 ms after the start is seen within about 100 ms.
constexpr int64_t kFirstPauseMicroseconds = 25'000;
constexpr int64_t kLongestPauseMicroseconds = 200'000;
// A pause as long as a slow look stops here, so that a change after a look
// of seconds is still seen within a few.
constexpr int64_t kLongestRestMicroseconds = kLongestPauseMicroseconds * 10;

// The platform sleeps for at most what 32 bits of microseconds hold.
static_assert(kLongestRestMicroseconds <= std::numeric_limits<uint32_t>::max());
static_assert(kFirstPauseMicroseconds <= kLongestPauseMicroseconds);

}  // namespace nuvra
