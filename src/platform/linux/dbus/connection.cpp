#include "platform/linux/dbus/connection.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/linux/dbus/bus_address.h"
#include "platform/linux/open_by.h"

namespace nuvra::dbus {

namespace {

int milliseconds(std::chrono::milliseconds timeout) {
    // libdbus reads 0 and below as "its default", 25 seconds.
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, INT_MAX));
}

// A reply of D-Bus's own for a call that got none.
Message localError(const char* name) {
    DBusMessage* error = dbus_message_new(DBUS_MESSAGE_TYPE_ERROR);
    if (error != nullptr && !dbus_message_set_error_name(error, name)) {
        dbus_message_unref(error);
        error = nullptr;
    }
    return Message::adopt(error);
}

// libdbus's open may wait forever (see open_by.h).
DBusConnection* openBy(const std::string& sockets, Clock::time_point deadline) {
    return static_cast<DBusConnection*>(nuvra::openBy(
        [sockets]() -> void* {
            DBusError error;
            dbus_error_init(&error);
            DBusConnection* raw = dbus_connection_open_private(sockets.c_str(), &error);
            dbus_error_free(&error);
            return raw;
        },
        [](void* opened) {
            auto* raw = static_cast<DBusConnection*>(opened);
            dbus_connection_close(raw);
            dbus_connection_unref(raw);
        },
        deadline));
}

}  // namespace

std::unique_ptr<Connection> Connection::open(const std::string& address, bool messageBus,
                                             Clock::time_point deadline, bool* silent) {
    std::string sockets = unixSocketsOnly(address);
    if (sockets.empty() || Clock::now() >= deadline) return nullptr;
    DBusConnection* raw = openBy(sockets, deadline);
    if (raw == nullptr) return nullptr;
    std::unique_ptr<Connection> connection(new Connection(raw));
    dbus_connection_set_exit_on_disconnect(raw, FALSE);
    dbus_connection_set_max_message_size(raw, kMaxMessage);
    dbus_connection_set_max_received_size(raw, 2 * kMaxMessage);
    // A message bus wants Hello first. Its answer (the name this side got)
    // is of no use here, so it is not waited for: the bus handles calls in
    // the order they come, and the answer is dropped with anything else
    // unasked. Queued now, it goes out together with the end of
    // authentication.
    if (messageBus) {
        DBusMessage* hello = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                          DBUS_INTERFACE_DBUS, "Hello");
        if (hello == nullptr) return nullptr;
        bool queued = dbus_connection_send(raw, hello, nullptr);
        dbus_message_unref(hello);
        if (!queued) return nullptr;
    }
    // libdbus starts a call's time-out only once the call is written, which
    // waits for authentication, which has no time-out of its own: a peer
    // that accepts the connection and never answers would hold the first
    // call forever. So authentication is driven here, against the deadline.
    while (!dbus_connection_get_is_authenticated(raw)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !dbus_connection_read_write(raw, milliseconds(left))) {
            if (silent != nullptr) *silent = left.count() <= 0;
            return nullptr;
        }
    }
    return connection;
}

Connection::~Connection() {
    // A private connection must be closed before its last reference goes.
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

std::optional<uint32_t> Connection::send(const MethodCall& call,
                                         std::chrono::milliseconds timeout) {
    if (broken()) return std::nullopt;
    std::string destination(call.destination);
    std::string path(call.path);
    if ((!destination.empty() && !validBusName(destination)) || !validObjectPath(path) ||
        !dbus_validate_interface(call.interface, nullptr) ||
        !dbus_validate_member(call.member, nullptr) || (call.body != nullptr && !call.body->ok()))
        return std::nullopt;
    Message message = Message::adopt(dbus_message_new_method_call(
        destination.empty() ? nullptr : destination.c_str(), path.c_str(), call.interface,
        call.member));
    if (message.get() == nullptr) return std::nullopt;
    dbus_message_set_auto_start(message.get(), call.activate ? TRUE : FALSE);
    dbus_uint32_t serial = 0;
    if ((call.body != nullptr && !call.body->appendTo(message.get())) ||
        !dbus_connection_send(connection_, message.get(), &serial))
        return std::nullopt;
    awaited_[serial] = Awaited{timeout, destination, std::nullopt};
    return serial;
}

void Connection::push() {
    dbus_connection_flush(connection_);
}

void Connection::sortIncoming() {
    while (DBusMessage* raw = dbus_connection_pop_message(connection_)) {
        Message message = Message::adopt(raw);
        const auto now = Clock::now();
        const auto took = now - lastArrival_;
        lastArrival_ = now;
        auto awaited = awaited_.find(dbus_message_get_reply_serial(raw));
        if ((message.isReturn() || message.isError()) && awaited != awaited_.end()) {
            if (!awaited->second.reply) awaited->second.reply = std::move(message);
            ++answersInWait_;
            continue;
        }
        const char* sender = dbus_message_get_sender(raw);
        const std::string from = sender != nullptr ? sender : "";
        if (from == peer_) continue;
        unaskedTime_[from] += took;
        othersInWait_ += took;
    }
}

bool Connection::arrived(uint32_t handle) const {
    auto found = awaited_.find(handle);
    return found == awaited_.end() || found->second.reply || broken();
}

Clock::duration Connection::await(Clock::time_point until) {
    lastArrival_ = Clock::now();
    othersInWait_ = {};
    peer_.clear();
    sortIncoming();
    // Past `until`, what has come is still read, without waiting: a wait
    // in turns on several connections may leave this one no time of its own.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (!broken() && dbus_connection_read_write(connection_, left.count() > 0 ? milliseconds(left) : 0))
        sortIncoming();
    return othersInWait_;
}

std::optional<Message> Connection::reply(uint32_t handle, Clock::duration& waited,
                                         std::optional<Clock::time_point> notAfter) {
    waited = {};
    auto found = awaited_.find(handle);
    if (found == awaited_.end()) return std::nullopt;
    // Time spent reading what others sent unasked is not the peer's: it
    // stretches the time-out, up to kStretch times, so that a flood ahead
    // of the reply delays it without starving it.
    const auto started = Clock::now();
    const auto timeout = found->second.timeout;
    lastArrival_ = started;
    othersInWait_ = {};
    answersInWait_ = 0;
    peer_ = found->second.peer;
    sortIncoming();
    while (!found->second.reply) {
        auto until = started + timeout + std::min<Clock::duration>(othersInWait_, kStretch * timeout);
        if (notAfter) until = std::min(until, *notAfter);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (broken()) found->second.reply = localError(DBUS_ERROR_DISCONNECTED);
        else if (left.count() <= 0) found->second.reply = localError(DBUS_ERROR_NO_REPLY);
        else if (dbus_connection_read_write(connection_, milliseconds(left))) sortIncoming();
    }
    waited = std::max<Clock::duration>(Clock::now() - started - othersInWait_, {});
    std::optional<Message> answer = std::move(found->second.reply);
    awaited_.erase(found);
    return answer;
}

std::map<std::string, Clock::duration> Connection::takeUnaskedTime() {
    return std::exchange(unaskedTime_, {});
}

void Connection::abandon(uint32_t handle) {
    awaited_.erase(handle);
}

bool Connection::broken() const {
    return !dbus_connection_get_is_connected(connection_);
}

}  // namespace nuvra::dbus
