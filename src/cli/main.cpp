#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/entry.h"
#include "platform/native.h"

int main(int argc, char** argv) {
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
    return status;
}
