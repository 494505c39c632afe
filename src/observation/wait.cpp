#include "observation/wait.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "observation/limits.h"
#include "text/text.h"

namespace nuvra {

namespace {

bool holds(const WaitCondition& condition, const std::string& needle, const ObservationRun& run) {
    if (condition.kind == WaitCondition::Kind::HashDiffers) return run.stateHash != condition.text;
    return std::any_of(run.elements.begin(), run.elements.end(), [&](const ObservedElement& e) {
        return e.shownLabel.find(needle) != std::string::npos ||
               e.shownValue.find(needle) != std::string::npos;
    });
}

int64_t deadlineAfter(int64_t start, int64_t milliseconds) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    if (milliseconds > (kMax - start) / 1000) return kMax;
    return start + milliseconds * 1000;
}

}  // namespace

Outcome<ObservationRun> waitFor(Platform& platform, int64_t milliseconds,
                                const ObserveLimits& limits, const WaitCondition& condition,
                                const std::optional<std::string>& appName) {
    const std::string needle = observeSanitize(condition.text, std::numeric_limits<int64_t>::max());
    const int64_t deadline = deadlineAfter(platform.monotonicMicroseconds(), milliseconds);
    int64_t pause = kFirstPauseMicroseconds;
    std::optional<Failure> last;
    for (;;) {
        const int64_t began = platform.monotonicMicroseconds();
        platform.beginLook(deadline);
        Outcome<ObservationRun> run =
            runObserve(platform, limits.maxNodes, limits.maxDepth, limits.maxTextBytes, appName);
        // A look the deadline cut short saw a tree with holes, or no
        // application at all, and one whose application left reads
        // unanswered saw holes too: such a look counts for nothing, lest the
        // holes pass for a change.
        if (!platform.lookCutShort() && !(run.ok() && run.value().unanswered)) {
            if (run.ok() && holds(condition, needle, run.value())) return run;
            if (run.ok()) last.reset();
            else last = run.failure();
        }
        const int64_t now = platform.monotonicMicroseconds();
        if (now >= deadline) break;
        const int64_t rest = std::min({std::max(pause, now - began), deadline - now,
                                       kLongestRestMicroseconds});
        platform.sleepMicroseconds(static_cast<uint32_t>(rest));
        if (platform.monotonicMicroseconds() >= deadline) break;
        pause = std::min(pause + pause / 2, kLongestPauseMicroseconds);
    }
    const Refusal refusal = condition.kind == WaitCondition::Kind::HashDiffers
                                ? Refusal::NoChange
                                : Refusal::TextNeverShown;
    Failure failure{refusal, condition.text, milliseconds};
    if (last) failure.cause = std::make_shared<const Failure>(std::move(*last));
    return failure;
}

}  // namespace nuvra
