// Whether an X server answers at all, asked before Xlib is let near it.
#pragma once

#include <string_view>

namespace nuvra::x11 {

// Xlib waits for the server's answer to a new connection without a
// time-out, so a stopped server would hold the run forever; a local server
// (`:N`) is asked first, with one, and true means go ahead. A display on
// another host is not asked. (A server that stops later in the run still
// holds it: Xlib's replies have no time-out either.)
bool serverAnswers(std::string_view displayName);

}  // namespace nuvra::x11
