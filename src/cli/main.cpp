#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/entry.h"
#include "platform/native.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    // A press whose release never went out stays down for every client
    // (measured on Xvfb: a drag ended by SIGTERM leaves button 1 held). A
    // request to end (nuvra-mcp stopping a cancelled call) waits until the
    // pointer command has finished (a drag takes about 0.3 s), or until
    // key and type reach their next chord or character, where they release
    // what they hold and unbind what they bound; every other command ends
    // at once.
    sigset_t ending;
    sigemptyset(&ending);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&ending, sig);
    const bool holdsEnding = nuvra::postsInput(args);
    if (holdsEnding) sigprocmask(SIG_BLOCK, &ending, nullptr);
    nuvra::RunOutput output;
    int status;
    {
        auto platform = nuvra::makeNativePlatform();
        status = nuvra::runMain(*platform, args, output);
    }
    // The diagnostic goes out in one write on the unbuffered descriptor, so it
    // stays one unit even when several runs share a terminal; there is
    // nowhere left to report a failed write to.
    if (!output.err.empty()) {
        ssize_t ignored = write(STDERR_FILENO, output.err.data(), output.err.size());
        (void)ignored;
    }
    std::fwrite(output.out.data(), 1, output.out.size(), stdout);
    // A request to end that came meanwhile is obeyed now, by its own default
    // action, so the caller sees the run ended by the signal it sent. One
    // ignored from the start (nohup) stays ignored.
    if (holdsEnding) {
        std::fflush(stdout);
        sigprocmask(SIG_UNBLOCK, &ending, nullptr);
    }
    return status;
}
