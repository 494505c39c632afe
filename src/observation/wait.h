// Waiting for what an action caused: the window observed again and again,
// with pauses that grow, until it changes or shows a text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "actions/actions.h"
#include "observation/run.h"
#include "outcome.h"
#include "platform/platform.h"

namespace nuvra {

// What a wait waits for: the window no longer hashing to `text` (a state
// hash), or an element whose title (else description) or value, as the
// element line prints it, contains `text` (compared with its white space
// collapsed as observe collapses it).
struct WaitCondition {
    enum class Kind { HashDiffers, TextShows };
    Kind kind = Kind::HashDiffers;
    std::string text;
};

// Observes at once and then after each pause until the condition holds,
// and returns that observation. Past `milliseconds` NoChange or
// TextNeverShown, whose cause is the last look's own failure when it had
// one: an application that has quit, hangs or has no window yet is looked
// at again until the deadline. No look waits for an answer past it, and a
// look it cut short counts for nothing.
Outcome<ObservationRun> waitFor(Platform& platform, int64_t milliseconds,
                                const ObserveLimits& limits, const WaitCondition& condition,
                                const std::optional<std::string>& appName);

}  // namespace nuvra
