// Replies an application could send, read the way the backend reads them.
// The input picks one of the reply types the backend asks for and supplies
// its body; whatever body libdbus accepts as that type must be read without
// a crash, an abort inside libdbus (a read of the wrong type) or undefined
// behaviour, and a snapshot built from it must walk within its bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/atspi/requests.h"
#include "platform/linux/atspi/snapshot.h"

namespace {

using namespace nuvra;

const char* const kSignatures[] = {"a((so)(so)(so)iiassusau)", "a(so)", "(iiii)", "au", "v",
                                   "s", "u", "(so)", "b"};

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void pad(std::string& out, size_t n) {
    while (out.size() % n != 0) out.push_back('\0');
}

// A little-endian method return carrying `body` as `signature`.
std::string replyBytes(std::string_view signature, std::string_view body) {
    std::string fields;
    for (char c : {'\x05', '\x01', 'u', '\0'}) fields.push_back(c);  // REPLY_SERIAL
    put32(fields, 1);
    pad(fields, 8);
    for (char c : {'\x08', '\x01', 'g', '\0'}) fields.push_back(c);  // SIGNATURE
    fields.push_back(static_cast<char>(signature.size()));
    fields.append(signature);
    fields.push_back('\0');
    std::string message;
    for (char c : {'l', '\x02', '\0', '\x01'}) message.push_back(c);
    put32(message, static_cast<uint32_t>(body.size()));
    put32(message, 7);
    put32(message, static_cast<uint32_t>(fields.size()));
    message += fields;
    pad(message, 8);
    message.append(body);
    return message;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* signature = kSignatures[data[0] % (sizeof kSignatures / sizeof *kSignatures)];
    std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    auto message = dbus::Message::fromBytes(replyBytes(signature, body));
    if (!message) return 0;
    const atspi::Reply reply = *message;
    (void)atspi::roleFrom(reply);
    (void)atspi::extentsFrom(reply);
    (void)atspi::textFrom(reply);
    (void)atspi::nameFrom(reply);
    (void)atspi::currentValueFrom(reply);
    (void)atspi::statesFrom(reply);
    (void)atspi::childrenFrom(reply);
    if (auto snapshot = atspi::snapshotFrom(":1.5", *message)) {
        // A walk over the children lists ends: each child is an object of
        // the snapshot, and none is any object's child twice.
        std::vector<bool> listed(snapshot->objects.size(), false);
        for (const auto& object : snapshot->objects)
            for (int32_t child : object.children) {
                const auto k = static_cast<size_t>(child);
                if (child < 0 || k >= listed.size() || listed[k]) __builtin_trap();
                listed[k] = true;
            }
    }
    return 0;
}
