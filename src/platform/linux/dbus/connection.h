// One private libdbus connection, driven from the calling thread: no
// worker thread, no main loop, no signal subscription, no handler ever run,
// and a deadline on everything that waits.
//
// Why not GDBus: one synchronous GDBus call hands the message to a worker
// thread and the reply back through a main context, which costs more than
// the application's own work for the request; and loading GIO costs a
// short command more than its whole start-up budget.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/linux/dbus/message.h"

namespace nuvra::dbus {

using Clock = std::chrono::steady_clock;

struct MethodCall {
    std::string_view destination;  // empty on a connection straight to the peer
    std::string_view path;
    const char* interface = "";
    const char* member = "";
    const BodyWriter* body = nullptr;
    bool activate = false;  // let the bus start the destination's program
};

// One private connection. Calls can be pipelined: several are sent before
// the first reply is awaited, and the peer answers them in turn.
class Connection {
public:
    // Connects to the unix-socket endpoints of `address` (see
    // unixSocketsOnly) and, on a message bus, says Hello; nothing unless
    // that completes before `deadline`.
    static std::unique_ptr<Connection> open(const std::string& address, bool messageBus,
                                            Clock::time_point deadline);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Sends one call whose reply is awaited at most `timeout` from now; a
    // handle for the reply, or nothing when the call cannot be sent. Calls
    // never ask the bus to start a service.
    std::optional<uint32_t> send(const MethodCall& call, std::chrono::milliseconds timeout);

    // Writes whatever is still queued, without waiting for any reply.
    void push();

    // The reply (a return or an error) to the call `handle`, waiting until
    // it arrives or its time-out passes. A time-out, or the peer gone,
    // gives libdbus's own error reply; nothing when the handle is unknown.
    std::optional<Message> reply(uint32_t handle);

    // No reply to `handle` is wanted any more.
    void abandon(uint32_t handle);

    // Drops whatever the peer sent unasked (signals, calls to this side),
    // so it does not pile up during a long walk.
    void dropUnasked();

    bool broken() const;

private:
    explicit Connection(DBusConnection* connection) : connection_(connection) {}

    DBusConnection* connection_;
    std::unordered_map<uint32_t, DBusPendingCall*> pending_;
};

}  // namespace nuvra::dbus
