#include "platform/linux/dbus_client.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace nuvra::dbus {

namespace {

// The largest message accepted from a peer: a whole application's cache of
// 100,000 objects fits.
constexpr long kMaxMessage = 64L << 20;

bool hasNul(std::string_view s) {
    return std::memchr(s.data(), '\0', s.size()) != nullptr;
}

int milliseconds(std::chrono::milliseconds timeout) {
    // libdbus reads 0 and below as "its default", 25 seconds.
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, INT_MAX));
}

// The unix-socket endpoints of an address list, as an address list. Every
// other transport is left out: "autolaunch:" would start a bus daemon and
// "unixexec:" would run a program named by whoever set the address.
std::string unixSocketsOnly(const std::string& address) {
    DBusAddressEntry** entries = nullptr;
    int count = 0;
    DBusError error;
    dbus_error_init(&error);
    if (!dbus_parse_address(address.c_str(), &entries, &count, &error)) {
        dbus_error_free(&error);
        return {};
    }
    std::string kept;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(dbus_address_entry_get_method(entries[i]), "unix") != 0) continue;
        for (const char* key : {"path", "abstract"}) {
            const char* value = dbus_address_entry_get_value(entries[i], key);
            if (value == nullptr) continue;
            char* escaped = dbus_address_escape_value(value);
            if (escaped == nullptr) continue;
            if (!kept.empty()) kept += ';';
            kept += std::string("unix:") + key + "=" + escaped;
            dbus_free(escaped);
            break;
        }
    }
    dbus_address_entries_free(entries);
    return kept;
}

}  // namespace

// Message

Message Message::adopt(DBusMessage* message) {
    Message m;
    m.message_ = message;
    return m;
}

Message::Message(const Message& other) : message_(other.message_) {
    if (message_ != nullptr) dbus_message_ref(message_);
}

Message& Message::operator=(const Message& other) {
    if (this != &other) {
        Message copy(other);
        std::swap(message_, copy.message_);
    }
    return *this;
}

Message::Message(Message&& other) noexcept : message_(std::exchange(other.message_, nullptr)) {}

Message& Message::operator=(Message&& other) noexcept {
    std::swap(message_, other.message_);
    return *this;
}

Message::~Message() {
    if (message_ != nullptr) dbus_message_unref(message_);
}

bool Message::isError() const {
    return message_ != nullptr && dbus_message_get_type(message_) == DBUS_MESSAGE_TYPE_ERROR;
}

bool Message::isReturn() const {
    return message_ != nullptr &&
           dbus_message_get_type(message_) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
}

std::string_view Message::errorName() const {
    const char* name = isError() ? dbus_message_get_error_name(message_) : nullptr;
    return name != nullptr ? std::string_view(name) : std::string_view();
}

bool Message::hasSignature(const char* signature) const {
    return message_ != nullptr && dbus_message_has_signature(message_, signature);
}

std::optional<Message> Message::fromBytes(std::string_view bytes) {
    if (bytes.size() < 16 || bytes.size() > static_cast<size_t>(kMaxMessage)) return std::nullopt;
    const int length = static_cast<int>(bytes.size());
    if (dbus_message_demarshal_bytes_needed(bytes.data(), length) != length) return std::nullopt;
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* message = dbus_message_demarshal(bytes.data(), length, &error);
    if (message == nullptr) {
        dbus_error_free(&error);
        return std::nullopt;
    }
    return adopt(message);
}

// BodyWriter

void BodyWriter::u32(uint32_t v) {
    Arg a;
    a.type = DBUS_TYPE_UINT32;
    a.u32 = v;
    args_.push_back(std::move(a));
}

void BodyWriter::i32(int32_t v) {
    Arg a;
    a.type = DBUS_TYPE_INT32;
    a.i32 = v;
    args_.push_back(std::move(a));
}

void BodyWriter::string(std::string_view s) {
    Arg a;
    a.type = DBUS_TYPE_STRING;
    a.text = std::string(s);
    if (hasNul(s) || !dbus_validate_utf8(a.text.c_str(), nullptr)) ok_ = false;
    args_.push_back(std::move(a));
}

