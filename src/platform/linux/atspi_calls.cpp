#include "platform/linux/atspi_calls.h"

#include <climits>

namespace nuvra::atspi {

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr uint32_t kScreenCoordinates = 0;

// A toolkit could send a hostile number of actions; nothing offers more
// than a handful.
constexpr int32_t kMaxActions = 64;

Variant callOn(BusLink& link, const ObjectRef& ref, const char* interface, const char* method,
               GVariant* args, const char* replyType) {
    if (isNullRef(ref)) {
        if (args != nullptr) g_variant_unref(g_variant_ref_sink(args));
        return {};
    }
    return link.call(ref.bus, ref.path, interface, method, args, replyType);
}

std::optional<std::string> stringProperty(BusLink& link, const ObjectRef& ref, const char* name) {
    if (isNullRef(ref)) return std::nullopt;
    Variant value = link.property(ref, kAccessible, name, "s");
    if (!value) return std::nullopt;
    return std::string(g_variant_get_string(value.get(), nullptr));
}

ObjectRef refFrom(GVariant* pair) {
    const char* bus = nullptr;
    const char* path = nullptr;
    g_variant_get(pair, "(&s&o)", &bus, &path);
    return ObjectRef{bus, path};
}

}  // namespace

std::optional<uint32_t> getRole(BusLink& link, const ObjectRef& ref) {
    Variant reply = callOn(link, ref, kAccessible, "GetRole", nullptr, "(u)");
    if (!reply) return std::nullopt;
    uint32_t role = 0;
    g_variant_get(reply.get(), "(u)", &role);
    return role;
}

std::optional<std::string> getRoleName(BusLink& link, const ObjectRef& ref) {
    Variant reply = callOn(link, ref, kAccessible, "GetRoleName", nullptr, "(s)");
    if (!reply) return std::nullopt;
    const char* name = nullptr;
    g_variant_get(reply.get(), "(&s)", &name);
    return std::string(name);
}

std::optional<std::string> getName(BusLink& link, const ObjectRef& ref) {
    return stringProperty(link, ref, "Name");
}

std::optional<std::string> getDescription(BusLink& link, const ObjectRef& ref) {
    return stringProperty(link, ref, "Description");
}

std::optional<StateSet> getState(BusLink& link, const ObjectRef& ref) {
    Variant reply = callOn(link, ref, kAccessible, "GetState", nullptr, "(au)");
    if (!reply) return std::nullopt;
    GVariant* words = g_variant_get_child_value(reply.get(), 0);
    Variant owned(words);
    gsize count = 0;
    const auto* data = static_cast<const uint32_t*>(
        g_variant_get_fixed_array(words, &count, sizeof(uint32_t)));
    StateSet states;
    if (count > 0) states.bits |= data[0];
    if (count > 1) states.bits |= static_cast<uint64_t>(data[1]) << 32;
    return states;
}

std::optional<std::vector<ObjectRef>> getChildren(BusLink& link, const ObjectRef& ref) {
    Variant reply = callOn(link, ref, kAccessible, "GetChildren", nullptr, "(a(so))");
    if (!reply) return std::nullopt;
    Variant list(g_variant_get_child_value(reply.get(), 0));
    std::vector<ObjectRef> children;
    gsize count = g_variant_n_children(list.get());
    children.reserve(count);
    for (gsize i = 0; i < count; ++i) {
        Variant pair(g_variant_get_child_value(list.get(), i));
        ObjectRef child = refFrom(pair.get());
        if (!isNullRef(child)) children.push_back(std::move(child));
    }
    return children;
}

std::optional<Extents> getExtents(BusLink& link, const ObjectRef& ref) {
    Variant reply = callOn(link, ref, kComponent, "GetExtents",
                           g_variant_new("(u)", kScreenCoordinates), "((iiii))");
    if (!reply) return std::nullopt;
    Extents e;
    g_variant_get(reply.get(), "((iiii))", &e.x, &e.y, &e.width, &e.height);
    if (e.x == INT_MIN || e.y == INT_MIN) return std::nullopt;
    return e;
}

