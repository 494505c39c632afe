#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/entry.h"
#include "input/held.h"
#include "platform/native.h"

namespace {

// Ends the process as `signal` itself would, so that the parent sees death
// by that signal.
void endBy(int signal) {
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(signal, &plain, nullptr);
    raise(signal);
}

extern "C" void onStopSignal(int signal) {
    // Nothing held: nothing to let go of first.
    if (!nuvra::requestStop(signal)) endBy(signal);
}

// A stop signal is caught so that input held down is let go before the
// process ends (input/held.h). One that was ignored when the process
// started stays ignored: nohup and shells running a job in the background
// count on that.
void catchStopSignals() {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction was {};
        if (sigaction(signal, nullptr, &was) != 0 || was.sa_handler == SIG_IGN) continue;
        struct sigaction caught {};
        caught.sa_handler = onStopSignal;
        sigemptyset(&caught.sa_mask);
        // Pauses end early all the same: nanosleep is never restarted.
        caught.sa_flags = SA_RESTART;
        sigaction(signal, &caught, nullptr);
    }
}

}  // namespace

int main(int argc, char** argv) {
    catchStopSignals();
    nuvra::RunOutput output;
    int status;
    {
        auto platform = nuvra::makeNativePlatform();
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
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
    // A stop that came while input was held: now that it is let go, the
    // process ends as the signal asked.
    if (int signal = nuvra::stopSignal()) {
        std::fflush(stdout);
        endBy(signal);
    }
    return status;
}
