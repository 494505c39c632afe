#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "observation/tree.h"
#include "outcome.h"
#include "platform/platform.h"

namespace nuvra {

// The three limits of an observation, as the agent passes them on each call.
struct ObserveLimits {
    int64_t maxNodes = 0;
    int64_t maxDepth = 0;
    int64_t maxTextBytes = 0;
};

// An element found again under the stale guard, with the window it was
// observed in and that window's application's process.
struct GuardedElement {
    Element element;
    Element window;
    int32_t pid = 0;
};

// Observes again and returns the element numbered `index`, but only when the
// new state hash equals `expectedSha` exactly: Stale otherwise,
// PastLastElement when the number is past the observation's last element,
// and the observation's own failures before either.
Outcome<GuardedElement> staleGuardedRecord(Platform& platform, int64_t index,
                                           const ObserveLimits& limits,
                                           std::string_view expectedSha,
                                           const std::optional<std::string>& appName);

// The press command after its arguments are parsed: guard, then "AXPress"
// on the element. NoPressAction when it is disabled or does not offer the
// press itself; a refusal is retried on its descendants that are not
// disabled, depth first, four levels down, for at most 256 attempts and two
// seconds: PressRefused when every one tried refused, PressSearchBound when
// a bound ended the search first. A press left unanswered ends the search
// and counts as done when the application still answers a read of the
// observed window, else PressUnanswered.
MaybeFailure pressElement(Platform& platform, int64_t index, const ObserveLimits& limits,
                          std::string_view expectedSha,
                          const std::optional<std::string>& appName);

// The settext command after its arguments are parsed: guard, then one write
// of "AXValue"; TextRejected when the element refuses it, keeps its old
// value, or holds only the start of the text (given back its old value).
MaybeFailure assignText(Platform& platform, int64_t index, std::string_view text,
                        const ObserveLimits& limits, std::string_view expectedSha,
                        const std::optional<std::string>& appName);

// The type command's stale-guarded form after its arguments are parsed
// (`text` passed typingFault): guard, keyboard focus to the element (and it
// must take it: FocusRefused), then the text typed. Where the element's
// value can be read (never a password's), TypedTextMissing unless it has
// changed and holds what was typed before the first Return or Tab, which
// may take the focus elsewhere.
MaybeFailure typeIntoElement(Platform& platform, int64_t index, std::string_view text,
                             const ObserveLimits& limits, std::string_view expectedSha,
                             const std::optional<std::string>& appName);
// The whole text of an element, as far as it was kept.
struct ElementText {
    std::string text;       // well-formed UTF-8, line breaks and all
    int64_t totalBytes = 0; // of the whole text
    bool truncated = false; // less than the whole was kept
};

// The text command after its arguments are parsed: guard, then the
// element's text as a person reads it: its value when that is text, else
// its title, else its description. At most `limits.maxTextBytes` bytes are
// kept, cut between two characters. SecretText for a password field, whose
// text is never read; NoText for an element without any.
Outcome<ElementText> readElementText(Platform& platform, int64_t index,
                                     const ObserveLimits& limits, std::string_view expectedSha,
                                     const std::optional<std::string>& appName);

// What the element under a screen point says of itself, each text as read.
struct HitElement {
    std::string role;
    std::string subrole;
    std::optional<std::string> title;
    std::string label;  // the title, else the description
    bool enabled = true;
    bool focused = false;
};

// The element under (x, y), or NoElementAtPoint.
Outcome<HitElement> hitTest(Platform& platform, double x, double y);

}  // namespace nuvra
