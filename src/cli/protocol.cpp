#include "cli/protocol.h"

#include <cmath>

#include <charconv>
#include <cstring>

#include "capture/file.h"
#include "protocol/lines.h"
#include "text/text.h"

namespace nuvra {

namespace {

void printLine(RunOutput& output, std::string_view line) {
    output.out.append(line);
    output.out.push_back('\n');
}

std::string elementName(int64_t index) { return "element [e" + std::to_string(index) + "]"; }

// The start of a diagnostic about an event that did not go out: a pointer
// event unless the failure names another kind.
std::string postWhat(const Failure& failure) {
    return "nuvra-click: cannot post a " + failure.subject.value_or("pointer") + " event: ";
}

// A display name from another application, kept to one line.
std::string appName(const Failure& failure) {
    return failure.subject ? lineSafe(*failure.subject, kTextBound) : "app";
}

// What the last look of a wait found instead, when it failed.
std::string lastLook(const Failure& failure) {
    if (!failure.cause) return "";
    constexpr std::string_view kPrefix = "nuvra-click: ";
    std::string said = diagnosticFor(*failure.cause).message;
    if (said.starts_with(kPrefix)) said.erase(0, kPrefix.size());
    return " (the last look: " + said + ")";
}

// A text of another application's, printed quoted: cut like every such
// text, but its white space kept, so that the name printed is the name to
// pass back.
std::optional<std::string> cutOrNull(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return cutToCharacters(*text, kTextBound);
}

AppLine appLineOf(const RunningApplication& app) {
    return AppLine{app.processIdentifier, app.activationPolicy == 0, app.isActive,
                   app.responding, cutOrNull(app.localizedName), cutOrNull(app.bundleIdentifier)};
}

// Whole points; none for a frame no signed 64-bit integer holds.
std::optional<ToplevelLine::Frame> frameOf(const std::optional<ScreenRect>& frame) {
    if (!frame) return std::nullopt;
    int64_t whole[4];
    const double parts[] = {frame->x, frame->y, frame->width, frame->height};
    for (size_t i = 0; i < 4; ++i) {
        const double r = std::round(parts[i]);
        if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return std::nullopt;
        whole[i] = static_cast<int64_t>(r);
    }
    return ToplevelLine::Frame{whole[0], whole[1], whole[2], whole[3]};
}

// "NAME's window", the name from the other application kept to one line.
std::string windowOf(const Failure& failure) {
    return (failure.subject ? lineSafe(*failure.subject, kTextBound) : "app") + "'s window";
}

std::string decimal(double v) {
    char buffer[32];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    return std::string(buffer, end);
}

}  // namespace

Diagnostic diagnosticFor(const Failure& failure) {
    switch (failure.refusal) {
    case Refusal::NoMatchingApp:
        // The name goes back exactly as typed, so the user can see what was
        // looked for, stray spaces and all.
        return {ExitCode::NoTarget, "nuvra-click: no running application matches \"" +
                                        failure.subject.value_or("") + "\""};
    case Refusal::NotOnAccessibilityBus:
        // Chromium and Electron join the bus only when accessibility is on
        // as they start, and build their tree only with the flag.
        return {ExitCode::NoTarget,
                "nuvra-click: \"" + failure.subject.value_or("") +
                    "\" shows windows but is not on the accessibility bus — start it with "
                    "accessibility on (GNOME_ACCESSIBILITY=1); Chromium and Electron "
                    "applications also with --force-renderer-accessibility"};
    case Refusal::NoFrontmostApp:
        return {ExitCode::NoTarget, "nuvra-click: no frontmost application"};
    case Refusal::NoObservableWindow:
        // The display name comes from the other application: it must not be
        // able to split the diagnostic into several lines.
        return {ExitCode::NoTarget,
                "nuvra-click: " +
                    (failure.subject ? lineSafe(*failure.subject, kTextBound) : "app") +
                                        " has no observable window"};
    case Refusal::NotResponding:
        return {ExitCode::NoTarget,
                "nuvra-click: " +
                    (failure.subject ? lineSafe(*failure.subject, kTextBound) : "app") +
                    " is not responding"};
    case Refusal::NoneAnswering: {
        // The one that did not answer may be the one meant: its name is
        // what it would have told.
        std::string silent = failure.index == 1
                                 ? "1 application is not responding"
                                 : std::to_string(failure.index) + " applications are not responding";
        return {ExitCode::NoTarget,
                failure.subject ? "nuvra-click: no answering application matches \"" +
                                      *failure.subject + "\" (" + silent + ")"
                                : "nuvra-click: no answering application is frontmost (" +
                                      silent + ")"};
    }
    case Refusal::ListUnanswered:
        // The same as at the gate: it answered there, and not since.
        return untrustedDiagnostic(Platform::TrustGap::NoRegistry);
    case Refusal::Stale:
        return {ExitCode::Stale,
                "nuvra-click: stale observation — the window's element tree changed since "
                "screen.observe"};
    case Refusal::PastLastElement:
        return {ExitCode::Usage, "nuvra-click: " + elementName(failure.index) +
                                     " is past the observation's last element [e" +
                                     std::to_string(failure.last) + "]"};
    case Refusal::NoPressAction:
        return {ExitCode::Refused,
                "nuvra-click: " + elementName(failure.index) + " has no press action"};
    case Refusal::PressRefused:
        return {ExitCode::Refused,
                "nuvra-click: " + elementName(failure.index) + " refused the press"};
    case Refusal::PressSearchBound:
        return {ExitCode::Refused, "nuvra-click: " + elementName(failure.index) +
                                       " refused the press; the search of its descendants "
                                       "reached its bound"};
    case Refusal::PressUnanswered:
        return {ExitCode::Refused, "nuvra-click: " + elementName(failure.index) +
                                       " did not answer the press, and its application is "
                                       "not responding"};
    case Refusal::TextRejected:
        return {ExitCode::Refused,
                "nuvra-click: " + elementName(failure.index) + " rejected the text assignment"};
    case Refusal::SecretText:
        return {ExitCode::Refused, "nuvra-click: " + elementName(failure.index) +
                                       " is a password field: its text is never read"};
    case Refusal::NoText:
        return {ExitCode::Refused, "nuvra-click: " + elementName(failure.index) + " has no text"};
    case Refusal::NoElementAtPoint:
        return {ExitCode::NoEvent, "nuvra-click: 落点无元素"};
    case Refusal::EventNotCreated:
        return {ExitCode::NoEvent, "nuvra-click: cannot create CGEvent"};
    case Refusal::ScrollEventNotCreated:
        return {ExitCode::NoEvent, "nuvra-click: cannot create scroll CGEvent"};
    case Refusal::NoDisplayNamed:
        return {ExitCode::NoEvent,
                postWhat(failure) + "no X display (DISPLAY is not set)"};
    case Refusal::DisplayUnreachable:
        return {ExitCode::NoEvent,
                postWhat(failure) + "the X display named by DISPLAY could not be opened"};
    case Refusal::NoXTest:
        return {ExitCode::NoEvent, postWhat(failure) + "the X server has no XTEST extension"};
    case Refusal::DisplayGone:
        return {ExitCode::NoEvent, postWhat(failure) + "the X server stopped answering"};
    case Refusal::KeysUnreachable:
        if (failure.index > 0)
            return {ExitCode::NoEvent, "nuvra-click: " + elementName(failure.index) +
                                           " is in a native Wayland window, which XTest keys "
                                           "cannot reach (they reach X11 and XWayland windows)"};
        return {ExitCode::NoEvent,
                "nuvra-click: the keyboard focus is in no X11 or XWayland window (a native "
                "Wayland window has it, or none), and XTest keys reach no other"};
    case Refusal::FocusRefused:
        return {ExitCode::Refused,
                "nuvra-click: " + elementName(failure.index) + " did not take keyboard focus"};
    case Refusal::Interrupted:
        return {ExitCode::NoEvent, "nuvra-click: asked to end after " + failure.subject.value_or("") +
                                       " keys; the rest were not sent"};
    case Refusal::TypedTextMissing:
        return {ExitCode::Refused,
                "nuvra-click: " + elementName(failure.index) + " did not take the typed text"};
    case Refusal::NoSuchWindow:
        return {ExitCode::NoTarget, "nuvra-click: " + appName(failure) + " has no window " +
                                        std::to_string(failure.index)};
    case Refusal::NotActivated:
        return {ExitCode::Refused, "nuvra-click: " + appName(failure) +
                                       " did not come to the front with the focus"};
    case Refusal::NotInstalled:
        // The id goes back exactly as typed, quoted: it may hold anything.
        return {ExitCode::NoTarget, "nuvra-click: no installed application has the id " +
                                        observeJsonString(failure.subject.value_or(""))};
    case Refusal::NotLaunched:
        return {ExitCode::NoTarget, "nuvra-click: cannot start " +
                                        observeJsonString(failure.subject.value_or("")) + ": " +
                                        lineSafe(failure.detail)};
    case Refusal::LaunchTimedOut:
        return {ExitCode::TimedOut, "nuvra-click: " +
                                        observeJsonString(failure.subject.value_or("")) +
                                        " started but showed no accessible window within " +
                                        std::to_string(failure.index) + " s"};
    case Refusal::NoChange:
        return {ExitCode::TimedOut, "nuvra-click: no change within " +
                                        std::to_string(failure.index) + " ms" + lastLook(failure)};
    case Refusal::TextNeverShown:
        return {ExitCode::TimedOut, "nuvra-click: no element showed " +
                                        observeJsonString(failure.subject.value_or("")) +
                                        " within " + std::to_string(failure.index) + " ms" +
                                        lastLook(failure)};
    case Refusal::FileNotWritable:
        // The path exactly as given, as every refused argument is repeated.
        return {ExitCode::Usage, "nuvra-click: cannot write " + failure.subject.value_or("") + ": " +
                                     (failure.systemError == kNotRegularFile
                                          ? "not a regular file"
                                          : std::strerror(failure.systemError))};
    case Refusal::RegionNotOnScreen:
        return {ExitCode::Usage, "nuvra-click: the region is not on any screen"};
    case Refusal::CaptureNotPermitted:
        return {ExitCode::NoCapture,
                "nuvra-click: screen recording is not permitted — turn on the application "
                "nuvra-click runs in under System Settings → Privacy & Security → Screen & "
                "System Audio Recording (Screen Recording before macOS 15), then restart it"};
    case Refusal::WindowNotOnScreen:
        return {ExitCode::NoCapture, "nuvra-click: " + windowOf(failure) + " is not on any screen"};
    case Refusal::WindowNotPlaced:
        switch (static_cast<PlacementGap>(failure.index)) {
        case PlacementGap::NativeWayland:
            return {ExitCode::NoCapture, "nuvra-click: " + windowOf(failure) +
                                             " is a native Wayland window, which cannot be "
                                             "captured through X"};
        case PlacementGap::WindowCoordinates:
            return {ExitCode::NoCapture,
                    "nuvra-click: " + windowOf(failure) +
                        " does not tell where it is on the screen (its toolkit answers window "
                        "coordinates): capture a region of the screen instead"};
        case PlacementGap::Unknown:
            break;
        }
        return {ExitCode::NoCapture,
                "nuvra-click: " + windowOf(failure) + " does not tell where it is on the screen"};
    case Refusal::NoPicture:
        return {ExitCode::NoCapture, "nuvra-click: the display server keeps no picture of that "
                                     "part of the screen (XWayland shows only its own windows)"};
    case Refusal::CaptureFailed:
        return {ExitCode::NoCapture, "nuvra-click: the screen could not be captured"};
    }
    return {ExitCode::Usage, "nuvra-click: internal error"};
}

Diagnostic usageDiagnostic() {
    return {ExitCode::Usage,
            "usage: nuvra-click <x> <y> [right] [double] | nuvra-click scroll <x> <y> <dx> <dy> "
            "[at] | nuvra-click drag <x1> <y1> <x2> <y2> [right] | nuvra-click hit <x> <y> | "
            "nuvra-click observe <maxNodes> <maxDepth> <maxTextBytes> [app] | nuvra-click press "
            "<index> <maxNodes> <maxDepth> <maxTextBytes> <sha256> [app] | nuvra-click settext "
            "<index> <text> <maxNodes> <maxDepth> <maxTextBytes> <sha256> [app]"};
}

Diagnostic dragUsageDiagnostic() {
    return {ExitCode::Usage, "usage: nuvra-click drag <x1> <y1> <x2> <y2> [right]"};
}

Diagnostic keyUsageDiagnostic() {
    return {ExitCode::Usage, "usage: nuvra-click key <chord> [<chord> ...]"};
}

Diagnostic typeUsageDiagnostic() {
    return {ExitCode::Usage, "usage: nuvra-click type <text> | nuvra-click type <index> <text> "
                             "<maxNodes> <maxDepth> <maxTextBytes> <sha256> [app]"};
}

Diagnostic badChordDiagnostic(std::string_view chord, const ChordFault& fault) {
    std::string why;
    switch (fault.kind) {
    case ChordFault::EmptyName: why = "a key name is empty"; break;
    case ChordFault::UnknownName: why = "no key is named " + fault.name; break;
    case ChordFault::TwoKeys: why = "a second key, " + fault.name + ", where one is allowed"; break;
    case ChordFault::ModifierAfterKey: why = "the modifier " + fault.name + " after the key"; break;
    }
    return {ExitCode::Usage, "nuvra-click: bad chord " + std::string(chord) + " (" + why + ")"};
}

Diagnostic typingFaultDiagnostic(TextFault fault) {
    switch (fault) {
    case TextFault::NotUtf8: break;
    case TextFault::ControlCharacter:
        return {ExitCode::Usage, "nuvra-click: bad text (a control character other than tab, "
                                 "line feed and carriage return)"};
    case TextFault::TooLong:
        return {ExitCode::Usage, "nuvra-click: bad text (more than " +
                                     std::to_string(kMaxTypedCharacters) +
                                     " characters to type)"};
    }
    return badTextDiagnostic();
}

Diagnostic screenshotUsageDiagnostic() {
    return {ExitCode::Usage,
            "usage: nuvra-click screenshot <file.png> [app] | nuvra-click screenshot <file.png> "
            "<x> <y> <w> <h> | nuvra-click screenshot <file.png> marks <maxNodes> <maxDepth> "
            "<maxTextBytes> [app]"};
}

Diagnostic untrustedDiagnostic(Platform::TrustGap gap, const std::vector<std::string>& unset) {
    // On Linux nothing is granted: accessibility is off, or not started yet.
    constexpr std::string_view kTurnOn =
        " — turn accessibility on (GNOME: gsettings set org.gnome.desktop.interface "
        "toolkit-accessibility true; elsewhere start at-spi-bus-launcher, or an application "
        "with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)";
    switch (gap) {
    case Platform::TrustGap::Permission:
        break;
    case Platform::TrustGap::NoBus:
        // A program started with a trimmed environment (an agent host's
        // server) is told what it was not given before anything else.
        if (!unset.empty()) {
            std::string names;
            for (size_t i = 0; i < unset.size(); ++i)
                names += (i == 0 ? "" : i + 1 == unset.size() ? " and " : ", ") + unset[i];
            return {ExitCode::Untrusted,
                    "nuvra-click: no accessibility bus answered — " + names +
                        (unset.size() == 1 ? " is" : " are") +
                        " not set: run it in the desktop session's environment, or with "
                        "AT_SPI_BUS_ADDRESS naming the accessibility bus"};
        }
        return {ExitCode::Untrusted,
                "nuvra-click: no accessibility bus answered" + std::string(kTurnOn)};
    case Platform::TrustGap::NoRegistry:
        return {ExitCode::Untrusted, "nuvra-click: the accessibility bus answered but its "
                                     "registry did not" + std::string(kTurnOn)};
    }
    return {ExitCode::Untrusted,
            "nuvra-click: 辅助功能未授权（系统设置 → 隐私与安全性 → 辅助功能，勾选 nuvra "
            "所在应用）"};
}

Diagnostic badTextDiagnostic() {
    return {ExitCode::Usage, "nuvra-click: bad text (not valid UTF-8)"};
}

Diagnostic badArgument(std::string_view what, std::string_view text) {
    return {ExitCode::Usage, "nuvra-click: bad " + std::string(what) + " " + std::string(text)};
}

int fail(RunOutput& output, const Diagnostic& diagnostic) {
    output.err.append(diagnostic.message);
    output.err.push_back('\n');
    return static_cast<int>(diagnostic.code);
}

void printUntrustedMarker(RunOutput& output) { printLine(output, "NUVRA_AX_UNTRUSTED"); }

void printObservation(RunOutput& output, const ObservationRun& run) {
    // The application name and window title come from another program and
    // are printed unquoted: keep them from breaking or forging a line. The
    // title was cut when it was sanitised; the name is hashed whole and
    // cut only here.
    appendObservationHead(output.out, lineSafe(run.appName, kTextBound), lineSafe(run.windowTitle));
    for (const auto& line : run.lines) printLine(output, line);
    appendObservationEnd(output.out, run.nodes, run.truncated, run.stateHash);
}

void printText(RunOutput& output, const ElementText& text) {
    // The text is the application's: quoted, it keeps its line breaks on
    // one line and can neither end the block nor start a marker line.
    appendText(output.out, TextBlock{static_cast<int64_t>(text.text.size()), text.totalBytes,
                                     text.truncated, text.text});
}

void printHit(RunOutput& output, const HitElement& hit) {
    // Every field may be printed unquoted, so none may break or forge a line.
    auto field = [](const std::string& text) { return lineSafe(text, kTextBound); };
    auto sanitised = [](const std::string& text) {
        return lineSafe(observeSanitize(text, kTextBound));
    };
    appendHitLine(output.out, HitLine{field(hit.role), field(hit.subrole),
                                      sanitised(hit.title.value_or("")), sanitised(hit.label),
                                      hit.enabled, hit.focused});
}

void printAppLine(RunOutput& output, const RunningApplication& app) {
    appendAppLine(output.out, appLineOf(app));
}

void printApps(RunOutput& output, const std::vector<RunningApplication>& apps) {
    for (const auto& app : apps) printAppLine(output, app);
}

void printWindows(RunOutput& output, const AppWindows& listed) {
    WindowsBlock block{appLineOf(listed.app), {}, listed.truncated};
    for (const auto& w : listed.windows)
        block.windows.push_back(
            ToplevelLine{w.number, w.focused, w.main, w.modal, frameOf(w.frame), cutOrNull(w.title)});
    appendWindows(output.out, block);
}

void printScreenshot(RunOutput& output, std::string_view path, const ScreenshotRun& shot) {
    if (shot.observation) printObservation(output, *shot.observation);
    // The region is in whole points; the path, the agent's own, is quoted
    // so that no byte of it can end the line.
    const ScreenRect& r = shot.region;
    printLine(output, "NUVRA_SCREENSHOT region=" + decimal(r.x) + "," + decimal(r.y) + "," +
                          decimal(r.width) + "," + decimal(r.height) +
                          " pixels=" + std::to_string(shot.width) + "x" +
                          std::to_string(shot.height) + " scale=" + decimal(shot.scale) +
                          " file=" + observeJsonString(path));
}

}  // namespace nuvra
