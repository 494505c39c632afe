// One run of nuvra-click: spawned straight from an argument vector (no
// shell), standard input from /dev/null, both outputs captured, stopped when
// it outlives its time.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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

// A run past its time is asked to stop first: one in the middle of a drag
// lets go of the button it holds, which a killed one would leave down for
// the whole desktop. Letting go takes the rest of one pause and one release
// (at most 120 ms and one X reply time-out, 0.3 s); past this it is killed.
constexpr auto kStopGrace = std::chrono::seconds(1);

// SIGTERM, then SIGKILL if it has not ended within the grace; its wait status.
int endChild(pid_t pid) {
    kill(pid, SIGTERM);
    const auto grace = std::chrono::steady_clock::now() + kStopGrace;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return status;
        if (std::chrono::steady_clock::now() >= grace) break;
        usleep(2000);
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

std::string secondsText(double seconds) {
    char text[32];
    snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

ChildRun runChild(const std::string& program, const std::vector<std::string>& args,
                  double timeoutSeconds) {
    ChildRun run;
    int out[2], err[2];
    if (!closingPipe(out)) {
        run.err = std::string("cannot run nuvra-click: ") + strerror(errno);
        return run;
    }
    if (!closingPipe(err)) {
        run.err = std::string("cannot run nuvra-click: ") + strerror(errno);
        close(out[0]);
        close(out[1]);
        return run;
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
    // the child.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        run.err = "cannot run " + program + ": " + strerror(spawned);
        return run;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(timeoutSeconds));
    struct pollfd watched[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    bool late = false;
    while (watched[0].fd >= 0 || watched[1].fd >= 0) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            late = true;
            break;
        }
        int ready = poll(watched, 2, static_cast<int>(std::min<int64_t>(left, 60000)));
        if (ready < 0 && errno != EINTR) {
            late = true;
            break;
        }
        for (int i = 0; ready > 0 && i < 2; ++i) {
            if (watched[i].fd < 0 || watched[i].revents == 0) continue;
            char buffer[65536];
            ssize_t n = read(watched[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(watched[i].fd);
                watched[i].fd = -1;
            }
        }
    }
    for (auto& w : watched)
        if (w.fd >= 0) close(w.fd);
    // A child that closed its outputs may still be running: it gets the
    // rest of its time.
    int status = 0;
    while (!late) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (done == 0 && Clock::now() >= deadline)
            late = true;
        else if (done == 0)
            usleep(2000);
    }
    if (late) endChild(pid);
    if (late) {
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
