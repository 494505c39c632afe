// What a command could not do, as a value. The core says what went wrong and
// about what; the command layer alone turns that into the diagnostic line and
// the exit status, so "where does this exit come from" has one answer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace nuvra {

enum class Refusal {
    NoMatchingApp,       // `subject`: the name exactly as the agent typed it
    NotOnAccessibilityBus,  // likewise: it shows windows, but never joined the bus
    NoFrontmostApp,
    NoObservableWindow,  // `subject`: the application's display name, if it has one
    NotResponding,       // `subject`: the application's name, if it is known
    // Nothing that answers matches, or is frontmost; `subject`: the name as
    // typed, if any; `index`: how many applications did not answer.
    NoneAnswering,
    // The list of running applications went unanswered (Linux: the
    // registry stopped answering after the gate).
    ListUnanswered,
    Stale,               // the tree no longer hashes to what the agent holds
    PastLastElement,     // `index`, past `last`: an argument error, not a changed tree
    NoPressAction,       // `index`: disabled, or it offers no press of its own
    PressRefused,        // `index`: it refused the press, and so did every descendant tried
    PressSearchBound,    // `index`: likewise, until the search's bound ended it
    PressUnanswered,     // `index`: the press and then a read of its window went unanswered
    TextRejected,        // `index`
    SecretText,          // `index`: a password field's text is never read
    NoText,              // `index`
    NoElementAtPoint,
    EventNotCreated,
    ScrollEventNotCreated,
    // No input event went out, for a reason the platform named; `subject`:
    // the kind of event when not a pointer one ("key").
    NoDisplayNamed,
    DisplayUnreachable,
    NoXTest,
    DisplayGone,
    // The workspace commands.
    NoSuchWindow,     // `subject`: the application's display name; `index`: the number
    NotActivated,     // `subject`: the application's display name
    NotInstalled,     // `subject`: the id exactly as typed
    NotLaunched,      // `subject`: the id as typed; `detail`: the system's reason
    LaunchTimedOut,   // `subject`: the id as typed; `index`: the bound in seconds
    // A wait that ended at its deadline; `index`: its milliseconds; `cause`:
    // what the last look failed with, if it failed.
    NoChange,
    TextNeverShown,   // `subject`: the text waited for; likewise
    FileNotWritable,        // `subject`: the path as given; `systemError`: why
    RegionNotOnScreen,      // `subject`: the region as given
    CaptureNotPermitted,
    WindowNotOnScreen,      // `subject`: the application's display name, if it has one
    WindowNotPlaced,        // likewise; `index`: the PlacementGap
    NoPicture,
    CaptureFailed,
    KeysUnreachable,     // `index`: the target element, 0 for whatever has focus
    FocusRefused,        // `index`
    TypedTextMissing,    // `index`
    Interrupted,         // `subject`: how many keys or chords of how many went out ("3 of 9")
};

struct Failure {
    Refusal refusal;
    std::optional<std::string> subject;
    int64_t index = 0;
    int systemError = 0;  // an errno value
    int64_t last = 0;  // PastLastElement: the observation's last element number
    std::string detail{};                  // NotLaunched: the system's reason
    std::shared_ptr<const Failure> cause{};  // what a look behind this one failed with
};

// The result of a step that may fail; absent results stay the caller's call.
using MaybeFailure = std::optional<Failure>;

template <typename T>
class Outcome {
public:
    Outcome(T value) : value_(std::move(value)) {}
    Outcome(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return value_.has_value(); }
    T& value() { return *value_; }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<T> value_;
    std::optional<Failure> failure_;
};

}  // namespace nuvra
