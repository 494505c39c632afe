#include "platform/linux/desktop/launch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/desktop/desktop_entry.h"
#include "platform/linux/limits.h"

extern char** environ;

namespace nuvra::desktop {

namespace {

// Chromium and the browsers built on it read none of their pages' trees
// out to the accessibility bus unless started with accessibility on, and
// turning it on afterwards changes nothing (measured with Chromium 156:
// with both, the page's tree is there within 5 s; with either alone, or
// either set later, it never is). Told by their programs' names, which are
// the same wherever they are packaged.
constexpr std::array<std::string_view, 12> kChromiumPrograms{
    "chromium", "chromium-browser", "google-chrome", "google-chrome-stable",
    "google-chrome-beta", "google-chrome-unstable", "brave-browser", "brave-browser-stable",
    "microsoft-edge", "microsoft-edge-stable", "vivaldi-stable", "opera"};

// What every launched application gets: an application started for an
// agent is started to be read through the accessibility bus. GTK and
// Firefox read GNOME_ACCESSIBILITY, Qt reads its own variable; NO_AT_BRIDGE
// would keep GTK's bridge unloaded.
constexpr std::array<std::string_view, 2> kAccessibilityOn{"GNOME_ACCESSIBILITY=1",
                                                           "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"};

bool chromiumBased(const DesktopEntry& entry) {
    std::string_view program = entry.argv.front();
    program = program.substr(program.rfind('/') == std::string_view::npos ? 0 : program.rfind('/') + 1);
    for (auto name : kChromiumPrograms)
        if (program == name || (entry.startupWmClass && *entry.startupWmClass == name)) return true;
    return false;
}

std::vector<std::string> environmentFor() {
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        std::string_view entry = *e;
        std::string_view name = entry.substr(0, entry.find('='));
        bool replaced = name == "NO_AT_BRIDGE";
        for (auto on : kAccessibilityOn) replaced = replaced || on.substr(0, on.find('=')) == name;
        if (!replaced) env.emplace_back(entry);
    }
    for (auto on : kAccessibilityOn) env.emplace_back(on);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

std::optional<int32_t> parentOf(int32_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // The command name in parentheses may hold anything, spaces and ")"
    // included: the fields after it follow its last ")".
    size_t close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    char state = 0;
    int parent = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) != 2) return std::nullopt;
    return parent;
}

}  // namespace

LaunchedProcess launchEntry(std::string_view id) {
    std::optional<DesktopEntry> entry = findDesktopEntry(id);
    if (!entry) return {};
    std::vector<std::string> argv = entry->argv;
    if (chromiumBased(*entry)) argv.insert(argv.begin() + 1, "--force-renderer-accessibility");
    std::vector<std::string> env = environmentFor();

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    if (entry->workingDirectory && !entry->workingDirectory->empty())
        posix_spawn_file_actions_addchdir_np(&files, entry->workingDirectory->c_str());
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    // A session of its own: it outlives this run, and a signal to this
    // run's process group (a terminal's Ctrl-C) is not its.
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    std::vector<char*> args = pointers(argv), envp = pointers(env);
    const int error = posix_spawnp(&pid, args.front(), &files, &attributes, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);

    LaunchedProcess launched;
    if (error != 0) {
        launched.status = LaunchedProcess::Status::NotStarted;
        launched.why = argv.front() + ": " + std::strerror(error);
        return launched;
    }
    launched.status = LaunchedProcess::Status::Started;
    launched.pid = pid;
    launched.bundleIdentifier = entry->id.substr(0, entry->id.size() - std::string_view(".desktop").size());
    return launched;
}

bool descendsFrom(int32_t pid, int32_t ancestor) {
    for (int hop = 0; hop < kMaxAncestry && pid > 1; ++hop) {
        std::optional<int32_t> parent = parentOf(pid);
        if (!parent) return false;
        if (*parent == ancestor) return true;
        pid = *parent;
    }
    return false;
}

}  // namespace nuvra::desktop
