// How long an action waits on the application, and how far a press looks.
#pragma once

#include <cstdint>

namespace nuvra {

// A toolkit takes focus when it handles the request, and says so once its
// window has it: GTK3 answers within milliseconds of the X server's focus
// event. Keys sent before would go where the focus was.
constexpr int64_t kFocusWaitUs = 500'000;
// Typed keys are in the X server (or the HID tap) when typeText returns,
// but the application reads them in its own time, and a browser passes
// them to the page's process before the field's text changes.
constexpr int64_t kTypedWaitUs = 2'000'000;
// Between two looks at whether the focus or the text arrived.
constexpr uint32_t kPollUs = 10'000;

// The element itself plus four levels below it.
constexpr int64_t kPressSearchDepth = 4;
// A control's own subtree is a few dozen elements at most; an element whose
// descendants by the thousand all refuse is not one whose press can be
// passed on, and trying them all would take minutes. Past either bound the
// element has refused: pressing whatever came next would be arbitrary.
constexpr int kPressAttempts = 256;
constexpr int64_t kPressSearchMicroseconds = 2'000'000;

}  // namespace nuvra
