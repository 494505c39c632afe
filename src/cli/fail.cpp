#include "cli/fail.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace nuvra {

void fail(std::string_view message, int32_t code) {
    std::string line(message);
    line.push_back('\n');
    // One write on the unbuffered descriptor, so the diagnostic is one unit
    // even when several runs share a terminal; the result is deliberately
    // not checked (there is nowhere left to report to).
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
    std::exit(code);
}

}  // namespace nuvra
