// nuvra-click with the Linux backend held to one way of reading, so that a
// test can show every way prints the same:
//
//   nuvra_click_variant default|snapshot|one-by-one|over-bus ARGS...
//
// "snapshot" reads every walk from the application's snapshot, however
// small; "one-by-one" never does, and asks for each attribute only when
// the walk reads it; "over-bus" also speaks to every application through
// the bus daemon only. Standard error
// ends with a line "snapshots=N snapshot-elements=M": how often a snapshot
// was taken and how many elements it answered.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/entry.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    nuvra::LinuxReadOptions options;
    using Snapshots = nuvra::LinuxReadOptions::Snapshots;
    if (mode == "snapshot") {
        options.snapshots = Snapshots::Always;
    } else if (mode == "one-by-one") {
        options.snapshots = Snapshots::Never;
        options.elementBursts = false;
    } else if (mode == "over-bus") {
        options.snapshots = Snapshots::Never;
        options.elementBursts = false;
        options.directConnections = false;
    } else if (mode != "default") {
        return 2;
    }
    nuvra::ReadTally tally;
    options.tally = &tally;
    auto platform = nuvra::makeLinuxPlatform(options);
    std::vector<std::string> args(argv + 2, argv + argc);
    nuvra::RunOutput output;
    int status = nuvra::runMain(*platform, args, output);
    std::fwrite(output.err.data(), 1, output.err.size(), stderr);
    std::fwrite(output.out.data(), 1, output.out.size(), stdout);
    std::fprintf(stderr, "snapshots=%lld snapshot-elements=%lld\n",
                 static_cast<long long>(tally.snapshotsTaken),
                 static_cast<long long>(tally.rolesFromSnapshot));
    return status;
}
