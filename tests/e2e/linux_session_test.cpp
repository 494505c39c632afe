// The Linux backend against a live GTK window, below the command line: the
// workspace record, the application's windows, identities, values of every
// kind, hit testing, and the bounded cost of an application that stopped
// answering. Runs inside scripts/headless-session.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/native.h"

extern char** environ;

namespace nuvra {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kAppName = "Nuvra Session";
constexpr const char* kAppId = "org.nuvra.Session";
constexpr const char* kTitle = "Session window";

// The fixture application, driven through a pipe to its standard input.
class Fixture {
public:
    Fixture() {
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args{"/usr/bin/python3", "-B", NUVRA_FIXTURE_APP, "--app-name",
                                      kAppName, "--title", kTitle, "--app-id", kAppId};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        commands_ = fdopen(in[1], "w");
        replies_ = fdopen(out[0], "r");
    }
    ~Fixture() {
        if (pid_ > 0) {
            kill(pid_, SIGCONT);
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (commands_ != nullptr) fclose(commands_);
        if (replies_ != nullptr) fclose(replies_);
    }
    pid_t pid() const { return pid_; }

    // Sends one command and waits for the application's acknowledgement.
    bool command(const std::string& line) {
        std::fprintf(commands_, "%s\n", line.c_str());
        std::fflush(commands_);
        char reply[256];
        std::string expected = "done " + line.substr(0, line.find(' ')) + "\n";
        while (std::fgets(reply, sizeof reply, replies_) != nullptr)
            if (expected == reply) return true;
        return false;
    }

private:
    pid_t pid_ = -1;
    FILE* commands_ = nullptr;
    FILE* replies_ = nullptr;
};

std::optional<AttrValue> read(Platform& p, const Element& e, const char* attribute) {
    std::optional<AttrValue> value;
    if (p.copyAttributeValue(e, attribute, value) != kAXSuccess) return std::nullopt;
    return value;
}

std::string text(Platform& p, const Element& e, const char* attribute) {
    auto value = read(p, e, attribute);
    return value && value->kind == ValueKind::Text ? value->text : std::string("<none>");
}

std::vector<Element> children(Platform& p, const Element& e) {
    std::vector<Element> out;
    auto value = read(p, e, "AXChildren");
    if (value && value->kind == ValueKind::Array)
        for (auto& item : value->items) out.push_back(item.element);
    return out;
}

std::optional<RunningApplication> fixtureRecord(Platform& p) {
    for (auto& app : p.runningApplications())
        if (app.localizedName == std::string(kAppName)) return app;
    return std::nullopt;
}

Element window(Platform& p, pid_t pid) {
    Element app = p.createApplicationElement(pid);
    auto focused = read(p, app, "AXFocusedWindow");
    return focused && focused->kind == ValueKind::ElementRef ? focused->element : nullptr;
}

// The first element, breadth first, that `matches`.
Element find(Platform& p, const Element& root, const std::function<bool(const Element&)>& matches) {
    std::deque<Element> queue{root};
    while (!queue.empty()) {
        Element e = queue.front();
        queue.pop_front();
        if (matches(e)) return e;
        for (auto& child : children(p, e)) queue.push_back(child);
    }
    return nullptr;
}

Element byTitle(Platform& p, const Element& root, const std::string& role,
                const std::string& title) {
    return find(p, root, [&](const Element& e) {
        return text(p, e, "AXRole") == role && text(p, e, "AXTitle") == title;
    });
}

Element staticText(Platform& p, const Element& root, const std::string& value) {
    return find(p, root, [&](const Element& e) {
        return text(p, e, "AXRole") == "AXStaticText" && text(p, e, "AXValue") == value;
    });
}

std::pair<int, int> centre(Platform& p, const Element& e) {
    auto position = read(p, e, "AXPosition");
    auto size = read(p, e, "AXSize");
    if (!position || !size) return {-1, -1};
    return {static_cast<int>(position->first + size->first / 2),
            static_cast<int>(position->second + size->second / 2)};
}

class LinuxSession : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixture_ = new Fixture();
        // Applications register with the registry asynchronously.
        auto deadline = Clock::now() + 30s;
        while (Clock::now() < deadline) {
            auto platform = makeNativePlatform();
            if (platform->isProcessTrusted() && fixtureRecord(*platform)) return;
            std::this_thread::sleep_for(50ms);
        }
    }
    static void TearDownTestSuite() {
        delete fixture_;
        fixture_ = nullptr;
    }
    void SetUp() override {
        platform_ = makeNativePlatform();
        ASSERT_TRUE(platform_->isProcessTrusted());
        ASSERT_TRUE(fixtureRecord(*platform_)) << "the fixture never registered";
        window_ = window(*platform_, fixture_->pid());
        ASSERT_NE(window_, nullptr);
    }

