#include <string>
#include <vector>

#include "cli/entry.h"
#include "platform/native.h"

int main(int argc, char** argv) {
    auto platform = nuvra::makeNativePlatform();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return nuvra::runMain(*platform, args);
}
