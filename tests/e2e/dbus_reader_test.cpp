// The backend's reading of D-Bus replies, held against GDBus as an
// independent writer: replies GDBus marshals (in either byte order) are
// read value for value, reads of the wrong type or past the end fail
// instead of reaching libdbus (which would abort the process), and an
// application's
// snapshot is rebuilt from a GetItems reply with its children known
// exactly where the claims prove them.
#include <cstring>
#include <string>
#include <vector>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/linux/app_snapshot.h"
#include "platform/linux/dbus_client.h"

namespace nuvra {
namespace {

using dbus::BodyReader;
using dbus::Message;

// Bytes of a reply GDBus marshals: `body` (a floating tuple) to serial 7.
std::string gdbusReply(GVariant* body, GDBusMessageByteOrder order = G_DBUS_MESSAGE_BYTE_ORDER_LITTLE_ENDIAN,
                       bool error = false) {
    GDBusMessage* call = g_dbus_message_new_method_call(nullptr, "/a", "org.x.Y", "Z");
    g_dbus_message_set_serial(call, 7);
    GDBusMessage* reply = error ? g_dbus_message_new_method_error_literal(
                                      call, "org.freedesktop.DBus.Error.NoReply", "late")
                                : g_dbus_message_new_method_reply(call);
    if (!error) g_dbus_message_set_body(reply, body);
    g_dbus_message_set_serial(reply, 99);
    g_dbus_message_set_byte_order(reply, order);
    gsize size = 0;
    guchar* blob = g_dbus_message_to_blob(reply, &size, G_DBUS_CAPABILITY_FLAGS_NONE, nullptr);
    std::string bytes(reinterpret_cast<char*>(blob), size);
    g_free(blob);
    g_object_unref(reply);
    g_object_unref(call);
    return bytes;
}

Message decoded(const std::string& bytes) {
    auto message = Message::fromBytes(bytes);
    EXPECT_TRUE(message.has_value());
    return message.value_or(Message{});
}

TEST(DbusReader, RepliesGdbusWritesAreReadInEitherByteOrder) {
    for (auto order : {G_DBUS_MESSAGE_BYTE_ORDER_LITTLE_ENDIAN, G_DBUS_MESSAGE_BYTE_ORDER_BIG_ENDIAN}) {
        SCOPED_TRACE(order);
        Message extents = decoded(gdbusReply(g_variant_new("((iiii))", -5, 20, 300, 40), order));
        EXPECT_TRUE(extents.isReturn());
        EXPECT_TRUE(extents.hasSignature("(iiii)"));
        BodyReader e(extents);
        int32_t x = 0, y = 0, w = 0, h = 0;
        EXPECT_TRUE(e.enter() && e.i32(x) && e.i32(y) && e.i32(w) && e.i32(h) && e.leave() &&
                    e.atEnd());
        EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({-5, 20, 300, 40}));

        GVariantBuilder refs;
        g_variant_builder_init(&refs, G_VARIANT_TYPE("a(so)"));
        g_variant_builder_add(&refs, "(so)", ":1.3", "/org/a11y/atspi/accessible/1");
        g_variant_builder_add(&refs, "(so)", ":1.3", "/org/a11y/atspi/null");
        Message children = decoded(gdbusReply(g_variant_new("(a(so))", &refs), order));
        BodyReader c(children);
        std::vector<std::string> paths;
        ASSERT_TRUE(c.enter());
        while (c.more()) {
            std::string_view bus, path;
            ASSERT_TRUE(c.enter() && c.string(bus) && c.objectPath(path) && c.leave());
            paths.emplace_back(path);
        }
        EXPECT_TRUE(c.leave() && c.atEnd());
        EXPECT_EQ(paths, std::vector<std::string>({"/org/a11y/atspi/accessible/1",
                                                   "/org/a11y/atspi/null"}));

        Message value = decoded(gdbusReply(g_variant_new("(v)", g_variant_new_double(0.25)), order));
        BodyReader v(value);
        double number = 0;
        EXPECT_TRUE(v.enterVariant(DBUS_TYPE_DOUBLE) && v.f64(number));
        EXPECT_EQ(number, 0.25);

        Message states = decoded(gdbusReply(g_variant_new_parsed("(@au [1, 2147483648],)"), order));
        BodyReader s(states);
        uint32_t low = 0, high = 0;
        EXPECT_TRUE(s.enter() && s.u32(low) && s.u32(high) && !s.more());
        EXPECT_EQ(low, 1u);
        EXPECT_EQ(high, 2147483648u);
    }
    Message error = decoded(gdbusReply(nullptr, G_DBUS_MESSAGE_BYTE_ORDER_LITTLE_ENDIAN, true));
    EXPECT_TRUE(error.isError());
    EXPECT_EQ(error.errorName(), "org.freedesktop.DBus.Error.NoReply");
}

// What an application sends is read only as the type it turns out to be:
// any other read fails, and so does every read after it.
TEST(DbusReader, ReadsOfAnotherTypeFailAndStayFailed) {
    Message m = decoded(gdbusReply(g_variant_new("(sv(i))", "text", g_variant_new_int32(3), 4)));
    struct Case {
        const char* what;
        bool (*read)(BodyReader&);
    };
    const Case cases[] = {
        {"a number where a text is", [](BodyReader& r) { uint32_t v; return r.u32(v); }},
        {"a path where a text is", [](BodyReader& r) { std::string_view v; return r.objectPath(v); }},
        {"a container where a text is", [](BodyReader& r) { return r.enter(); }},
        {"out of the message itself", [](BodyReader& r) { return r.leave(); }},
        {"a variant of another type",
         [](BodyReader& r) { std::string_view v; return r.string(v) && r.enterVariant(DBUS_TYPE_STRING); }},
        {"a variant entered as a container",
         [](BodyReader& r) { std::string_view v; return r.string(v) && r.enter(); }},
        {"past the end",
         [](BodyReader& r) {
             std::string_view s;
             int32_t i = 0, j = 0;
             return r.string(s) && r.enterVariant(DBUS_TYPE_INT32) && r.i32(i) && r.leave() &&
                    r.enter() && r.i32(j) && r.leave() && r.i32(j);
         }},
    };
    for (const auto& c : cases) {
        BodyReader r(m);
        EXPECT_FALSE(c.read(r)) << c.what;
        std::string_view s;
        EXPECT_FALSE(r.ok()) << c.what;
        EXPECT_FALSE(r.string(s) || r.more() || r.atEnd()) << c.what;
    }
    BodyReader none{Message{}};
    std::string_view s;
    EXPECT_FALSE(none.string(s) || none.more());
}

// A GetItems reply as an application's bridge writes it.
struct Item {
    const char* bus;
    const char* path;
    const char* parent;
    int32_t index;
    int32_t count;
    uint32_t role;
    const char* name;
    std::vector<const char*> interfaces;
};

Message itemsReply(const std::vector<Item>& items) {
    GVariantBuilder all;
    g_variant_builder_init(&all, G_VARIANT_TYPE("a((so)(so)(so)iiassusau)"));
    for (const auto& item : items) {
        GVariantBuilder interfaces;
        g_variant_builder_init(&interfaces, G_VARIANT_TYPE("as"));
        for (const char* i : item.interfaces) g_variant_builder_add(&interfaces, "s", i);
        GVariantBuilder states;
        g_variant_builder_init(&states, G_VARIANT_TYPE("au"));
        g_variant_builder_add(&states, "u", 1u << 8);
        g_variant_builder_add(&states, "u", 0u);
        g_variant_builder_add(&all, "((so)(so)(so)iiassusau)", item.bus, item.path, ":1.5",
                              "/org/a11y/atspi/accessible/root", ":1.5", item.parent, item.index,
                              item.count, &interfaces, item.name, item.role, "desc", &states);
    }
    return decoded(gdbusReply(g_variant_new("(a((so)(so)(so)iiassusau))", &all)));
}

std::vector<std::string> childPaths(const atspi::AppSnapshot& s, const char* path) {
    const auto& o = s.objects[static_cast<size_t>(s.indexOf({":1.5", path}))];
    std::vector<std::string> out;
    for (int32_t c : o.children) out.push_back(s.objects[static_cast<size_t>(c)].path);
    return out;
}

TEST(AppSnapshot, ChildrenAreKnownOnlyWhereTheClaimsProveThem) {
    const char* none = "/org/a11y/atspi/null";
    const std::vector<Item> items = {
        {":1.5", "/w", none, -1, 3, 22, "Window", {"org.a11y.atspi.Component"}},
        // Claimed out of order: the index decides.
        {":1.5", "/b", "/w", 1, 0, 43, "OK", {"org.a11y.atspi.Component", "org.a11y.atspi.Action"}},
        {":1.5", "/a", "/w", 0, 2, 39, "", {"org.a11y.atspi.Text"}},
        {":1.5", "/c", "/w", 2, 1, 62, "", {"org.a11y.atspi.Value"}},
        // /a: index 1 claimed twice.
        {":1.5", "/a1", "/a", 1, 0, 29, "", {}},
        {":1.5", "/a2", "/a", 1, 0, 29, "", {}},
        // /d: its only index claimed by two objects.
        {":1.5", "/d", none, -1, 1, 29, "", {}},
        {":1.5", "/d1", "/d", 0, 0, 29, "", {}},
        {":1.5", "/d2", "/d", 0, 0, 29, "", {}},
        // /c: its one child lives in another application.
        {":1.9", "/plug", "/c", 0, 0, 29, "", {}},
        // An object that manages its descendants tells no count.
        {":1.5", "/list", none, -1, -1, 31, "", {}},
        // A second entry for a path already described is ignored.
        {":1.5", "/b", "/w", 1, 0, 43, "Impostor", {}},
    };
    auto snapshot = atspi::snapshotFrom(":1.5", itemsReply(items));
    ASSERT_TRUE(snapshot);
    auto object = [&](const char* path) {
        return snapshot->objects[static_cast<size_t>(snapshot->indexOf({":1.5", path}))];
    };
    EXPECT_EQ(snapshot->indexOf({":1.9", "/plug"}), -1);
    EXPECT_EQ(snapshot->indexOf({":1.5", "/missing"}), -1);
    EXPECT_TRUE(object("/w").childrenKnown);
    EXPECT_EQ(childPaths(*snapshot, "/w"), std::vector<std::string>({"/a", "/b", "/c"}));
    EXPECT_TRUE(object("/b").childrenKnown);
    EXPECT_TRUE(childPaths(*snapshot, "/b").empty());
    EXPECT_FALSE(object("/a").childrenKnown);
    EXPECT_FALSE(object("/d").childrenKnown);
    EXPECT_FALSE(object("/c").childrenKnown);
    EXPECT_FALSE(object("/list").childrenKnown);
    EXPECT_EQ(object("/b").name, "OK");
    EXPECT_EQ(object("/b").role, 43u);
    EXPECT_EQ(object("/b").description, "desc");
    EXPECT_TRUE(object("/b").states.has(8));
    EXPECT_EQ(object("/b").interfaces, uint32_t(atspi::kComponentInterface));
    EXPECT_EQ(object("/a").interfaces, uint32_t(atspi::kTextInterface));
    EXPECT_EQ(object("/c").interfaces, uint32_t(atspi::kValueInterface));

    // The walk's order: breadth first, bounded like the walk, and carried
    // on through children read one by one where the snapshot had none.
    int32_t w = snapshot->indexOf({":1.5", "/w"});
    auto paths = [&](const std::vector<int32_t>& order) {
        std::vector<std::string> out;
        for (int32_t i : order) out.push_back(snapshot->objects[static_cast<size_t>(i)].path);
        return out;
    };
    EXPECT_EQ(paths(atspi::walkOrder(*snapshot, w, 100, 10, {})),
              std::vector<std::string>({"/w", "/a", "/b", "/c"}));
    EXPECT_EQ(paths(atspi::walkOrder(*snapshot, w, 2, 10, {})),
              std::vector<std::string>({"/w", "/a"}));
    EXPECT_EQ(paths(atspi::walkOrder(*snapshot, w, 100, 0, {})), std::vector<std::string>({"/w"}));
    atspi::ChildLists read{{snapshot->indexOf({":1.5", "/a"}),
                            {snapshot->indexOf({":1.5", "/a2"}), snapshot->indexOf({":1.5", "/w"})}}};
    EXPECT_EQ(paths(atspi::walkOrder(*snapshot, w, 100, 10, read)),
              std::vector<std::string>({"/w", "/a", "/b", "/c", "/a2"}));
}

TEST(AppSnapshot, RepliesOfAnotherFormAreNoSnapshot) {
    Message other = decoded(gdbusReply(g_variant_new("(as)", nullptr)));
    EXPECT_FALSE(atspi::snapshotFrom(":1.5", other));
    // The older cache form listed children instead of counting them.
    Message older = decoded(gdbusReply(g_variant_new_parsed(
        "(@a((so)(so)(so)a(so)assusau) [],)")));
    EXPECT_FALSE(atspi::snapshotFrom(":1.5", older));
}

}  // namespace
}  // namespace nuvra