    static Fixture* fixture_;
    std::unique_ptr<Platform> platform_;
    Element window_;
};

Fixture* LinuxSession::fixture_ = nullptr;

TEST_F(LinuxSession, TheWorkspaceRecordDescribesTheApplication) {
    auto app = fixtureRecord(*platform_);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->processIdentifier, fixture_->pid());
    EXPECT_EQ(app->bundleIdentifier, std::string(kAppId));
    EXPECT_EQ(app->activationPolicy, 0);
    EXPECT_TRUE(app->isActive);
}

TEST_F(LinuxSession, TheApplicationOffersItsWindows) {
    Platform& p = *platform_;
    Element app = p.createApplicationElement(fixture_->pid());
    EXPECT_EQ(text(p, app, "AXRole"), "AXApplication");
    auto windows = children(p, app);
    ASSERT_FALSE(windows.empty());
    auto main = read(p, app, "AXMainWindow");
    ASSERT_TRUE(main && main->kind == ValueKind::ElementRef);
    EXPECT_EQ(p.identityHash(main->element), p.identityHash(windows[0]));
    EXPECT_EQ(p.identityHash(window_), p.identityHash(windows[0]));
    EXPECT_EQ(text(p, window_, "AXRole"), "AXWindow");
    EXPECT_EQ(text(p, window_, "AXTitle"), kTitle);
    // Window-only attributes belong to the application element alone.
    EXPECT_FALSE(read(p, window_, "AXFocusedWindow"));
}

TEST_F(LinuxSession, IdentityHoldsAcrossHandlesAndTellsChildrenApart) {
    Platform& p = *platform_;
    Element box = children(p, window_).at(0);
    auto first = children(p, box);
    auto second = children(p, box);
    ASSERT_EQ(first.size(), second.size());
    ASSERT_GT(first.size(), 10u);
    std::set<uint64_t> distinct;
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_NE(first[i], second[i]);
        EXPECT_EQ(p.identityHash(first[i]), p.identityHash(second[i]));
        distinct.insert(p.identityHash(first[i]));
    }
    EXPECT_EQ(distinct.size(), first.size());
}

