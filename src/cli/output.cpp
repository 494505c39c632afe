#include "cli/output.h"

#include <cstdio>

namespace nuvra {

void printLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace nuvra
