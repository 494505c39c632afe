// One private libdbus connection, driven from the calling thread: no main
// loop, no signal subscription, no handler ever run, and a deadline on
// everything that waits. Whatever the peer sends unasked is dropped as it
// is read, so it can neither pile up nor hold back the replies behind it.
//
// Why not GDBus: one synchronous GDBus call hands the message to a worker
// thread and the reply back through a main context, which costs more than
// the application's own work for the request; and loading GIO costs a
// short command more than its whole start-up budget.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/linux/dbus/message.h"
#include "platform/linux/limits.h"

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
    // that completes before `deadline`. `silent`, when given, tells whether
    // the peer took the connection and then never answered.
    static std::unique_ptr<Connection> open(const std::string& address, bool messageBus,
                                            Clock::time_point deadline, bool* silent = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Sends one call whose reply is awaited at most `timeout` from now; a
    // handle for the reply, or nothing when the call cannot be sent. The bus
    // is asked to start the destination's program only when the call's
    // `activate` says so.
    std::optional<uint32_t> send(const MethodCall& call, std::chrono::milliseconds timeout);

    // Writes whatever is still queued, without waiting for any reply.
    void push();

    // The reply (a return or an error) to the call `handle`, waiting until
    // it arrives or its time-out, counted from now, passes. A time-out, or
    // the peer gone, gives an error reply of D-Bus's own (NoReply,
    // Disconnected); nothing when the handle is unknown. `waited` is the
    // part of the wait that was the peer's: time spent reading what others
    // sent unasked in between is theirs, and stretches the time-out up to
    // five times its length.
    // `notAfter` ends the wait earlier, as a time-out would.
    std::optional<Message> reply(uint32_t handle, Clock::duration& waited,
                                 std::optional<Clock::time_point> notAfter = std::nullopt);
    // Whether the reply to `handle` is in, so that reply() would not wait;
    // also when the handle is unknown or the connection broken.
    bool arrived(uint32_t handle) const;
    // Reads whatever has come, waiting until `until` at most for something;
    // the time spent reading what was sent unasked.
    Clock::duration await(Clock::time_point until);
    // How many of this side's calls the peer answered during the last wait
    // of reply(): with calls pipelined, one wait may cover many answers.
    int answersInLastWait() const { return answersInWait_; }

    // The time spent reading unasked messages since last asked, by sender
    // ("" on a connection straight to the peer).
    std::map<std::string, Clock::duration> takeUnaskedTime();

    // No reply to `handle` is wanted any more.
    void abandon(uint32_t handle);

    bool broken() const;

private:
    struct Awaited {
        std::chrono::milliseconds timeout;
        std::string peer;  // the destination, empty on a connection straight to it
        std::optional<Message> reply;
    };

    explicit Connection(DBusConnection* connection) : connection_(connection) {}
    // Takes every message read so far off libdbus's queue: the replies
    // awaited are kept, everything else is dropped. An unasked message
    // from anyone but the peer awaited is charged the time since the
    // message before.
    void sortIncoming();

    DBusConnection* connection_;
    std::unordered_map<uint32_t, Awaited> awaited_;
    Clock::time_point lastArrival_;
    std::string peer_;
    Clock::duration othersInWait_{};
    int answersInWait_ = 0;
    std::map<std::string, Clock::duration> unaskedTime_;
};

}  // namespace nuvra::dbus
