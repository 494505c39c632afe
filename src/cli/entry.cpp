#include "cli/entry.h"

#include <optional>
#include <string>
#include <string_view>

#include "actions/actions.h"
#include "capture/screenshot.h"
#include "cli/parsers.h"
#include "input/keyboard.h"
#include "input/pointer.h"
#include "observation/run.h"
#include "observation/wait.h"
#include "text/text.h"
#include "workspace/workspace.h"

namespace nuvra {

namespace {

using Args = std::vector<std::string>;

// Reads a command's arguments in the order its form lists them. The first
// refused argument is kept and every later read is skipped, so a command
// checks `refused` once before it acts and reports the first bad argument.
struct ArgReader {
    std::optional<Diagnostic> refused;
    std::optional<std::vector<ScreenRect>> screens;  // asked for once

    template <typename T, typename Parse>
    T read(Parse parse, std::string_view text, std::string_view what) {
        if (refused) return T{};
        std::optional<T> value = parse(text);
        if (!value) refused = badArgument(what, text);
        return value.value_or(T{});
    }
    double coord(std::string_view text) { return read<double>(parseCoord, text, "coordinate"); }
    int32_t delta(std::string_view text) { return read<int32_t>(parseDelta, text, "scroll delta"); }
    int64_t positive(std::string_view text, std::string_view what) {
        return read<int64_t>(parsePositiveInt, text, what);
    }
    // A point is read whole, then held to the screens: X moves a point off
    // every screen to the nearest edge, and the event would land on
    // whatever is there. The coordinate named is the one that is off.
    ScreenPoint point(Platform& platform, std::string_view xText, std::string_view yText) {
        ScreenPoint p{coord(xText), coord(yText)};
        if (refused) return p;
        if (!screens) screens = platform.displayBounds();
        OffScreen off = offScreen(*screens, p.x, p.y);
        if (off != OffScreen::None)
            refused = badArgument("coordinate", off == OffScreen::X ? xText : yText);
        return p;
    }
    // A width or height: a coordinate above zero.
    double extent(std::string_view text, std::string_view what) {
        auto above = [](std::string_view t) -> std::optional<double> {
            std::optional<double> v = parseCoord(t);
            return v && *v > 0 ? v : std::nullopt;
        };
        return read<double>(above, text, what);
    }
    ObserveLimits limits(const Args& args, size_t first) {
        ObserveLimits l;
        l.maxNodes = positive(args[first], "maxNodes");
        l.maxDepth = positive(args[first + 1], "maxDepth");
        l.maxTextBytes = positive(args[first + 2], "maxTextBytes");
        return l;
    }
};

std::optional<std::string> optionalArg(const Args& args, size_t position) {
    if (position < args.size()) return args[position];
    return std::nullopt;
}

// Success, or the failure's diagnostic.
int finish(RunOutput& output, const MaybeFailure& failure) {
    if (!failure) return 0;
    // A registry gone quiet since the gate leaves the run where the gate
    // would have: with the marker, and exit 2.
    if (failure->refusal == Refusal::ListUnanswered) printUntrustedMarker(output);
    return fail(output, diagnosticFor(*failure));
}

int runObserveCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    ObserveLimits l = in.limits(args, 1);
    if (in.refused) return fail(output, *in.refused);
    Outcome<ObservationRun> run =
        runObserve(platform, l.maxNodes, l.maxDepth, l.maxTextBytes, optionalArg(args, 4));
    if (!run.ok()) return finish(output, run.failure());
    printObservation(output, run.value());
    return 0;
}

int runPressCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    int64_t index = in.positive(args[1], "index");
    ObserveLimits limits = in.limits(args, 2);
    if (in.refused) return fail(output, *in.refused);
    return finish(output, pressElement(platform, index, limits, args[5], optionalArg(args, 6)));
}

