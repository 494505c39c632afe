// The desktop as a workspace: which applications are registered, what the
// workspace record of each says, and which accessible object shows a given
// screen pixel.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi/link.h"
#include "platform/platform.h"

namespace nuvra::x11 {
struct Connection;
}

namespace nuvra::atspi {

// One application registered with the AT-SPI registry, by its connection on
// the bus and its process (-1 when the bus cannot tell).
struct RegisteredApp {
    std::string bus;
    int32_t pid = -1;
};

// The registry's applications, in the registry's order, each once.
std::vector<RegisteredApp> registeredApps(BusLink& link);

// The first of an application's top-level windows in `state`, among the
// first few: no real application has more windows than that, and asking
// each of a hostile one's thousands would cost every run that lists it.
std::optional<ObjectRef> firstWindowIn(BusLink& link, const std::vector<ObjectRef>& windows,
                                       uint32_t state);

// The record the core knows from the macOS workspace: the localized name is
// the application's accessible name, the bundle identifier its GTK
// application id (`applicationIds`, by process), the regular policy means
// it has a top-level window, and active means one of them is active.
RunningApplication workspaceRecord(BusLink& link, const RegisteredApp& app,
                                   const std::map<int32_t, std::string>& applicationIds);

// The deepest accessible object that shows the screen pixel (x, y), or
// nothing. AT-SPI has no desktop-wide hit test, so X tells whose window is
// on top there, and that application's components are asked from there on.
std::optional<ObjectRef> objectAt(BusLink& link, x11::Connection* display, int x, int y);

}  // namespace nuvra::atspi
