// Calls sent ahead on a private message bus: a batch moved from place to
// place keeps its calls (only the place it ends in collects or gives them
// up), and batches given up uncollected, also after their replies came,
// leave the link answering as before.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/linux/atspi/link.h"

namespace nuvra::atspi {
namespace {

TEST(SentCalls, MovedBatchesKeepTheirCallsAndDroppedOnesLeaveNoTrace) {
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    BusLink link;
    ASSERT_TRUE(link.connect(g_test_dbus_get_bus_address(bus), dbus::Clock::now() + kCallTimeout));
    Request getId;
    getId.bus = "org.freedesktop.DBus";
    getId.path = "/org/freedesktop/DBus";
    getId.interface = "org.freedesktop.DBus";
    getId.method = "GetId";
    getId.replySignature = "s";
    const std::vector<Request> batch{getId, getId};
    for (int uncollected = 0; uncollected < 3; ++uncollected) {
        BusLink::Sent first = link.send(batch);
        std::vector<BusLink::Sent> moved;
        moved.push_back(std::move(first));
        BusLink::Sent last = link.send(batch);
        last = std::move(moved.front());  // gives the second batch up
        moved.clear();
        const auto replies = link.collect(batch, last);
        EXPECT_TRUE(replies.size() == 2 && replies[0] && replies[1]) << uncollected;
        auto abandoned = link.send(batch);
        if (uncollected == 2) link.drop(abandoned);
        while (!link.arrived(abandoned)) link.await({&abandoned}, dbus::Clock::now() + kCallTimeout);
    }
    EXPECT_FALSE(link.unresponsive(getId.bus));
    EXPECT_TRUE(link.call(getId));
    g_test_dbus_down(bus);
    g_object_unref(bus);
}

}  // namespace
}  // namespace nuvra::atspi