// text <index> <maxNodes> <maxDepth> <maxTextBytes> <sha256> [app]
int runTextCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    int64_t index = in.positive(args[1], "index");
    ObserveLimits limits = in.limits(args, 2);
    if (in.refused) return fail(output, *in.refused);
    Outcome<ElementText> text =
        readElementText(platform, index, limits, args[5], optionalArg(args, 6));
    if (!text.ok()) return finish(output, text.failure());
    printText(output, text.value());
    return 0;
}

int runSetTextCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    int64_t index = in.positive(args[1], "index");
    if (in.refused) return fail(output, *in.refused);
    const std::string& text = args[2];
    // The text becomes a platform string, which cannot hold ill-formed UTF-8;
    // refuse it before anything is observed or written.
    if (validUtf8(text) != text) return fail(output, badTextDiagnostic());
    ObserveLimits limits = in.limits(args, 3);
    if (in.refused) return fail(output, *in.refused);
    return finish(output,
                  assignText(platform, index, text, limits, args[6], optionalArg(args, 7)));
}

int runScrollCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    // Without "at" the point is not used: it is checked as coordinates only.
    const bool at = args.size() == 6;
    ScreenPoint p = at ? in.point(platform, args[1], args[2])
                       : ScreenPoint{in.coord(args[1]), in.coord(args[2])};
    if (in.refused) return fail(output, *in.refused);
    // The pointer moves before the deltas are parsed: a bad delta is found
    // after the move, and the move stays.
    if (at) {
        if (MaybeFailure moved = moveCursor(platform, p.x, p.y)) return finish(output, moved);
    }
    int32_t dx = in.delta(args[3]);
    int32_t dy = in.delta(args[4]);
    if (in.refused) return fail(output, *in.refused);
    return finish(output, scroll(platform, dx, dy));
}

int runDragCommand(Platform& platform, const Args& args, RunOutput& output) {
    if (args.size() == 6 && args[5] != "right") return fail(output, dragUsageDiagnostic());
    ArgReader in;
    ScreenPoint from = in.point(platform, args[1], args[2]);
    ScreenPoint to = in.point(platform, args[3], args[4]);
    if (in.refused) return fail(output, *in.refused);
    return finish(output, drag(platform, from.x, from.y, to.x, to.y, args.size() == 6));
}

int runHitCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    ScreenPoint p = in.point(platform, args[1], args[2]);
    if (in.refused) return fail(output, *in.refused);
    Outcome<HitElement> hit = hitTest(platform, p.x, p.y);
    if (!hit.ok()) return finish(output, hit.failure());
    printHit(output, hit.value());
    return 0;
}

// `screenshot <file> [app]`, `screenshot <file> <x> <y> <w> <h>`, and
// `screenshot <file> marks <maxNodes> <maxDepth> <maxTextBytes> [app]`: the
// word "marks" can be no coordinate, so six words are one form or the other.
int runScreenshotCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    ScreenshotRequest request;
    request.path = args[1];
    const size_t n = args.size();
    if (n >= 6 && args[2] == "marks") {
        request.marks = in.limits(args, 3);
        request.app = optionalArg(args, 6);
    } else if (n == 6) {
        ScreenRect r;
        r.x = in.coord(args[2]);
        r.y = in.coord(args[3]);
        r.width = in.extent(args[4], "width");
        r.height = in.extent(args[5], "height");
        request.region = r;
    } else {
        request.app = optionalArg(args, 2);
    }
    if (in.refused) return fail(output, *in.refused);
    Outcome<ScreenshotRun> shot = runScreenshot(platform, request);
    if (!shot.ok()) return finish(output, shot.failure());
    printScreenshot(output, request.path, shot.value());
    return 0;
}

bool isScreenshotForm(const Args& args) {
    const size_t n = args.size();
    return n == 2 || n == 3 || n == 6 || (n == 7 && args[2] == "marks");
}

int runClickForm(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    ScreenPoint p = in.point(platform, args[0], args[1]);
    if (in.refused) return fail(output, *in.refused);
    bool right = false;
    bool doubleClick = false;
    for (size_t i = 2; i < args.size(); ++i) {
        right = right || args[i] == "right";
        doubleClick = doubleClick || args[i] == "double";
    }
    return finish(output, click(platform, p.x, p.y, right, doubleClick));
}

