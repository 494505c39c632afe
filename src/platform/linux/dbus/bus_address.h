// Where the buses are. Nothing is started on the way: no bus autolaunch,
// no service activation, no program run on behalf of an address.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/linux/dbus/connection.h"

namespace nuvra::dbus {

// The unix-socket endpoints of an address list, as an address list; empty
// when it has none. Every other transport is left out: "autolaunch:" would
// start a bus daemon and "unixexec:" would run a program named by whoever
// set the address. Connection::open connects through this alone.
std::string unixSocketsOnly(const std::string& address);

// The accessibility bus address, looked up the way AT-SPI clients do:
// AT_SPI_BUS_ADDRESS, then the AT_SPI_BUS property of the X root window
// (`rootWindowAddress`, asked only when the environment does not tell),
// then org.a11y.Bus.GetAddress on the session bus. Gives up at `deadline`.
std::optional<std::string> accessibilityBusAddress(
    const std::function<std::optional<std::string>()>& rootWindowAddress,
    Clock::time_point deadline);

}  // namespace nuvra::dbus
