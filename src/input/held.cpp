#include "input/held.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace nuvra {

namespace {

// Read and written from signal handlers: lock-free atomics only.
std::atomic<int> gHolders{0};
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

bool requestStop(int signal) noexcept {
    if (gHolders.load() == 0) return false;
    gStopSignal.store(signal);
    return true;
}

int stopSignal() noexcept { return gStopSignal.load(); }

void clearStop() noexcept { gStopSignal.store(0); }

void sleepUnlessStopped(uint32_t microseconds) {
    timespec left{static_cast<time_t>(microseconds / 1000000),
                  static_cast<long>(microseconds % 1000000) * 1000};
    // A caught signal ends nanosleep early; any but a stop resumes it. A
    // stop that lands between the check and the call waits for the pause,
    // which is never longer than 120 ms.
    while (stopSignal() == 0 && nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

HeldInput::HeldInput() noexcept { gHolders.fetch_add(1); }

HeldInput::~HeldInput() {
    releaseAll();
    gHolders.fetch_sub(1);
}

void HeldInput::hold(std::function<bool()> release) { releases_.push_back(std::move(release)); }

bool HeldInput::let() {
    if (releases_.empty()) return true;
    std::function<bool()> release = std::move(releases_.back());
    releases_.pop_back();
    return release();
}

bool HeldInput::releaseAll() {
    bool arrived = true;
    while (!releases_.empty()) arrived = let() && arrived;
    return arrived;
}

}  // namespace nuvra
