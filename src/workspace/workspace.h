// The workspace commands: the applications an agent can name, the windows
// of one, bringing one to the front, and starting one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outcome.h"
#include "platform/platform.h"
#include "workspace/limits.h"

namespace nuvra {

// One top-level window of an application, as the windows command lists it.
struct WindowRecord {
    int64_t number = 0;  // from 1, in the platform's order of the application's windows
    Element element;
    std::optional<std::string> title;
    std::optional<ScreenRect> frame;  // only where the platform tells it is on screen
    bool focused = false;             // the application's "AXFocusedWindow"
    bool main = false;                // its "AXMainWindow"
    bool modal = false;               // the window's "AXModal"
};

struct AppWindows {
    RunningApplication app;
    std::vector<WindowRecord> windows;  // at most kMaxWindowsListed
    bool truncated = false;             // the application has more
};

// The application named (else the frontmost) and its windows; the
// targeting failures when there is none.
Outcome<AppWindows> listWindows(Platform& platform, const std::optional<std::string>& appName);

// Brings the application named, and its window `number` (else the one
// observe would read), to the front with the keyboard focus, then reads
// back until both are frontmost. NoSuchWindow for a number it does not
// have, NoObservableWindow when it has none, NotActivated when it is not
// frontmost within kActivationBoundMicroseconds.
MaybeFailure activateApp(Platform& platform, std::string_view name, std::optional<int64_t> number);

// Starts the installed application `id` and waits until it is registered
// with the accessibility interface and has a window, within
// kLaunchBoundMicroseconds; its workspace record then. NotInstalled,
// NotLaunched, or LaunchTimedOut.
Outcome<RunningApplication> launchApp(Platform& platform, std::string_view id);

}  // namespace nuvra