int runKeyCommand(Platform& platform, const Args& args, RunOutput& output) {
    // Every chord is read before any key goes down.
    std::vector<Chord> chords;
    for (size_t i = 1; i < args.size(); ++i) {
        ParsedChord parsed = parseChord(args[i]);
        if (!parsed.chord) return fail(output, badChordDiagnostic(args[i], parsed.fault));
        chords.push_back(std::move(*parsed.chord));
    }
    if (MaybeFailure unreachable = keysReach(platform, nullptr, 0)) return finish(output, unreachable);
    return finish(output, pressChords(platform, chords));
}

int runTypeCommand(Platform& platform, const Args& args, RunOutput& output) {
    if (std::optional<TextFault> fault = typingFault(args[1]))
        return fail(output, typingFaultDiagnostic(*fault));
    if (args[1].empty()) return 0;
    if (MaybeFailure unreachable = keysReach(platform, nullptr, 0)) return finish(output, unreachable);
    return finish(output, typeText(platform, args[1]));
}

int runTypeIntoCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    int64_t index = in.positive(args[1], "index");
    if (in.refused) return fail(output, *in.refused);
    // As settext's: the text is checked before anything is observed.
    if (std::optional<TextFault> fault = typingFault(args[2]))
        return fail(output, typingFaultDiagnostic(*fault));
    ObserveLimits limits = in.limits(args, 3);
    if (in.refused) return fail(output, *in.refused);
    return finish(output,
                  typeIntoElement(platform, index, args[2], limits, args[6], optionalArg(args, 7)));
}

// windows [app]
int runWindowsCommand(Platform& platform, const Args& args, RunOutput& output) {
    Outcome<AppWindows> listed = listWindows(platform, optionalArg(args, 1));
    if (!listed.ok()) return finish(output, listed.failure());
    printWindows(output, listed.value());
    return 0;
}

// activate <app> [window number]
int runActivateCommand(Platform& platform, const Args& args, RunOutput& output) {
    ArgReader in;
    std::optional<int64_t> number;
    if (args.size() == 3) number = in.positive(args[2], "window number");
    if (in.refused) return fail(output, *in.refused);
    return finish(output, activateApp(platform, args[1], number));
}

// launch <id>
int runLaunchCommand(Platform& platform, const Args& args, RunOutput& output) {
    Outcome<RunningApplication> launched = launchApp(platform, args[1]);
    if (!launched.ok()) return finish(output, launched.failure());
    printAppLine(output, launched.value());
    return 0;
}

bool isStateHash(std::string_view text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// wait <ms> <maxNodes> <maxDepth> <maxTextBytes> <sha256> [app]
// wait <ms> <maxNodes> <maxDepth> <maxTextBytes> contains <text> [app]
int runWaitCommand(Platform& platform, const Args& args, RunOutput& output, bool contains) {
    ArgReader in;
    int64_t milliseconds = in.positive(args[1], "milliseconds");
    ObserveLimits limits = in.limits(args, 2);
    if (in.refused) return fail(output, *in.refused);
    WaitCondition condition;
    if (contains) {
        condition = {WaitCondition::Kind::TextShows, args[6]};
        if (validUtf8(condition.text) != condition.text) return fail(output, badTextDiagnostic());
    } else {
        // Any other text would differ from every hash at once.
        if (!isStateHash(args[5])) return fail(output, badArgument("sha256", args[5]));
        condition = {WaitCondition::Kind::HashDiffers, args[5]};
    }
    Outcome<ObservationRun> run =
        waitFor(platform, milliseconds, limits, condition, optionalArg(args, contains ? 7 : 6));
    if (!run.ok()) return finish(output, run.failure());
    printObservation(output, run.value());
    return 0;
}

bool isCommandWord(std::string_view word) {
    for (std::string_view c : {"observe", "press", "settext", "scroll", "drag", "hit"})
        if (word == c) return true;
    return false;
}

// Words that came after the seven forms and never post input, whatever
// follows them: in the click form each is a bad first coordinate.
bool isLaterWord(std::string_view word) {
    for (std::string_view c : {"text", "apps", "windows", "activate", "launch", "wait", "screenshot"})
        if (word == c) return true;
    return false;
}

}  // namespace

