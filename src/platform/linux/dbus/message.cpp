#include "platform/linux/dbus/message.h"

#include <cstring>
#include <utility>

namespace nuvra::dbus {

namespace {

bool hasNul(std::string_view s) {
    return std::memchr(s.data(), '\0', s.size()) != nullptr;
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

}  // namespace nuvra::dbus
