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

// Joins the accessibility bus, found the way AT-SPI clients find it:
// AT_SPI_BUS_ADDRESS alone when set, else the AT_SPI_BUS property of the X
// root window (`rootWindowAddress`) and then org.a11y.Bus.GetAddress on the
// session bus. `join` connects to one address before its deadline and
// tells whether the bus there answered. A root window address that does
// not answer within its share of the time gives way to the session bus's
// address, or is joined again with the rest when that names no other.
// Gives up at `deadline`.
bool joinAccessibilityBus(const std::function<std::optional<std::string>()>& rootWindowAddress,
                          const std::function<bool(const std::string&, Clock::time_point)>& join,
                          Clock::time_point deadline);

}  // namespace nuvra::dbus
