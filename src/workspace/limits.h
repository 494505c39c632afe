// How long the workspace commands wait on the desktop, and how much they list.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nuvra {

// No real application has more windows than this; a hostile one that
// claims thousands costs a run no more.
constexpr size_t kMaxWindowsListed = 64;

// Between two read-backs of a change the desktop makes on its own time.
constexpr uint32_t kActivationPollMicroseconds = 20'000;
constexpr uint32_t kLaunchPollMicroseconds = 100'000;

// A window manager takes a few milliseconds to hand the focus over, the
// toolkit a few more to say so; a desktop busy redrawing, a few hundred.
constexpr int64_t kActivationBoundMicroseconds = 2'000'000;

// Measured in the headless session: Mousepad observable in about 0.4 s,
// Firefox in about 3 s, Chromium with its tree in about 5 s; a loaded
// machine takes several times as long. It stays under nuvra-mcp's default
// time limit for one run (20 s), so the tool's own answer gets through.
constexpr int64_t kLaunchBoundMicroseconds = 15'000'000;

static_assert(kActivationPollMicroseconds < kActivationBoundMicroseconds);
static_assert(kLaunchPollMicroseconds < kLaunchBoundMicroseconds);

}  // namespace nuvra