std::optional<ObjectRef> accessibleAtPoint(BusLink& link, const ObjectRef& ref, int32_t x,
                                           int32_t y) {
    Variant reply = callOn(link, ref, kComponent, "GetAccessibleAtPoint",
                           g_variant_new("(iiu)", x, y, kScreenCoordinates), "((so))");
    if (!reply) return std::nullopt;
    Variant pair(g_variant_get_child_value(reply.get(), 0));
    ObjectRef found = refFrom(pair.get());
    if (isNullRef(found)) return std::nullopt;
    return found;
}

std::optional<std::string> getText(BusLink& link, const ObjectRef& ref) {
    // An end offset of -1 means the end of the text.
    Variant reply = callOn(link, ref, "org.a11y.atspi.Text", "GetText",
                           g_variant_new("(ii)", 0, -1), "(s)");
    if (!reply) return std::nullopt;
    const char* text = nullptr;
    g_variant_get(reply.get(), "(&s)", &text);
    return std::string(text);
}

std::optional<double> getCurrentValue(BusLink& link, const ObjectRef& ref) {
    if (isNullRef(ref)) return std::nullopt;
    Variant value = link.property(ref, "org.a11y.atspi.Value", "CurrentValue", "d");
    if (!value) return std::nullopt;
    return g_variant_get_double(value.get());
}

std::optional<bool> setTextContents(BusLink& link, const ObjectRef& ref, std::string_view text) {
    // D-Bus strings are UTF-8 by definition; anything else cannot be sent.
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::nullopt;
    std::string owned(text);
    Variant reply = callOn(link, ref, "org.a11y.atspi.EditableText", "SetTextContents",
                           g_variant_new("(s)", owned.c_str()), "(b)");
    if (!reply) return std::nullopt;
    gboolean accepted = FALSE;
    g_variant_get(reply.get(), "(b)", &accepted);
    return accepted != FALSE;
}

std::optional<std::vector<std::string>> getActionNames(BusLink& link, const ObjectRef& ref) {
    if (isNullRef(ref)) return std::nullopt;
    Variant count = link.property(ref, kAction, "NActions", "i");
    if (!count) return std::nullopt;
    int32_t n = g_variant_get_int32(count.get());
    if (n < 0) return std::nullopt;
    if (n > kMaxActions) n = kMaxActions;
    // GetActions would answer in one request, but with localised names;
    // GetName gives the toolkit's own, which the vocabulary matches.
    std::vector<std::string> names;
    for (int32_t i = 0; i < n; ++i) {
        Variant reply = callOn(link, ref, kAction, "GetName", g_variant_new("(i)", i), "(s)");
        if (!reply) return std::nullopt;
        const char* name = nullptr;
        g_variant_get(reply.get(), "(&s)", &name);
        names.emplace_back(name);
    }
    return names;
}

std::optional<bool> doAction(BusLink& link, const ObjectRef& ref, int index) {
    Variant reply = callOn(link, ref, kAction, "DoAction", g_variant_new("(i)", index), "(b)");
    if (!reply) return std::nullopt;
    gboolean done = FALSE;
    g_variant_get(reply.get(), "(b)", &done);
    return done != FALSE;
}

std::vector<ObjectRef> registeredApplications(BusLink& link) {
    auto apps = getChildren(link, ObjectRef{kRegistryName, kRootPath});
    return apps ? std::move(*apps) : std::vector<ObjectRef>{};
}

bool registryAnswers(BusLink& link, std::chrono::milliseconds timeout) {
    Variant reply = link.call(kRegistryName, kRootPath, "org.freedesktop.DBus.Properties", "Get",
                              g_variant_new("(ss)", kAccessible, "ChildCount"), "(v)", timeout);
    return reply != nullptr;
}

std::optional<int32_t> connectionPid(BusLink& link, const std::string& bus) {
    Variant reply = link.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                              g_variant_new("(s)", bus.c_str()), "(u)");
    if (!reply) return std::nullopt;
    uint32_t pid = 0;
    g_variant_get(reply.get(), "(u)", &pid);
    if (pid == 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(pid);
}

}  // namespace nuvra::atspi
