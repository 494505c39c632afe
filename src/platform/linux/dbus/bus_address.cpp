#include "platform/linux/dbus/bus_address.h"
#include "platform/linux/limits.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include <sys/stat.h>

namespace nuvra::dbus {

namespace {

// The session bus address without the fallback of autolaunching a daemon:
// the environment, or the per-user socket that systemd and
// dbus-user-session provide.
std::optional<std::string> sessionBusAddress() {
    const char* env = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (env != nullptr && *env != '\0') return std::string(env);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') return std::nullopt;
    std::string path = std::string(runtime) + "/bus";
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return std::nullopt;
    return "unix:path=" + path;
}

std::optional<std::string> addressFromSessionBus(Clock::time_point deadline) {
    auto address = sessionBusAddress();
    if (!address) return std::nullopt;
    auto session = Connection::open(*address, true, deadline);
    if (!session) return std::nullopt;
    // The launcher is normally started with the session; asking must not
    // start it, so the call forbids activation like every other call here.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    auto handle =
        session->send(MethodCall{"org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"}, left);
    if (!handle) return std::nullopt;
    Clock::duration waited;
    auto reply = session->reply(*handle, waited);
    if (!reply || !reply->isReturn() || !reply->hasSignature("s")) return std::nullopt;
    BodyReader body(*reply);
    std::string_view value;
    if (!body.string(value) || value.empty()) return std::nullopt;
    return std::string(value);
}

}  // namespace

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

bool joinAccessibilityBus(const std::function<std::optional<std::string>()>& rootWindowAddress,
                          const std::function<bool(const std::string&, Clock::time_point)>& join,
                          Clock::time_point deadline) {
    const char* env = std::getenv("AT_SPI_BUS_ADDRESS");
    if (env != nullptr && *env != '\0') return join(env, deadline);
    auto fromRoot = rootWindowAddress();
    if (fromRoot) {
        auto share = deadline - (deadline - Clock::now()) / kRootWindowShare;
        if (join(*fromRoot, share)) return true;
    }
    // Where the session bus names no other address, the root window's bus
    // was slow rather than false (a loaded machine), and gets what is left.
    auto next = addressFromSessionBus(deadline);
    if (!next) next = fromRoot;
    return next && join(*next, deadline);
}

}  // namespace nuvra::dbus
