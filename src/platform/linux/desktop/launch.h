// Starting an installed application, detached from this process, and
// telling the processes it starts.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace nuvra::desktop {

// Starts the desktop entry `id` (".desktop" may be left off) by its Exec,
// through posix_spawn, never a shell: in a session of its own, with
// standard input and outputs on /dev/null, the default signal handling and
// an empty signal mask (this process may ignore SIGPIPE or hold SIGTERM),
// and accessibility turned on in its environment. The bundle identifier
// it is expected to show is the id without ".desktop", as GTK's
// application ids are.
LaunchedProcess launchEntry(std::string_view id);

// Whether `ancestor` is among the parents of `pid` (/proc/PID/stat), up to
// a bound; a launcher's child that has outlived it is init's by then.
bool descendsFrom(int32_t pid, int32_t ancestor);

}  // namespace nuvra::desktop
