#include "platform/linux/bus_link.h"

#include <cstdlib>
#include <string_view>

#include <sys/stat.h>

#include "platform/linux/x11_desktop.h"

namespace nuvra::atspi {

namespace {

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The connection attempt outlives a caller that gave up on it: GDBus still
// completes it later on its worker thread. The state is shared with the
// callback so that neither frees it under the other.
struct PendingConnect {
    GDBusConnection* connection = nullptr;
    bool done = false;
};

void onConnected(GObject*, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<std::shared_ptr<PendingConnect>*>(data);
    (*pending)->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
    (*pending)->done = true;
    delete pending;
}

gboolean onTimer(gpointer data) {
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}

// The session bus address without GDBus's fallback of autolaunching a
// daemon: the environment, or the per-user socket that systemd and
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
    GDBusConnection* session = connectBefore(*address, deadline);
    if (session == nullptr) return std::nullopt;
    BusLink link;
    link.adopt(session);
    // The launcher is normally started with the session; asking must not
    // start it, so the call forbids activation like every other call here.
    auto left = std::chrono::milliseconds(millisecondsUntil(deadline));
    Variant reply = link.call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                              nullptr, "(s)", left);
    if (!reply) return std::nullopt;
    const char* value = nullptr;
    g_variant_get(reply.get(), "(&s)", &value);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// Errors after which the peer is not asked again in this run: it did not
// answer in time, or it is gone from the bus.
bool peerStoppedAnswering(const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) return true;
    if (error->domain != G_DBUS_ERROR) return false;
    switch (error->code) {
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_TIMEOUT:
        case G_DBUS_ERROR_TIMED_OUT:
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_DISCONNECTED:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool isNullRef(const ObjectRef& ref) {
    return ref.bus.empty() || ref.path.empty() || ref.path == kNullPath;
}

GDBusConnection* connectBefore(const std::string& address, Clock::time_point deadline) {
    int budget = millisecondsUntil(deadline);
    if (budget <= 0 || !g_dbus_is_address(address.c_str())) return nullptr;

    // The synchronous constructor has no time-out and a bus that accepts
    // the socket but never authenticates would hold it forever; the
    // asynchronous one runs on GDBus's thread while this one waits on a
    // private context for the result or the deadline.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    auto pending = std::make_shared<PendingConnect>();
    GCancellable* cancellable = g_cancellable_new();
    auto flags = static_cast<GDBusConnectionFlags>(
        G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    g_dbus_connection_new_for_address(address.c_str(), flags, nullptr, cancellable, onConnected,
                                      new std::shared_ptr<PendingConnect>(pending));
    bool timedOut = false;
    GSource* timer = g_timeout_source_new(static_cast<guint>(budget));
    g_source_set_callback(timer, onTimer, &timedOut, nullptr);
    g_source_attach(timer, context);
    while (!pending->done && !timedOut) g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    if (!pending->done) g_cancellable_cancel(cancellable);
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    if (!pending->done) return nullptr;
    if (pending->connection != nullptr)
        g_dbus_connection_set_exit_on_close(pending->connection, FALSE);
    return pending->connection;
}

std::optional<std::string> findAccessibilityBus(_XDisplay* display,
                                                Clock::time_point deadline) {
    const char* env = std::getenv("AT_SPI_BUS_ADDRESS");
    if (env != nullptr && *env != '\0') return std::string(env);
    if (auto address = x11::rootStringProperty(display, "AT_SPI_BUS")) return address;
    return addressFromSessionBus(deadline);
}

BusLink::~BusLink() {
    if (connection_ != nullptr) {
        g_dbus_connection_close_sync(connection_, nullptr, nullptr);
        g_object_unref(connection_);
    }
}

void BusLink::adopt(GDBusConnection* connection) {
    if (connection_ != nullptr) g_object_unref(connection_);
    connection_ = connection;
}

Variant BusLink::call(const std::string& bus, const std::string& path, const char* interface,
                      const char* method, GVariant* args, const char* replyType,
                      std::chrono::milliseconds timeout) {
    // Sink a floating argument so that it is released on every path,
    // including the ones that never send it.
    Variant ownedArgs(args != nullptr ? g_variant_ref_sink(args) : nullptr);
    if (connection_ == nullptr || bus.empty() || unresponsive(bus)) return {};
    if (!g_dbus_is_name(bus.c_str()) || !g_variant_is_object_path(path.c_str())) return {};
    if (timeout.count() <= 0) return {};
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, bus.c_str(), path.c_str(), interface, method, ownedArgs.get(),
        replyType != nullptr ? G_VARIANT_TYPE(replyType) : nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<int>(timeout.count()), nullptr, &error);
    if (reply == nullptr) {
        if (error != nullptr) {
            if (peerStoppedAnswering(error)) unresponsive_.insert(bus);
            g_error_free(error);
        }
        return {};
    }
    return Variant(reply);
}

Variant BusLink::property(const ObjectRef& ref, const char* interface, const char* name,
                          const char* type) {
    Variant reply = call(ref.bus, ref.path, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", interface, name), "(v)");
    if (!reply) return {};
    GVariant* inner = nullptr;
    g_variant_get(reply.get(), "(v)", &inner);
    Variant value(inner);
    if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE(type))) return {};
    return value;
}

}  // namespace nuvra::atspi
