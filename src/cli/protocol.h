// The output protocol: every line this tool prints, every diagnostic and the
// exit status each failure ends with, in one place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "actions/actions.h"
#include "capture/screenshot.h"
#include "input/keyboard.h"
#include "observation/run.h"
#include "outcome.h"
#include "workspace/workspace.h"

namespace nuvra {

enum class ExitCode {
    Ok = 0,
    Untrusted = 2,  // no accessibility permission
    Usage = 3,      // a command form or an argument refused
    NoEvent = 4,    // an input event not created, or no element at the point
    NoTarget = 5,   // no application or no observable window
    Stale = 6,      // the tree changed since the observation
    TimedOut = 7,   // what a command waited for did not happen by its deadline
    Refused = 8,    // the element refused the action
    NoCapture = 9,  // the screen could not be captured there
};

struct Diagnostic {
    ExitCode code;
    std::string message;  // one line, without its line feed
};

// What one run hands back to the process: standard output and standard error.
struct RunOutput {
    std::string out;
    std::string err;
};

Diagnostic diagnosticFor(const Failure& failure);
Diagnostic usageDiagnostic();
Diagnostic dragUsageDiagnostic();
Diagnostic screenshotUsageDiagnostic();
// `unset`: the session's variables the process was not given (NoBus only).
Diagnostic untrustedDiagnostic(Platform::TrustGap gap, const std::vector<std::string>& unset = {});
Diagnostic keyUsageDiagnostic();
Diagnostic typeUsageDiagnostic();
// "nuvra-click: bad chord <chord> (<what is wrong>)", the chord as given.
Diagnostic badChordDiagnostic(std::string_view chord, const ChordFault& fault);
// Never shows the text: a typed text may be a password.
Diagnostic typingFaultDiagnostic(TextFault fault);
Diagnostic badTextDiagnostic();
// A refused argument, repeated exactly as given: "nuvra-click: bad <what> <text>".
Diagnostic badArgument(std::string_view what, std::string_view text);

// The one way a run ends in failure: the diagnostic line goes to standard
// error; returns the status the process exits with.
int fail(RunOutput& output, const Diagnostic& diagnostic);

void printUntrustedMarker(RunOutput& output);
void printObservation(RunOutput& output, const ObservationRun& run);
void printHit(RunOutput& output, const HitElement& hit);
// One "NUVRA_APP" line per application: its fields in a fixed order, texts
// as JSON strings (null when absent), so no name can forge a field or a line.
void printApps(RunOutput& output, const std::vector<RunningApplication>& apps);
void printAppLine(RunOutput& output, const RunningApplication& app);
// The application's line, one "NUVRA_TOPLEVEL" line per window, and
// "NUVRA_END windows=N truncated=0|1".
void printWindows(RunOutput& output, const AppWindows& listed);
// With marks the observation block, then the line that says what was written.
void printScreenshot(RunOutput& output, std::string_view path, const ScreenshotRun& shot);
// "NUVRA_TEXT bytes=B total=T truncated=0|1", then the text as one JSON string.
void printText(RunOutput& output, const ElementText& text);

}  // namespace nuvra
