#include "platform/linux/dbus/connection.h"

#include <algorithm>
#include <climits>

#include "platform/linux/dbus/bus_address.h"

namespace nuvra::dbus {

namespace {

int milliseconds(std::chrono::milliseconds timeout) {
    // libdbus reads 0 and below as "its default", 25 seconds.
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, INT_MAX));
}

}  // namespace

std::unique_ptr<Connection> Connection::open(const std::string& address, bool messageBus,
                                             Clock::time_point deadline) {
    std::string sockets = unixSocketsOnly(address);
    if (sockets.empty() || Clock::now() >= deadline) return nullptr;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* raw = dbus_connection_open_private(sockets.c_str(), &error);
    if (raw == nullptr) {
        dbus_error_free(&error);
        return nullptr;
    }
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
        if (left.count() <= 0 || !dbus_connection_read_write(raw, milliseconds(left)))
            return nullptr;
    }
    return connection;
}

Connection::~Connection() {
    for (auto& [handle, pending] : pending_) {
        dbus_pending_call_cancel(pending);
        dbus_pending_call_unref(pending);
    }
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
    DBusMessage* message = dbus_message_new_method_call(
        destination.empty() ? nullptr : destination.c_str(), path.c_str(), call.interface,
        call.member);
    if (message == nullptr) return std::nullopt;
    dbus_message_set_auto_start(message, call.activate ? TRUE : FALSE);
    DBusPendingCall* pending = nullptr;
    bool sent = (call.body == nullptr || call.body->appendTo(message)) &&
                dbus_connection_send_with_reply(connection_, message, &pending,
                                                milliseconds(timeout)) &&
                pending != nullptr;
    uint32_t handle = dbus_message_get_serial(message);
    dbus_message_unref(message);
    if (!sent) {
        if (pending != nullptr) dbus_pending_call_unref(pending);
        return std::nullopt;
    }
    pending_[handle] = pending;
    return handle;
}

void Connection::push() {
    dbus_connection_flush(connection_);
}

std::optional<Message> Connection::reply(uint32_t handle) {
    auto found = pending_.find(handle);
    if (found == pending_.end()) return std::nullopt;
    DBusPendingCall* pending = found->second;
    pending_.erase(found);
    dbus_pending_call_block(pending);
    DBusMessage* answer = dbus_pending_call_steal_reply(pending);
    dbus_pending_call_unref(pending);
    if (answer == nullptr) return std::nullopt;
    return Message::adopt(answer);
}

void Connection::abandon(uint32_t handle) {
    auto found = pending_.find(handle);
    if (found == pending_.end()) return;
    dbus_pending_call_cancel(found->second);
    dbus_pending_call_unref(found->second);
    pending_.erase(found);
}

void Connection::dropUnasked() {
    // No filter or object is registered, so dispatching runs no code of
    // ours: replies complete their calls and everything else is dropped
    // (a call to this side gets libdbus's "unknown method" answer).
    while (dbus_connection_get_dispatch_status(connection_) == DBUS_DISPATCH_DATA_REMAINS)
        dbus_connection_dispatch(connection_);
}

bool Connection::broken() const {
    return !dbus_connection_get_is_connected(connection_);
}

}  // namespace nuvra::dbus
