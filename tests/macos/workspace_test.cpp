// Running-application records from AppKit's values: nil strings are absent,
// empty strings present, and the borrowed strings are never released.
#include <vector>

#include "standin_fixture.h"

namespace nuvra::macos::testing {
namespace {

using Workspace = StandinTest;

TEST_F(Workspace, RecordsKeepOrderAndTellNilFromEmpty) {
    standin::addRunningApplication(0, true, standin::string("com.apple.Notes"),
                                   standin::string("Notes"), 501);
    standin::addRunningApplication(1, false, nullptr, nullptr, 502);
    standin::addRunningApplication(2, false, standin::string(""), standin::string(""), -1);

    const std::vector<RunningApplication> apps = platform->runningApplications();
    ASSERT_EQ(apps.size(), 3u);

    EXPECT_EQ(apps[0].activationPolicy, 0);
    EXPECT_TRUE(apps[0].isActive);
    EXPECT_EQ(apps[0].bundleIdentifier, "com.apple.Notes");
    EXPECT_EQ(apps[0].localizedName, "Notes");
    EXPECT_EQ(apps[0].processIdentifier, 501);

    EXPECT_EQ(apps[1].activationPolicy, 1);
    EXPECT_FALSE(apps[1].isActive);
    EXPECT_EQ(apps[1].bundleIdentifier, std::nullopt);
    EXPECT_EQ(apps[1].localizedName, std::nullopt);

    EXPECT_EQ(apps[2].bundleIdentifier, "");
    EXPECT_EQ(apps[2].localizedName, "");
    EXPECT_EQ(apps[2].processIdentifier, -1);
}

}  // namespace
}  // namespace nuvra::macos::testing