bool postsInput(const std::vector<std::string>& args) {
    return !args.empty() && (args[0] == "scroll" || args[0] == "drag" ||
                             (!isCommandWord(args[0]) && !isLaterWord(args[0])));
}

int runMain(Platform& platform, const std::vector<std::string>& args, RunOutput& output) {
    // The gate comes before the arguments are looked at, for every command.
    if (!platform.isProcessTrusted()) {
        printUntrustedMarker(output);
        Platform::TrustGap gap = platform.trustGap();
        return fail(output, untrustedDiagnostic(gap, platform.unsetSessionVariables()));
    }
    const size_t n = args.size();
    const std::string_view word = n > 0 ? std::string_view(args[0]) : std::string_view();
    if (word == "observe" && (n == 4 || n == 5)) return runObserveCommand(platform, args, output);
    if (word == "press" && (n == 6 || n == 7)) return runPressCommand(platform, args, output);
    if (word == "settext" && (n == 7 || n == 8)) return runSetTextCommand(platform, args, output);
    if (word == "scroll" && (n == 5 || (n == 6 && args[5] == "at")))
        return runScrollCommand(platform, args, output);
    if (word == "drag" && (n == 5 || n == 6)) return runDragCommand(platform, args, output);
    if (word == "hit" && n == 3) return runHitCommand(platform, args, output);
    // key and type as first words made the seven forms refuse the
    // arguments (a click at coordinate "key"), so no run that did anything
    // changes meaning; their wrong counts get usage lines of their own.
    if (word == "key") return n >= 2 ? runKeyCommand(platform, args, output)
                                     : fail(output, keyUsageDiagnostic());
    if (word == "type" && n == 2) return runTypeCommand(platform, args, output);
    if (word == "type" && (n == 7 || n == 8)) return runTypeIntoCommand(platform, args, output);
    if (word == "type") return fail(output, typeUsageDiagnostic());
    // Words added after the seven forms: each takes only counts that no
    // form accepted before, so "text 1 2" stays a bad coordinate in the
    // click form.
    if (word == "text" && (n == 6 || n == 7)) return runTextCommand(platform, args, output);
    if (word == "apps" && n == 1) {
        std::vector<RunningApplication> apps = platform.runningApplications();
        // An empty list for want of an answer is not an empty desktop.
        if (platform.applicationsUnlisted())
            return finish(output, Failure{Refusal::ListUnanswered, std::nullopt, 0});
        return (printApps(output, apps), 0);
    }
    if (word == "windows" && (n == 1 || n == 2)) return runWindowsCommand(platform, args, output);
    if (word == "activate" && (n == 2 || n == 3))
        return runActivateCommand(platform, args, output);
    if (word == "launch" && n == 2) return runLaunchCommand(platform, args, output);
    // A hash is 64 hexadecimal digits, so the keyword cannot be one.
    if (word == "wait" && (n == 7 || n == 8) && args[5] == "contains")
        return runWaitCommand(platform, args, output, true);
    if (word == "wait" && (n == 6 || n == 7)) return runWaitCommand(platform, args, output, false);
    // Every count of these was a click with the bad coordinate "screenshot"
    // or the usage, before the command was known.
    if (word == "screenshot")
        return isScreenshotForm(args) ? runScreenshotCommand(platform, args, output)
                                      : fail(output, screenshotUsageDiagnostic());
    if (n >= 2 && n <= 4 && !isCommandWord(word)) return runClickForm(platform, args, output);
    return fail(output, usageDiagnostic());
}

}  // namespace nuvra
