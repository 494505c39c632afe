// Whether an X server answers at all, asked before XCB is let near it.
#pragma once

#include <string_view>

namespace nuvra::x11 {

// XCB waits for the server's answer to a new connection without a
// time-out, so a stopped server would hold the run forever; a local server
// (`:N`) is asked first, with one, and true means go ahead. A display on
// another host is not asked. (Replies later in the run are awaited with a
// time-out of their own, see display.h.)
bool serverAnswers(std::string_view displayName);

}  // namespace nuvra::x11
