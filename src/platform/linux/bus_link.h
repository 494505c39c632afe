// The connection to the AT-SPI accessibility bus, spoken through GDBus.
//
// Why not libatspi: its blocking calls dispatch incoming signals
// re-entrantly, a handler inside it makes a nested blocking call, and a
// single-threaded client then waits on libdbus's dispatch lock forever.
// This link subscribes to no signal at all (no match rule is ever added, so
// the bus delivers nothing unasked), every call carries its own time-out, and
// an application that once failed to answer is not asked again in this run.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <gio/gio.h>

struct _XDisplay;

namespace nuvra::atspi {

using Clock = std::chrono::steady_clock;

// How long one request to an application may take. A responsive toolkit
// answers in well under a millisecond and a busy one within tens; one that
// has not answered in a second is treated as hung for the rest of the run,
// so a run touching one hung application costs it one second, not one
// second per request.
constexpr std::chrono::milliseconds kCallTimeout{1000};

struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

struct ObjectUnref {
    void operator()(void* o) const { g_object_unref(o); }
};

// Where an accessible object lives: the owning connection's name on the
// bus and the object path. The registry's desktop and each application's
// root are ordinary objects too.
struct ObjectRef {
    std::string bus;
    std::string path;
};

inline constexpr const char* kNullPath = "/org/a11y/atspi/null";
inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
inline constexpr const char* kRegistryName = "org.a11y.atspi.Registry";

bool isNullRef(const ObjectRef& ref);

// The accessibility bus address, looked up the way AT-SPI clients do:
// AT_SPI_BUS_ADDRESS, then the AT_SPI_BUS property of the X root window,
// then org.a11y.Bus.GetAddress on the session bus. Nothing is started on the
// way: no bus autolaunch, no service activation. Gives up at `deadline`.
// `display` may be null (no X display).
std::optional<std::string> findAccessibilityBus(_XDisplay* display, Clock::time_point deadline);

// Opens a connection to a message bus at `address`, or nothing when it does
// not complete (connect, authenticate, Hello) before `deadline`.
GDBusConnection* connectBefore(const std::string& address, Clock::time_point deadline);

class BusLink {
public:
    BusLink() = default;
    ~BusLink();
    BusLink(const BusLink&) = delete;
    BusLink& operator=(const BusLink&) = delete;

    // Takes ownership of an open connection.
    void adopt(GDBusConnection* connection);
    bool connected() const { return connection_ != nullptr; }

    // One method call and its reply of type `replyType` (a GVariant type
    // string), or nothing: not connected, the peer unresponsive earlier in
    // this run, an error reply, a reply of another type, or no reply within
    // `timeout`. `args` may be floating; it is consumed in every case.
    Variant call(const std::string& bus, const std::string& path, const char* interface,
                 const char* method, GVariant* args, const char* replyType,
                 std::chrono::milliseconds timeout = kCallTimeout);

    // One property, unwrapped from its variant; nothing when it cannot be
    // read or is not of `type`.
    Variant property(const ObjectRef& ref, const char* interface, const char* name,
                     const char* type);

    bool unresponsive(const std::string& bus) const { return unresponsive_.count(bus) != 0; }

private:
    GDBusConnection* connection_ = nullptr;
    std::set<std::string> unresponsive_;
};

}  // namespace nuvra::atspi
