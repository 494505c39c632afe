// D-Bus messages through libdbus, the reference implementation (and the
// one AT-SPI's own client library is built on): the arguments of the calls
// this side makes, and the replies it reads.
//
// libdbus aborts the process on a call it considers a programming error
// (a name or path that is not valid, a string that is not UTF-8, reading an
// argument as the wrong type). Everything passed to it here is validated
// first, and every read checks the type it is about to take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <dbus/dbus.h>

#include "platform/linux/limits.h"

namespace nuvra::dbus {

// A message, holding one libdbus reference.
class Message {
public:
    Message() = default;
    static Message adopt(DBusMessage* message);  // takes over the caller's reference
    Message(const Message& other);
    Message& operator=(const Message& other);
    Message(Message&& other) noexcept;
    Message& operator=(Message&& other) noexcept;
    ~Message();

    DBusMessage* get() const { return message_; }
    bool isError() const;
    bool isReturn() const;
    std::string_view errorName() const;
    bool hasSignature(const char* signature) const;

    // The message from its wire bytes; nothing when they are not one whole
    // valid message.
    static std::optional<Message> fromBytes(std::string_view bytes);

private:
    DBusMessage* message_ = nullptr;
};

// A method call's arguments, in order.
class BodyWriter {
public:
    void u32(uint32_t v);
    void i32(int32_t v);
    void string(std::string_view s);
    // False once a text was given that D-Bus cannot carry (not UTF-8, or
    // holding a NUL).
    bool ok() const { return ok_; }
    // Appends the arguments; false when memory ran out.
    bool appendTo(DBusMessage* message) const;

private:
    struct Arg {
        int type = 0;
        uint32_t u32 = 0;
        int32_t i32 = 0;
        std::string text;
    };
    std::vector<Arg> args_;
    bool ok_ = true;
};

// Reads a message's arguments in order. Containers are entered and left
// explicitly; after the first read of the wrong type or past the end every
// read fails, so a caller may read a whole structure and test ok() once.
// Texts point into the message, which must outlive them.
class BodyReader {
public:
    explicit BodyReader(const Message& message);

    bool u32(uint32_t& v);
    bool i32(int32_t& v);
    bool boolean(bool& v);
    bool f64(double& v);
    bool string(std::string_view& v);
    bool objectPath(std::string_view& v);
    // Into the struct or array at the current position.
    bool enter();
    // Into the variant at the current position, when it holds one value of
    // the basic type `type` (a D-Bus type code such as 's').
    bool enterVariant(int type);
    // Back out of the innermost container, past it.
    bool leave();
    // The current container has another value.
    bool more() const;

    bool ok() const { return ok_; }
    // Every argument was read.
    bool atEnd() const { return ok_ && stack_.size() == 1 && !more(); }

private:
    bool basic(int type, DBusBasicValue& out);
    bool fail();

    // One iterator per open container, the message's own level first. An
    // iterator refers to the message, never to another iterator, so the
    // stack may move them.
    std::vector<DBusMessageIter> stack_;
    bool ok_ = true;
};

// The names D-Bus can carry.
bool validObjectPath(std::string_view s);
bool validBusName(std::string_view s);

}  // namespace nuvra::dbus
