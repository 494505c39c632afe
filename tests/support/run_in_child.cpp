#include "support/run_in_child.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cli/entry.h"

namespace nuvra::testing {

namespace {

FakeDesktop* gChildDesktop = nullptr;
int gLogFd = -1;

// Runs at exit(), whether the entry returned or fail() ended the child: the
// fake's log is handed back one entry per NUL-terminated record.
void sendLog() {
    if (gChildDesktop == nullptr || gLogFd < 0) return;
    for (const auto& entry : gChildDesktop->log()) {
        std::string rec = entry;
        rec.push_back('\0');
        const char* p = rec.data();
        size_t left = rec.size();
        while (left > 0) {
            ssize_t n = write(gLogFd, p, left);
            if (n <= 0) return;
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    close(gLogFd);
}

// Reads the three pipes together so no child blocks on a full pipe.
void drain(int outFd, int errFd, int logFd, std::string& out, std::string& err,
           std::string& log) {
    struct pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {logFd, POLLIN, 0}};
    std::string* sinks[3] = {&out, &err, &log};
    int open = 3;
    char buf[65536];
    while (open > 0) {
        if (poll(fds, 3, -1) < 0) break;
        for (int i = 0; i < 3; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

RunResult runInChild(FakeDesktop& desktop, const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2], logPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0 || pipe(logPipe) != 0) std::abort();
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        close(logPipe[0]);
        gChildDesktop = &desktop;
        gLogFd = logPipe[1];
        desktop.clearLog();
        std::atexit(sendLog);
        std::exit(runMain(desktop, args));
    }
    close(outPipe[1]);
    close(errPipe[1]);
    close(logPipe[1]);
    RunResult result;
    std::string rawLog;
    drain(outPipe[0], errPipe[0], logPipe[0], result.out, result.err, rawLog);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    size_t start = 0;
    for (size_t i = 0; i < rawLog.size(); ++i) {
        if (rawLog[i] == '\0') {
            result.log.push_back(rawLog.substr(start, i - start));
            start = i + 1;
        }
    }
    return result;
}

}  // namespace nuvra::testing
