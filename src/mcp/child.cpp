// One run of nuvra-click: spawned straight from an argument vector (no
// shell), standard input from /dev/null, both outputs captured. The server's
// loop polls its outputs beside the client's input, so a run can be stopped
// while it goes: at its time limit, when its call is cancelled, or when the
// server ends. Stopping is SIGTERM, then SIGKILL after a grace.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mcp/mcp.h"

extern char** environ;

namespace nuvra::mcp {

namespace {

// Both ends close on exec: the child gets only what the file actions give it.
bool closingPipe(int fds[2]) {
    if (pipe(fds) != 0) return false;
    for (int i = 0; i < 2; ++i) fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    return true;
}

std::string secondsText(double seconds) {
    char text[32];
    snprintf(text, sizeof text, "%g", seconds);
    return text;
}

void closeOutputs(Child& child) {
    for (int* fd : {&child.out, &child.err}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

int millisecondsUntil(Clock::time_point when) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, 60000));
}

}  // namespace

std::optional<Child> startChild(const std::string& program, const std::vector<std::string>& args,
                                double timeoutSeconds, std::string& why) {
    int out[2], err[2];
    if (!closingPipe(out)) {
        why = std::string("cannot run nuvra-click: ") + strerror(errno);
        return std::nullopt;
    }
    if (!closingPipe(err)) {
        why = std::string("cannot run nuvra-click: ") + strerror(errno);
        close(out[0]);
        close(out[1]);
        return std::nullopt;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // This server ignores SIGPIPE; an ignored signal would stay ignored in
    // the child. Caught ones (SIGTERM and the like) are reset by exec.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    Child child;
    int spawned =
        posix_spawn(&child.pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        why = "cannot run " + program + ": " + strerror(spawned);
        return std::nullopt;
    }
    child.out = out[0];
    child.err = err[0];
    child.deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(timeoutSeconds));
    return child;
}

void readChild(Child& child, int fd) {
    std::string* sink = fd == child.out ? &child.run.out : &child.run.err;
    char buffer[65536];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        sink->append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
        close(fd);
        (fd == child.out ? child.out : child.err) = -1;
    }
}

void stopChild(Child& child) {
    if (child.killAt || child.waitStatus) return;
    kill(child.pid, SIGTERM);
    child.killAt = Clock::now() + kStopGrace;
}

bool tendChild(Child& child) {
    if (child.waitStatus) return true;
    const auto now = Clock::now();
    // A child that closed its outputs may still be running: it gets the
    // rest of its time.
    if (!child.killAt && now >= child.deadline) {
        child.timedOut = true;
        stopChild(child);
    }
    if (child.killAt && !child.killed && now >= *child.killAt) {
        kill(child.pid, SIGKILL);
        child.killed = true;
        // What it printed is not kept; a grandchild holding its outputs
        // must not hold the server.
        closeOutputs(child);
    }
    if (child.out >= 0 || child.err >= 0) return false;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(child.pid, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == child.pid)
        child.waitStatus = status;
    else if (done < 0)
        child.waitStatus = 0;  // not ours to wait for any more
    return child.waitStatus.has_value();
}

int childWaitMs(const Child& child) {
    if (child.waitStatus) return 0;
    if (child.out < 0 && child.err < 0) return static_cast<int>(kReapTick.count());
    if (child.killAt && !child.killed) return millisecondsUntil(*child.killAt);
    return child.killAt ? 60000 : millisecondsUntil(child.deadline);
}

ChildRun childOutcome(Child& child, double timeoutSeconds) {
    ChildRun run = std::move(child.run);
    const int status = child.waitStatus.value_or(0);
    if (child.timedOut) {
        run = ChildRun{};
        run.end = ChildRun::End::TimedOut;
        run.err = "nuvra-click did not finish within " + secondsText(timeoutSeconds) +
                  " s and was stopped; nothing it printed is kept";
    } else if (WIFSIGNALED(status)) {
        run.end = ChildRun::End::Signalled;
        run.status = WTERMSIG(status);
    } else {
        run.end = ChildRun::End::Exited;
        run.status = WEXITSTATUS(status);
    }
    return run;
}

}  // namespace nuvra::mcp
