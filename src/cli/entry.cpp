#include "cli/entry.h"

#include <optional>
#include <string>
#include <string_view>

#include "actions/actions.h"
#include "cli/fail.h"
#include "cli/output.h"
#include "cli/parsers.h"
#include "observation/run.h"
#include "text/text.h"
#include "pointer/pointer.h"

namespace nuvra {

namespace {

constexpr std::string_view kUsage =
    "usage: nuvra-click <x> <y> [right] [double] | nuvra-click scroll <x> <y> <dx> <dy> [at] | "
    "nuvra-click drag <x1> <y1> <x2> <y2> [right] | nuvra-click hit <x> <y> | nuvra-click "
    "observe <maxNodes> <maxDepth> <maxTextBytes> [app] | nuvra-click press <index> <maxNodes> "
    "<maxDepth> <maxTextBytes> <sha256> [app] | nuvra-click settext <index> <text> <maxNodes> "
    "<maxDepth> <maxTextBytes> <sha256> [app]";
constexpr std::string_view kDragUsage = "usage: nuvra-click drag <x1> <y1> <x2> <y2> [right]";
constexpr std::string_view kUntrusted =
    "nuvra-click: 辅助功能未授权（系统设置 → 隐私与安全性 → 辅助功能，勾选 nuvra 所在应用）";

using Args = std::vector<std::string>;

std::optional<std::string> optionalArg(const Args& args, size_t position) {
    if (position < args.size()) return args[position];
    return std::nullopt;
}

void runObserveCommand(Platform& platform, const Args& args) {
    int64_t maxNodes = positiveInt(args[1], "maxNodes");
    int64_t maxDepth = positiveInt(args[2], "maxDepth");
    int64_t maxTextBytes = positiveInt(args[3], "maxTextBytes");
    ObservationRun run = runObserve(platform, maxNodes, maxDepth, maxTextBytes, optionalArg(args, 4));
    // The application name and window title come from another program and
    // are printed unquoted: keep them from breaking or forging a line.
    printLine("NUVRA_OBSERVE app=" + lineSafe(run.appName));
    printLine("NUVRA_WINDOW " + lineSafe(run.windowTitle));
    for (const auto& line : run.lines) printLine(line);
    printLine("NUVRA_END nodes=" + std::to_string(run.nodes) +
              " truncated=" + (run.truncated ? "1" : "0") + " sha256=" + run.stateHash);
}

void runPressCommand(Platform& platform, const Args& args) {
    int64_t index = positiveInt(args[1], "index");
    int64_t maxNodes = positiveInt(args[2], "maxNodes");
    int64_t maxDepth = positiveInt(args[3], "maxDepth");
    int64_t maxTextBytes = positiveInt(args[4], "maxTextBytes");
    ObservedElement record = staleGuardedRecord(platform, index, maxNodes, maxDepth,
                                                maxTextBytes, args[5], optionalArg(args, 6));
    if (!pressElement(platform, record.element))
        fail("nuvra-click: element [e" + std::to_string(index) + "] has no press action", 8);
}

void runSetTextCommand(Platform& platform, const Args& args) {
    int64_t index = positiveInt(args[1], "index");
    const std::string& text = args[2];
    // The text becomes a platform string, which cannot hold ill-formed UTF-8;
    // refuse it before anything is observed or written.
    if (validUtf8(text) != text) fail("nuvra-click: bad text (not valid UTF-8)", 3);
    int64_t maxNodes = positiveInt(args[3], "maxNodes");
    int64_t maxDepth = positiveInt(args[4], "maxDepth");
    int64_t maxTextBytes = positiveInt(args[5], "maxTextBytes");
    assignText(platform, index, text, maxNodes, maxDepth, maxTextBytes, args[6],
               optionalArg(args, 7));
}

void runScrollCommand(Platform& platform, const Args& args) {
    double x = coord(args[1]);
    double y = coord(args[2]);
    // The pointer moves before the deltas are parsed: a bad delta is found
    // after the move, and the move stays.
    if (args.size() == 6) moveCursor(platform, x, y);
    int32_t dx = delta(args[3]);
    int32_t dy = delta(args[4]);
    scroll(platform, dx, dy);
}

void runDragCommand(Platform& platform, const Args& args) {
    if (args.size() == 6 && args[5] != "right") fail(kDragUsage, 3);
    double x1 = coord(args[1]);
    double y1 = coord(args[2]);
    double x2 = coord(args[3]);
    double y2 = coord(args[4]);
    drag(platform, x1, y1, x2, y2, args.size() == 6);
}

void runHitCommand(Platform& platform, const Args& args) {
    double x = coord(args[1]);
    double y = coord(args[2]);
    hitTest(platform, x, y);
}

void runClickForm(Platform& platform, const Args& args) {
    double x = coord(args[0]);
    double y = coord(args[1]);
    bool right = false;
    bool doubleClick = false;
    for (size_t i = 2; i < args.size(); ++i) {
        right = right || args[i] == "right";
        doubleClick = doubleClick || args[i] == "double";
    }
    click(platform, x, y, right, doubleClick);
}

bool isCommandWord(std::string_view word) {
    for (std::string_view c : {"observe", "press", "settext", "scroll", "drag", "hit"})
        if (word == c) return true;
    return false;
}

}  // namespace

int runMain(Platform& platform, const std::vector<std::string>& args) {
    // The gate comes before the arguments are looked at, for every command.
    if (!platform.isProcessTrusted()) {
        printLine("NUVRA_AX_UNTRUSTED");
        fail(kUntrusted, 2);
    }
    const size_t n = args.size();
    const std::string_view word = n > 0 ? std::string_view(args[0]) : std::string_view();
    if (word == "observe" && (n == 4 || n == 5)) {
        runObserveCommand(platform, args);
    } else if (word == "press" && (n == 6 || n == 7)) {
        runPressCommand(platform, args);
    } else if (word == "settext" && (n == 7 || n == 8)) {
        runSetTextCommand(platform, args);
    } else if (word == "scroll" && (n == 5 || (n == 6 && args[5] == "at"))) {
        runScrollCommand(platform, args);
    } else if (word == "drag" && (n == 5 || n == 6)) {
        runDragCommand(platform, args);
    } else if (word == "hit" && n == 3) {
        runHitCommand(platform, args);
    } else if (n >= 2 && n <= 4 && !isCommandWord(word)) {
        runClickForm(platform, args);
    } else {
        fail(kUsage, 3);
    }
    return 0;
}

}  // namespace nuvra