TEST_F(LinuxSession, ValuesOfEveryKind) {
    Platform& p = *platform_;
    Element status = staticText(p, window_, "Status: idle");
    ASSERT_NE(status, nullptr);
    EXPECT_FALSE(read(p, status, "AXTitle"));

    Element check = byTitle(p, window_, "AXCheckBox", "Remember me");
    ASSERT_NE(check, nullptr);
    auto off = read(p, check, "AXValue");
    ASSERT_TRUE(off);
    EXPECT_EQ((std::pair{off->kind, off->decimal}), (std::pair{ValueKind::Number, std::string("0")}));
    std::optional<AttrValue> actions;
    ASSERT_EQ(p.copyActionNames(check, actions), kAXSuccess);
    ASSERT_EQ(actions->items.size(), 1u);
    EXPECT_EQ(actions->items[0].text, "AXPress");
    ASSERT_EQ(p.performAction(check, "AXPress"), kAXSuccess);
    std::string now;
    for (auto deadline = Clock::now() + 5s; Clock::now() < deadline && now != "1";) {
        auto value = read(p, check, "AXValue");
        now = value ? value->decimal : "";
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(now, "1");
    EXPECT_NE(p.performAction(check, "AXShowMenu"), kAXSuccess);

    Element bar = find(p, window_, [&](const Element& e) {
        return text(p, e, "AXRole") == "AXScrollBar" && read(p, e, "AXPosition").has_value();
    });
    ASSERT_NE(bar, nullptr);
    auto offset = read(p, bar, "AXValue");
    ASSERT_TRUE(offset);
    EXPECT_EQ((std::pair{offset->kind, offset->decimal}), (std::pair{ValueKind::Number, std::string("0")}));

    Element button = byTitle(p, window_, "AXButton", "Count");
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(read(p, button, "AXValue"));
}

TEST_F(LinuxSession, TextIsWrittenAndNeverReadOnceHidden) {
    Platform& p = *platform_;
    Element name = byTitle(p, window_, "AXTextField", "Name field");
    Element password = byTitle(p, window_, "AXTextField", "Password field");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(text(p, password, "AXSubrole"), "AXSecureTextField");
    EXPECT_FALSE(read(p, password, "AXValue"));

    ASSERT_EQ(p.setAttributeValue(name, "AXValue", "typed text"), kAXSuccess);
    EXPECT_EQ(text(p, name, "AXValue"), "typed text");
    EXPECT_NE(p.setAttributeValue(name, "AXTitle", "x"), kAXSuccess);
    EXPECT_NE(p.setAttributeValue(name, "AXValue", "\xff\xfe"), kAXSuccess);
    Element status = staticText(p, window_, "Status: idle");
    EXPECT_NE(p.setAttributeValue(status, "AXValue", "x"), kAXSuccess);

    // This handle remembers the entry as plain text; hiding its text turns
    // it into password text, and the next read must notice.
    EXPECT_EQ(text(p, name, "AXRole"), "AXTextField");
    ASSERT_TRUE(fixture_->command("hide-name"));
    EXPECT_FALSE(read(p, name, "AXValue"));
    Element fresh = byTitle(p, window_, "AXTextField", "Name field");
    EXPECT_EQ(text(p, fresh, "AXSubrole"), "AXSecureTextField");
}

TEST_F(LinuxSession, HitTestDescendsToTheDeepestElement) {
    Platform& p = *platform_;
    Element systemWide = p.createSystemWideElement();
    struct Case {
        Element target;
        std::string role;
        std::string valueOrTitle;
    };
    Element row = staticText(p, window_, "Row 1");
    ASSERT_NE(row, nullptr);
    for (const Case& c : {Case{byTitle(p, window_, "AXButton", "Count"), "AXButton", "Count"},
                          Case{row, "AXStaticText", "Row 1"}}) {
        SCOPED_TRACE(c.valueOrTitle);
        auto [x, y] = centre(p, c.target);
        Element hit;
        ASSERT_EQ(p.copyElementAtPosition(systemWide, static_cast<float>(x),
                                          static_cast<float>(y), hit),
                  kAXSuccess);
        ASSERT_NE(hit, nullptr);
        EXPECT_EQ(p.identityHash(hit), p.identityHash(c.target));
        EXPECT_EQ(text(p, hit, "AXRole"), c.role);
    }
    Element nothing;
    EXPECT_NE(p.copyElementAtPosition(systemWide, 1270, 790, nothing), kAXSuccess);
}

// Runs last in the suite: afterwards this platform instance regards the
// application as hung, as the run that met it would.
TEST_F(LinuxSession, ZAStoppedApplicationCostsOneTimeOutPerRun) {
    Platform& p = *platform_;
    auto kids = children(p, children(p, window_).at(0));
    ASSERT_GT(kids.size(), 5u);
    ASSERT_EQ(kill(fixture_->pid(), SIGSTOP), 0);
    auto started = Clock::now();
    EXPECT_FALSE(read(p, kids[0], "AXTitle"));
    auto firstRead = Clock::now() - started;
    started = Clock::now();
    for (auto& kid : kids) {
        EXPECT_FALSE(read(p, kid, "AXRole"));
        EXPECT_FALSE(read(p, kid, "AXChildren"));
    }
    auto laterReads = Clock::now() - started;
    started = Clock::now();
    auto record = fixtureRecord(p);
    auto workspace = Clock::now() - started;
    kill(fixture_->pid(), SIGCONT);

    EXPECT_GE(firstRead, 900ms);
    EXPECT_LT(firstRead, 2000ms);
    EXPECT_LT(laterReads, 100ms);
    EXPECT_LT(workspace, 100ms);
    // Its name is unreadable now, so it no longer matches by name.
    EXPECT_FALSE(record);
}

}  // namespace
}  // namespace nuvra
