// The pacing of synthetic keys and pointer events, and how much one run types.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nuvra {

// How long a key is held, and the pause after it is released before the
// next key goes down (and between the keys of a chord): about 300 keys a
// second. Under Xvfb, GTK3, GTK4, Qt5 and Firefox read 400 keys typed
// with no pause at all without losing or doubling one, since each event is
// processed by the server before the next is sent; the pauses leave room
// for an application slower to read them, and a hold this short is over
// long before the X server's key repeat (660 ms) could start.
constexpr uint32_t kKeyHoldUs = 1'000;
constexpr uint32_t kKeyGapUs = 2'000;

// At the fixed pacing the keys of the layout type about 250 characters a
// second, characters it lacks (typed through keys bound for the run, which
// must pause when they are bound anew) about 100: this many take 8 to 20
// s, so an agent learns the outcome of a run in seconds and a caller's time
// limit (nuvra-mcp's is 20 s) seldom cuts one off. A longer text is refused
// before any key is sent, so that none ends half typed: type it in parts,
// or with settext.
constexpr size_t kMaxTypedCharacters = 2000;

// A click holds its button this long, and a double click pauses this long
// between and after its clicks, so that a toolkit reads them as a person's.
constexpr uint32_t kPressHoldUs = 80'000;
constexpr uint32_t kBetweenClicksUs = 120'000;
// A drag moves in this many steps, each followed by its pause, and rests
// before the release, so that a toolkit sees the pointer travel.
constexpr int kDragSteps = 20;
constexpr uint32_t kDragStepUs = 10'000;
constexpr uint32_t kBeforeDragReleaseUs = 40'000;
// After a bare move, before the run ends.
constexpr uint32_t kAfterMoveUs = 20'000;

// How long the pointer commands keep their events coming, from the first
// to the last: a run that was told to stop ends only once they are out.
constexpr int64_t kDragMicroseconds =
    int64_t{kPressHoldUs} + int64_t{kDragSteps} * kDragStepUs + kBeforeDragReleaseUs;
constexpr int64_t kDoubleClickMicroseconds = 2 * (int64_t{kPressHoldUs} + kBetweenClicksUs);
constexpr int64_t kLongestPointerMicroseconds =
    kDragMicroseconds > kDoubleClickMicroseconds ? kDragMicroseconds : kDoubleClickMicroseconds;

}  // namespace nuvra
