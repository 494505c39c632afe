// The Linux backend with a choice of how it reads. The tool always uses the
// defaults (makeNativePlatform); the other ways exist so that tests can show
// every way gives the same answers.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace nuvra {

// What the backend did, counted for tests that must know which way was
// taken.
struct ReadTally {
    int64_t snapshotsTaken = 0;
    int64_t rolesFromSnapshot = 0;  // one per element the snapshot answered
};

struct LinuxReadOptions {
    // When a walk reads the application's description of itself at once
    // (AT-SPI's Cache) instead of element by element: never, when the walk
    // turns out big (the tool), or for every walk.
    enum class Snapshots { Never, ForBigWalks, Always };
    Snapshots snapshots = Snapshots::ForBigWalks;
    // Applications that offer their own socket are spoken to there rather
    // than through the bus daemon.
    bool directConnections = true;
    // In a walk, the reads every element gets (role, name, states, extents,
    // children) go to the application together rather than one after the
    // other.
    bool elementBursts = true;
    // Counted into when set; the tool leaves it null.
    ReadTally* tally = nullptr;
};

std::unique_ptr<Platform> makeLinuxPlatform(const LinuxReadOptions& options);

}  // namespace nuvra
