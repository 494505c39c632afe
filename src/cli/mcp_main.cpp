// nuvra-mcp [--timeout SECONDS]: reads one JSON-RPC message a line from
// standard input and answers each request on standard output until the input
// ends. Diagnostics go to standard error only.
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
#include "cli/protocol.h"
#include "mcp/mcp.h"
#include "platform/native.h"

namespace {

using namespace nuvra;

constexpr double kDefaultTimeout = 20;
constexpr double kMaxTimeout = 3600;

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

// A fresh connection to the desktop for each listing, so an application
// started or ended since the last call is seen as it is now.
mcp::AppListing listApplications() {
    mcp::AppListing listing;
    auto platform = makeNativePlatform();
    if (!platform->isProcessTrusted())
        listing.refusal = untrustedDiagnostic(platform->trustGap()).message;
    else
        listing.apps = platform->runningApplications();
    return listing;
}

bool writeLine(const std::string& text) {
    std::string line = text + "\n";
    for (size_t done = 0; done < line.size();) {
        ssize_t n = write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Answers one complete line; false when the client can no longer be written to.
bool deliver(mcp::Session& session, std::string& line, bool overlong) {
    std::optional<std::string> reply;
    if (overlong)
        reply = mcp::overlongLineReply();
    else if (line.find_first_not_of(" \t\r") != std::string::npos)
        reply = mcp::handleLine(session, line);
    line.clear();
    return !reply || writeLine(*reply);
}

}  // namespace

int main(int argc, char** argv) {
    double timeout = kDefaultTimeout;
    if (argc == 3 && std::string_view(argv[1]) == "--timeout") {
        std::optional<double> seconds = parseCoord(argv[2]);
        timeout = seconds && *seconds > 0 && *seconds <= kMaxTimeout ? *seconds : 0;
    }
    if ((argc != 1 && argc != 3) || timeout == 0) {
        fprintf(stderr, "usage: nuvra-mcp [--timeout SECONDS]  (SECONDS above 0, at most %g; "
                        "default %g)\n", kMaxTimeout, kDefaultTimeout);
        return 3;
    }
    // A client that went away is seen as a failed write, not a signal.
    signal(SIGPIPE, SIG_IGN);
    const std::string tool = ownDirectory(argc > 0 ? argv[0] : nullptr) + "nuvra-click";
    mcp::Session session;
    session.runner = [tool, timeout](const std::vector<std::string>& args) {
        return mcp::runChild(tool, args, timeout);
    };
    session.lister = listApplications;

    // Lines are bounded: past kMaxLineBytes the rest of a line is read and
    // dropped, so a client cannot make this process hold it.
    std::string line;
    bool overlong = false;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::string_view chunk(buffer, static_cast<size_t>(n));
        while (!chunk.empty()) {
            size_t end = chunk.find('\n');
            std::string_view piece = chunk.substr(0, end);
            if (!overlong && line.size() + piece.size() > mcp::kMaxLineBytes) {
                overlong = true;
                std::string().swap(line);
            }
            if (!overlong) line.append(piece);
            if (end == std::string_view::npos) break;
            chunk.remove_prefix(end + 1);
            if (!deliver(session, line, overlong)) return 0;
            overlong = false;
        }
    }
    // The last line may lack its line feed.
    if (!line.empty() || overlong) deliver(session, line, overlong);
    return 0;
}
