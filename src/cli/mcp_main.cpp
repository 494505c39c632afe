// nuvra-mcp [--timeout SECONDS]: reads one JSON-RPC message a line from
// standard input and answers each request on standard output until the input
// ends or a signal ends it. Diagnostics go to standard error only.
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

#include "cli/parsers.h"
#include "mcp/limits.h"
#include "mcp/mcp.h"
#include "platform/native.h"

namespace {

using namespace nuvra;

// The directory this executable was started from, with its final slash.
std::string ownDirectory(const char* argv0) {
    std::string path;
#ifdef __APPLE__
    char raw[PATH_MAX];
    uint32_t size = sizeof raw;
    char resolved[PATH_MAX];
    if (_NSGetExecutablePath(raw, &size) == 0 && realpath(raw, resolved)) path = resolved;
#else
    char resolved[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0) path.assign(resolved, static_cast<size_t>(n));
#endif
    if (path.empty() && argv0) path = argv0;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    double timeout = mcp::kDefaultTimeout;
    if (argc == 3 && std::string_view(argv[1]) == "--timeout") {
        timeout = parseSeconds(argv[2], mcp::kMaxTimeout).value_or(0);
    }
    if ((argc != 1 && argc != 3) || timeout == 0) {
        fprintf(stderr, "usage: nuvra-mcp [--timeout SECONDS]  (SECONDS above 0, at most %g; "
                        "default %g)\n", mcp::kMaxTimeout, mcp::kDefaultTimeout);
        return 3;
    }
    // A client that went away is seen as a failed write, not a signal.
    signal(SIGPIPE, SIG_IGN);
    const std::string tool = ownDirectory(argc > 0 ? argv[0] : nullptr) + "nuvra-click";
    mcp::Session session;
    session.runSeconds = timeout;
    session.environmentAdvice = mcp::environmentAdvice(missingSessionVariables());
    // Said at once, where the host shows a server's standard error.
    if (!session.environmentAdvice.empty())
        fprintf(stderr, "nuvra-mcp: %s\n", session.environmentAdvice.c_str());
    if (int sig = mcp::serve(session, tool, timeout)) {
        // Ended by a signal, as the host asked: it sees the signal.
        signal(sig, SIG_DFL);
        raise(sig);
    }
    return 0;
}
