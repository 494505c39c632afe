// The backend's reading of D-Bus replies, held against GDBus as an
// independent writer: replies GDBus marshals in either byte order read
// back value for value; a read of the wrong type fails (and every read
// after it) instead of reaching libdbus, which would abort the process;
// a snapshot knows an object's children exactly where the claims prove
// them.
#include <string>
#include <iterator>
#include <tuple>
#include <vector>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/linux/atspi/snapshot.h"

namespace nuvra {
namespace {

using dbus::BodyReader;

// A reply GDBus writes with `body` (a floating tuple), as libdbus reads it.
dbus::Message gdbusReply(GVariant* body, GDBusMessageByteOrder order = G_DBUS_MESSAGE_BYTE_ORDER_LITTLE_ENDIAN) {
    g_autoptr(GDBusMessage) call = g_dbus_message_new_method_call(nullptr, "/a", "org.x.Y", "Z");
    g_dbus_message_set_serial(call, 7);
    g_autoptr(GDBusMessage) reply = g_dbus_message_new_method_reply(call);
    g_dbus_message_set_body(reply, body);
    g_dbus_message_set_serial(reply, 99);
    g_dbus_message_set_byte_order(reply, order);
    gsize size = 0;
    g_autofree guchar* blob = g_dbus_message_to_blob(reply, &size, G_DBUS_CAPABILITY_FLAGS_NONE, nullptr);
    auto message = dbus::Message::fromBytes(std::string(reinterpret_cast<char*>(blob), size));
    EXPECT_TRUE(message.has_value());
    return message.value_or(dbus::Message{});
}

TEST(DbusReader, RepliesGdbusWritesReadBackInEitherByteOrder) {
    for (auto order : {G_DBUS_MESSAGE_BYTE_ORDER_LITTLE_ENDIAN, G_DBUS_MESSAGE_BYTE_ORDER_BIG_ENDIAN}) {
        auto e = atspi::extentsFrom(gdbusReply(g_variant_new("((iiii))", -5, 20, 300, 40), order));
        EXPECT_TRUE(e && e->x == -5 && e->y == 20 && e->width == 300 && e->height == 40);
        auto children = atspi::childrenFrom(gdbusReply(g_variant_new_parsed(
            "([(':1.3', objectpath '/o/1'), (':1.3', '/org/a11y/atspi/null')],)"), order));
        EXPECT_TRUE(children && children->size() == 1 && children->front().path == "/o/1");
        auto value = gdbusReply(g_variant_new("(v)", g_variant_new_double(0.25)), order);
        EXPECT_EQ(atspi::currentValueFrom(value), 0.25);
        auto states = atspi::statesFrom(gdbusReply(g_variant_new_parsed("(@au [2, 2147483648, 7],)"), order));
        EXPECT_EQ(states ? states->bits : 0, 0x8000000000000002ULL);
    }
}

TEST(DbusReader, ReadsOfAnotherTypeFailAndStayFailed) {
    dbus::Message m = gdbusReply(g_variant_new("(sv(i))", "text", g_variant_new_int32(3), 4));
    std::string_view s;
    int32_t i = 0;
    const std::vector<bool (*)(BodyReader&, std::string_view&, int32_t&)> cases{
        [](BodyReader& r, auto&, auto& i) { return r.i32(i); },  // a number where a text is
        [](BodyReader& r, auto&, auto&) { return r.enter(); },   // a container there
        [](BodyReader& r, auto&, auto&) { return r.leave(); },   // out of the message itself
        [](BodyReader& r, auto& s, auto&) { return r.string(s) && r.enterVariant('s'); },
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        BodyReader r(m);
        EXPECT_FALSE(cases[c](r, s, i)) << c;
        EXPECT_FALSE(r.ok() || r.string(s) || r.i32(i) || r.more() || r.atEnd()) << c;
    }
}

// One object of a GetItems reply: bus, path, parent, index in the parent,
// child count, role, name.
GVariant* item(const char* bus, const char* path, const char* parent, int index, int count, unsigned role,
               const char* name = "") {
    return g_variant_new_parsed("((%s, %o), (':1.5', objectpath '/r'), (':1.5', %o), %i, %i,"
                                " ['org.a11y.atspi.Text'], %s, %u, 'desc', [@u 256, 0])",
                                bus, path, parent, index, count, name, role);
}

TEST(AppSnapshot, ChildrenAreKnownOnlyWhereTheClaimsProveThem) {
    GVariant* items[] = {
        item(":1.5", "/w", "/org/a11y/atspi/null", -1, 3, 22, "Window"),
        item(":1.5", "/b", "/w", 1, 0, 43, "OK"),  // claimed out of order: the index decides
        item(":1.5", "/a", "/w", 0, 1, 39),
        item(":1.5", "/c", "/w", 2, 1, 62),
        item(":1.5", "/a1", "/a", 0, 0, 29),  // /a: its one index claimed twice
        item(":1.5", "/a2", "/a", 0, 0, 29),
        item(":1.9", "/plug", "/c", 0, 0, 29),  // /c: its child lives in another application
        item(":1.5", "/list", "/org/a11y/atspi/null", -1, -1, 31),  // manages its own: no count
        item(":1.5", "/b", "/w", 1, 0, 43, "Impostor"),  // a second entry for a path
    };
    GVariant* reply = g_variant_new_array(nullptr, items, std::size(items));
    auto snapshot = atspi::snapshotFrom(":1.5", gdbusReply(g_variant_new_tuple(&reply, 1)));
    ASSERT_TRUE(snapshot);
    auto at = [&](const char* path) { return snapshot->indexOf({":1.5", path}); };
    auto object = [&](const char* path) { return snapshot->objects[static_cast<size_t>(at(path))]; };
    EXPECT_EQ(object("/w").children, (std::vector<int32_t>{at("/a"), at("/b"), at("/c")}));
    EXPECT_TRUE(object("/w").childrenKnown && object("/b").childrenKnown);
    EXPECT_FALSE(object("/a").childrenKnown || object("/c").childrenKnown || object("/list").childrenKnown);
    const auto ok = object("/b");
    EXPECT_EQ(std::tie(ok.name, ok.role, ok.description, ok.interfaces, ok.states.bits),
              std::make_tuple("OK", 43u, "desc", 2u, 256ULL));
}

}  // namespace
}  // namespace nuvra
