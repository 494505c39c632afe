#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ax/readers.h"
#include "outcome.h"
#include "platform/platform.h"

namespace nuvra {

// The first active application of any activation policy, or none.
std::optional<RunningApplication> frontmostApp(Platform& platform);

// The one regular application named by its bundle identifier (exact), else by
// its display name (ignoring case and diacritics); none when nothing or more
// than one matches.
std::optional<RunningApplication> resolveApp(Platform& platform, std::string_view name);

// Whether an application of that name, matched as resolveApp matches,
// shows windows but is not on the accessibility bus.
bool inaccessibleAppNamed(Platform& platform, std::string_view name);

// The application a command targets: the one named (as resolveApp matches),
// else the frontmost. NoMatchingApp (NotOnAccessibilityBus for a name only
// windows outside the bus answer to) or NoFrontmostApp when there is none;
// NotResponding when the one named did not answer, NoneAnswering when none
// that answers is it and some did not answer, ListUnanswered when no list
// of applications could be read at all.
Outcome<RunningApplication> targetApp(Platform& platform, const std::optional<std::string>& name);

// The first of the application's windows that is modal, else the focused
// window, else the main window, else the first child of the application
// element; null when there is none. `unanswered` learns whether the
// application left a read of them unanswered.
Element chosenWindow(Platform& platform, const Element& app, Unanswered* unanswered = nullptr);

}  // namespace nuvra
