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

Outcome<ObservationRun> runObserve(Platform& platform, int64_t maxNodes, int64_t maxDepth,
                                   int64_t maxTextBytes,
                                   const std::optional<std::string>& appName) {
    Outcome<RunningApplication> target = targetApp(platform, appName);
    if (!target.ok()) return target.failure();
    const RunningApplication& app = target.value();
    // A hung application is named by what it is known as.
    const std::optional<std::string> known =
        app.localizedName ? app.localizedName : app.bundleIdentifier ? app.bundleIdentifier : appName;

    Element window;
    Unanswered windowUnanswered;
    {
        Element appElement = platform.createApplicationElement(app.processIdentifier);
        window = chosenWindow(platform, appElement, &windowUnanswered);
    }
    if (!window && windowUnanswered.any) return Failure{Refusal::NotResponding, known, 0};
    if (!window) return Failure{Refusal::NoObservableWindow, app.localizedName, 0};

    ObservedTree tree = observeTree(platform, window, maxNodes, maxDepth, maxTextBytes);
    // Not even the window itself could be read.
    if (tree.unanswered && tree.elements.empty()) return Failure{Refusal::NotResponding, known, 0};

    ObservationRun run;
    run.appName = app.localizedName      ? *app.localizedName
                  : app.bundleIdentifier ? *app.bundleIdentifier
                                         : "unknown";
    Unanswered titleUnanswered;
    std::optional<std::string> title = axString(platform, window, "AXTitle", &titleUnanswered);
    run.windowTitle = title ? observeSanitize(*title, 120) : std::string();
    run.lines = std::move(tree.lines);
    run.elements = std::move(tree.elements);
    // A title the application left unanswered is not its window's title.
    run.truncated = tree.truncated || titleUnanswered.any;
    run.nodes = static_cast<int64_t>(run.elements.size());
    run.stateHash = stateHashOf(run.appName, run.windowTitle, run.elements);
    return run;
}

}  // namespace nuvra
