// Input an operation holds down across its pauses (a pointer button during a
// click or a drag), and the stop request that makes it let go.
//
// The command front end catches SIGTERM, SIGINT and SIGHUP. One that comes
// while no input is held ends the process at once, as the signal would. One
// that comes while an operation holds input only requests a stop: the pause
// in progress ends early (Platform::sleepMicroseconds), the operation lets
// go of everything it holds, last first, and fails with Stopped; the front
// end then ends the process by the same signal. A button left down would
// stay down for every other client of the desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace nuvra {

// Async-signal-safe. While some HeldInput lives, records the signal and
// answers true; otherwise records nothing and answers false: nothing needs
// letting go, and the caller ends the process.
bool requestStop(int signal) noexcept;
// The signal of the pending stop request, or 0.
int stopSignal() noexcept;
// Forgets a request, for a process that runs several commands (tests).
void clearStop() noexcept;

// Blocks for the pause, or until a stop is requested: the pause of every
// real platform.
void sleepUnlessStopped(uint32_t microseconds);

// What one input operation holds, each with the call that lets it go. While
// one lives, stop signals wait for it; whatever it still holds when it ends
// is let go then, so every way out of an operation releases.
class HeldInput {
public:
    HeldInput() noexcept;
    ~HeldInput();
    HeldInput(const HeldInput&) = delete;
    HeldInput& operator=(const HeldInput&) = delete;

    // Something is, or is about to be, pressed; `release` lets go of it and
    // answers whether that arrived.
    void hold(std::function<bool()> release);
    // The operation's own release of the last thing held: runs it and
    // forgets it. False when it did not arrive.
    bool let();
    // Lets go of everything still held, last first; false when some
    // release did not arrive.
    bool releaseAll();

private:
    std::vector<std::function<bool()>> releases_;
};

}  // namespace nuvra
