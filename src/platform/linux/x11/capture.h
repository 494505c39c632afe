// The X screen as pictures: what the root window shows in a rectangle of it, read through MIT-SHM where the server offers it and with
// GetImage otherwise. X knows no scaling: a point is a pixel.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace nuvra::x11 {

struct Connection;

// What the screen shows in `area` (whole pixels within the root window).
// XWayland's root window holds no picture (it reads as black, or is
// refused): on a Wayland desktop (`wayland`), and wherever the root is
// refused, the top-level X window that holds the whole area is read
// instead, which shows that window as X draws it, not what a Wayland
// window above it hides.
CaptureResult captureScreen(Connection* c, const ScreenRect& area, bool wayland, ScreenImage& out);

}  // namespace nuvra::x11
