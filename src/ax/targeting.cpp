#include "ax/targeting.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "ax/readers.h"
#include "text/fold.h"

namespace nuvra {

namespace {

constexpr int64_t kRegularPolicy = 0;

// The element handle stored under `attribute`; a value of any other kind
// counts as absent.
Element elementAttribute(Platform& platform, const Element& app, std::string_view attribute) {
    std::optional<AttrValue> value = axCopy(platform, app, attribute);
    if (!value || value->kind != ValueKind::ElementRef) return nullptr;
    return value->element;
}

}  // namespace

std::optional<RunningApplication> frontmostApp(Platform& platform) {
    for (auto& app : platform.runningApplications())
        if (app.isActive) return app;
    return std::nullopt;
}

std::optional<RunningApplication> resolveApp(Platform& platform, std::string_view name) {
    // A name that is not text names nothing; matching it loosely would pick
    // an application the user never typed.
    std::optional<std::string> wanted = canonicallyComposed(name);
    if (!wanted) return std::nullopt;

    std::vector<RunningApplication> candidates;
    for (auto& app : platform.runningApplications())
        if (app.activationPolicy == kRegularPolicy) candidates.push_back(std::move(app));

    std::vector<const RunningApplication*> byBundle;
    for (const auto& app : candidates) {
        if (!app.bundleIdentifier) continue;
        std::optional<std::string> id = canonicallyComposed(*app.bundleIdentifier);
        if (id && *id == *wanted) byBundle.push_back(&app);
    }
    if (byBundle.size() == 1) return *byBundle.front();

    std::vector<const RunningApplication*> byName;
    for (const auto& app : candidates) {
        std::string_view display = app.localizedName ? std::string_view(*app.localizedName)
                                                     : std::string_view();
        // Folding strips marks, so a name of marks alone would fold to the
        // empty text; the empty name matches only an empty or missing one.
        if (display.empty() || name.empty()) {
            if (display.empty() && name.empty()) byName.push_back(&app);
            continue;
        }
        if (platform.equalIgnoringCaseAndDiacritics(display, name)) byName.push_back(&app);
    }
    // Several matches are as good as none: there is no tie-break.
    if (byName.size() != 1) return std::nullopt;
    return *byName.front();
}

Outcome<RunningApplication> targetApp(Platform& platform, const std::optional<std::string>& name) {
    if (name) {
        if (auto app = resolveApp(platform, *name)) return std::move(*app);
        return Failure{Refusal::NoMatchingApp, *name, 0};
    }
    if (auto app = frontmostApp(platform)) return std::move(*app);
    return Failure{Refusal::NoFrontmostApp, std::nullopt, 0};
}

Element chosenWindow(Platform& platform, const Element& app) {
    if (Element focused = elementAttribute(platform, app, "AXFocusedWindow")) return focused;
    if (Element main = elementAttribute(platform, app, "AXMainWindow")) return main;
    std::vector<Element> children = axChildren(platform, app);
    if (children.empty()) return nullptr;
    return children.front();
}

}  // namespace nuvra
