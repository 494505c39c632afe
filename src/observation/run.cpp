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

}  // namespace

Outcome<ObserveTarget> chooseTarget(Platform& platform, const std::optional<std::string>& appName) {
    std::optional<RunningApplication> app;
    if (appName) {
        app = resolveApp(platform, *appName);
        if (!app) return Failure{Refusal::NoMatchingApp, *appName, 0};
    } else {
        app = frontmostApp(platform);
        if (!app) return Failure{Refusal::NoFrontmostApp, std::nullopt, 0};
    }

    Element window;
    {
        Element appElement = platform.createApplicationElement(app->processIdentifier);
        window = chosenWindow(platform, appElement);
    }
    if (!window) return Failure{Refusal::NoObservableWindow, app->localizedName, 0};
    return ObserveTarget{std::move(*app), std::move(window)};
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
    std::optional<std::string> title = axString(platform, target.window, "AXTitle");
    run.windowTitle = title ? observeSanitize(*title, 120) : std::string();
    run.lines = std::move(tree.lines);
    run.elements = std::move(tree.elements);
    run.truncated = tree.truncated;
    run.nodes = static_cast<int64_t>(run.elements.size());
    run.stateHash = stateHashOf(run.appName, run.windowTitle, run.elements);
    return run;
}

Outcome<ObservationRun> runObserve(Platform& platform, int64_t maxNodes, int64_t maxDepth,
                                   int64_t maxTextBytes,
                                   const std::optional<std::string>& appName) {
    Outcome<ObserveTarget> target = chooseTarget(platform, appName);
    if (!target.ok()) return target.failure();
    return observeTarget(platform, target.value(), maxNodes, maxDepth, maxTextBytes);
}

}  // namespace nuvra
