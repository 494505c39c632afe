// Desktop entries as the desktop reads them: Exec split into arguments with
// its field codes, the keys of the [Desktop Entry] group alone, and ids
// found in the data directories in their order.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/desktop/desktop_entry.h"

namespace nuvra::desktop {
namespace {

using Args = std::optional<std::vector<std::string>>;

TEST(DesktopEntry, ExecArgumentsTable) {
    EntryKeys keys;
    keys.icon = "org.example.App";
    keys.name = "Example App";
    const struct {
        const char* exec;
        Args argv;
    } rows[] = {
        {"mousepad %U", {{"mousepad"}}},
        {"/usr/lib/firefox-esr/firefox-esr %u", {{"/usr/lib/firefox-esr/firefox-esr"}}},
        {"app --file=%f --new", {{"app", "--file=", "--new"}}},
        {"app  \t x", {{"app", "x"}}},
        {"app %i %c %k 100%%", {{"app", "--icon", "org.example.App", "Example App", "/a.desktop", "100%"}}},
        {"\"/opt/My App/run\" \"a \\\"b\\\" \\\\ \\$c \\`d\\`\" %F", {{"/opt/My App/run", "a \"b\" \\ $c `d`"}}},
        {"app \"%f\"", {{"app", "%f"}}},  // no field codes inside quotes
        {"app \"\"", {{"app", ""}}},
        {"app \"unterminated", std::nullopt},
        {"app %z", std::nullopt},
        {"app %", std::nullopt},
        {"%U", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(execArguments(row.exec, keys, "/a.desktop"), row.argv) << row.exec;
    EntryKeys iconless;
    EXPECT_EQ(execArguments("app %i x", iconless, "/a.desktop"), Args({{"app", "x"}}));
}

TEST(DesktopEntry, KeysOfTheEntryGroupOnly) {
    auto keys = entryKeys(
        "# comment\n[Desktop Entry]\nName=Mouse\\spad\nName[de]=Maus\nType=Application\r\n"
        "Exec = mousepad %U\nStartupWMClass=mousepad\n[Desktop Action new]\nExec=mousepad --other\n");
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->exec, "mousepad %U");
    EXPECT_EQ(keys->name, "Mouse pad");
    EXPECT_EQ(keys->startupWmClass, "mousepad");
    for (const char* refused : {"[Desktop Entry]\nType=Link\nExec=x\n",
                                "[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n",
                                "[Desktop Entry]\nType=Application\n",
                                "[Desktop Action a]\nType=Application\nExec=x\n"})
        EXPECT_FALSE(entryKeys(refused)) << refused;
}

class DataDirs : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / ("nuvra-entries-" + std::to_string(getpid()));
        setenv("XDG_DATA_HOME", (root_ / "home").c_str(), 1);
        setenv("XDG_DATA_DIRS", ("relative:" + (root_ / "first").string() + ":" + (root_ / "second").string()).c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    void write(const std::string& path, const std::string& text) {
        std::filesystem::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path) << text;
    }
    std::filesystem::path root_;
};

TEST_F(DataDirs, TheFirstDirectoryThatHasTheIdDecides) {
    const std::string app = "[Desktop Entry]\nType=Application\nExec=";
    write("first/applications/org.example.A.desktop", app + "first-a\n");
    write("second/applications/org.example.A.desktop", app + "second-a\n");
    write("second/applications/vendor/tool.desktop", app + "tool %F\n");
    write("home/applications/org.example.B.desktop", app + "b\nHidden=true\n");
    write("second/applications/org.example.B.desktop", app + "second-b\n");
    write("second/applications/org.example.C.desktop", app + "c\nTryExec=/nonexistent/c\n");
    write("second/applications/org.example.D.desktop", app + "sh\nTryExec=sh\n");

    auto a = findDesktopEntry("org.example.A");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->argv, std::vector<std::string>{"first-a"});
    EXPECT_EQ(a->id, "org.example.A.desktop");
    EXPECT_EQ(findDesktopEntry("org.example.A.desktop")->path, a->path);
    auto tool = findDesktopEntry("vendor-tool");
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->argv, std::vector<std::string>{"tool"});
    EXPECT_FALSE(findDesktopEntry("org.example.B")) << "hidden in the user's own directory";
    EXPECT_FALSE(findDesktopEntry("org.example.C")) << "its TryExec is not there";
    EXPECT_TRUE(findDesktopEntry("org.example.D")) << "its TryExec is on PATH";
    for (const char* none : {"", "applications/org.example.A.desktop", "../first/applications/org.example.A",
                             "org.example.none"})
        EXPECT_FALSE(findDesktopEntry(none)) << none;
}

}  // namespace
}  // namespace nuvra::desktop