bool BodyWriter::appendTo(DBusMessage* message) const {
    if (!ok_) return false;
    DBusMessageIter iter;
    dbus_message_iter_init_append(message, &iter);
    for (const Arg& a : args_) {
        const char* text = a.text.c_str();
        const void* value = a.type == DBUS_TYPE_STRING   ? static_cast<const void*>(&text)
                            : a.type == DBUS_TYPE_INT32 ? static_cast<const void*>(&a.i32)
                                                         : static_cast<const void*>(&a.u32);
        if (!dbus_message_iter_append_basic(&iter, a.type, value)) return false;
    }
    return true;
}

// BodyReader

BodyReader::BodyReader(const Message& message) {
    stack_.reserve(8);
    DBusMessageIter top;
    if (message.get() == nullptr) {
        ok_ = false;
        return;
    }
    // False for a message without arguments, whose iterator is still valid
    // and simply at its end.
    dbus_message_iter_init(message.get(), &top);
    stack_.push_back(top);
}

bool BodyReader::fail() {
    ok_ = false;
    return false;
}

bool BodyReader::basic(int type, DBusBasicValue& out) {
    if (!ok_ || dbus_message_iter_get_arg_type(&stack_.back()) != type) return fail();
    // Into the union of every basic type, whatever `type` is.
    dbus_message_iter_get_basic(&stack_.back(), &out);
    dbus_message_iter_next(&stack_.back());
    return true;
}

bool BodyReader::u32(uint32_t& v) {
    DBusBasicValue value;
    if (!basic(DBUS_TYPE_UINT32, value)) return false;
    v = value.u32;
    return true;
}

bool BodyReader::i32(int32_t& v) {
    DBusBasicValue value;
    if (!basic(DBUS_TYPE_INT32, value)) return false;
    v = value.i32;
    return true;
}

bool BodyReader::boolean(bool& v) {
    DBusBasicValue value;
    if (!basic(DBUS_TYPE_BOOLEAN, value)) return false;
    v = value.bool_val != 0;
    return true;
}

bool BodyReader::f64(double& v) {
    DBusBasicValue value;
    if (!basic(DBUS_TYPE_DOUBLE, value)) return false;
    v = value.dbl;
    return true;
}

bool BodyReader::string(std::string_view& v) {
    DBusBasicValue value;
    if (!basic(DBUS_TYPE_STRING, value)) return false;
    v = value.str;
    return true;
}

bool BodyReader::objectPath(std::string_view& v) {
    DBusBasicValue value;
    if (!basic(DBUS_TYPE_OBJECT_PATH, value)) return false;
    v = value.str;
    return true;
}

bool BodyReader::enter() {
    if (!ok_) return false;
    int type = dbus_message_iter_get_arg_type(&stack_.back());
    if (type != DBUS_TYPE_STRUCT && type != DBUS_TYPE_ARRAY) return fail();
    DBusMessageIter inner;
    dbus_message_iter_recurse(&stack_.back(), &inner);
    stack_.push_back(inner);
    return true;
}

bool BodyReader::enterVariant(int type) {
    if (!ok_ || dbus_message_iter_get_arg_type(&stack_.back()) != DBUS_TYPE_VARIANT) return fail();
    DBusMessageIter inner;
    dbus_message_iter_recurse(&stack_.back(), &inner);
    if (dbus_message_iter_get_arg_type(&inner) != type) return fail();
    stack_.push_back(inner);
    return true;
}

bool BodyReader::leave() {
    if (!ok_ || stack_.size() < 2) return fail();
    stack_.pop_back();
    dbus_message_iter_next(&stack_.back());
    return true;
}

bool BodyReader::more() const {
    // libdbus's reader does not change the iterator to tell its type.
    return ok_ && dbus_message_iter_get_arg_type(const_cast<DBusMessageIter*>(&stack_.back())) !=
                      DBUS_TYPE_INVALID;
}

// Names

bool validObjectPath(std::string_view s) {
    return !hasNul(s) && dbus_validate_path(std::string(s).c_str(), nullptr);
}

bool validBusName(std::string_view s) {
    return !hasNul(s) && dbus_validate_bus_name(std::string(s).c_str(), nullptr);
}

// Connection

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
    dbus_message_set_auto_start(message, FALSE);
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
