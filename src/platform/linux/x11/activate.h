// The X input focus: where XTest keys arrive, and how an application's
// window gets it.
#pragma once

#include <cstdint>

namespace nuvra::x11 {

struct Connection;

// Whether the focus is in a window of this process (by X-Resource).
bool focusInWindowOf(Connection* c, int32_t pid);

// Whether the focus is in a window of the X server at all (not None, nor
// PointerRoot over the bare root); false without a display.
bool focusInXWindow(Connection* c);

// Gives the focus to the process's topmost mapped top-level window, unless
// it has it already: through the window manager's _NET_ACTIVE_WINDOW where
// one runs (it decides, in its own time), else raised and focused
// directly. False when the process shows no window or the server did not
// answer.
bool activateWindowOf(Connection* c, int32_t pid);

}  // namespace nuvra::x11
