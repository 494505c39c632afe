#include "observation/run.h"

#include <utility>

#include "ax/readers.h"
#include "ax/targeting.h"
#include "text/text.h"

namespace nuvra {

namespace {

std::string stateHashOf(const std::string& appName, const std::string& windowTitle,
                        const std::vector<ObservedElement>& elements) {
    std::string input = appName;
    input.push_back('\n');
    input.append(windowTitle);
    input.push_back('\n');
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) input.push_back('\n');
        input.append(elements[i].hashLine);
    }
    return sha256Hex(input);
}

// A hung application is named by what it is known as.
std::optional<std::string> knownName(const RunningApplication& app,
                                     const std::optional<std::string>& appName) {
    return app.localizedName ? app.localizedName : app.bundleIdentifier ? app.bundleIdentifier : appName;
}

}  // namespace

Outcome<ObserveTarget> chooseTarget(Platform& platform, const std::optional<std::string>& appName) {
    Outcome<RunningApplication> app = targetApp(platform, appName);
    if (!app.ok()) return app.failure();

    Element window;
    Unanswered windowUnanswered;
    {
        Element appElement = platform.createApplicationElement(app.value().processIdentifier);
        window = chosenWindow(platform, appElement, &windowUnanswered);
    }
    if (!window && windowUnanswered.any)
        return Failure{Refusal::NotResponding, knownName(app.value(), appName), 0};
    if (!window) return Failure{Refusal::NoObservableWindow, app.value().localizedName, 0};
    return ObserveTarget{std::move(app.value()), std::move(window)};
}

ObservationRun observeTarget(Platform& platform, const ObserveTarget& target, int64_t maxNodes,
                             int64_t maxDepth, int64_t maxTextBytes) {
    const RunningApplication& app = target.app;
    ObservedTree tree = observeTree(platform, target.window, maxNodes, maxDepth, maxTextBytes);

    ObservationRun run;
    run.pid = app.processIdentifier;
    run.appName = app.localizedName      ? *app.localizedName
                  : app.bundleIdentifier ? *app.bundleIdentifier
                                         : "unknown";
    Unanswered titleUnanswered;
    std::optional<std::string> title =
        axString(platform, target.window, "AXTitle", &titleUnanswered);
    run.windowTitle = title ? observeSanitize(*title, kTextBound) : std::string();
    run.lines = std::move(tree.lines);
    run.elements = std::move(tree.elements);
    // A title the application left unanswered is not its window's title.
    run.unanswered = tree.unanswered || titleUnanswered.any;
    run.truncated = tree.truncated || run.unanswered;
    run.nodes = static_cast<int64_t>(run.elements.size());
    run.stateHash = stateHashOf(run.appName, run.windowTitle, run.elements);
    return run;
}

Outcome<ObservationRun> runObserve(Platform& platform, int64_t maxNodes, int64_t maxDepth,
                                   int64_t maxTextBytes,
                                   const std::optional<std::string>& appName) {
    Outcome<ObserveTarget> target = chooseTarget(platform, appName);
    if (!target.ok()) return target.failure();
    ObservationRun run = observeTarget(platform, target.value(), maxNodes, maxDepth, maxTextBytes);
    // Not even the window itself could be read.
    if (run.unanswered && run.elements.empty())
        return Failure{Refusal::NotResponding, knownName(target.value().app, appName), 0};
    return run;
}

}  // namespace nuvra
