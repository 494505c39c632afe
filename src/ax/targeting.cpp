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

// The first of the application's windows that is modal and showing; no
// real application has more windows than the bound, and a hostile one's
// thousands are not asked.
constexpr int64_t kModalSearch = 64;

Element modalWindow(Platform& platform, const Element& app) {
    std::optional<AttrValue> windows;
    if (platform.copyAttributeValues(app, "AXWindows", 0, kModalSearch, windows) != kAXSuccess ||
        !windows || windows->kind != ValueKind::Array)
        return nullptr;
    for (const auto& window : windows->items)
        if (window.kind == ValueKind::ElementRef && window.element &&
            axBool(platform, window.element, "AXModal") == true)
            return window.element;
    return nullptr;
}

// `wanted` in canonical composition.
bool bundleIdentifierIs(const RunningApplication& app, const std::string& wanted) {
    if (!app.bundleIdentifier) return false;
    std::optional<std::string> id = canonicallyComposed(*app.bundleIdentifier);
    return id && *id == wanted;
}

bool displayNameIs(Platform& platform, const RunningApplication& app, std::string_view name) {
    std::string_view display = app.localizedName ? std::string_view(*app.localizedName)
                                                 : std::string_view();
    // Folding strips marks, so a name of marks alone would fold to the
    // empty text; the empty name matches only an empty or missing one.
    if (display.empty() || name.empty()) return display.empty() && name.empty();
    return platform.equalIgnoringCaseAndDiacritics(display, name);
}

}  // namespace

bool inaccessibleAppNamed(Platform& platform, std::string_view name) {
    std::optional<std::string> wanted = canonicallyComposed(name);
    if (!wanted) return false;
    for (const auto& app : platform.inaccessibleApplications())
        if (bundleIdentifierIs(app, *wanted) || displayNameIs(platform, app, name)) return true;
    return false;
}

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
    for (const auto& app : candidates)
        if (bundleIdentifierIs(app, *wanted)) byBundle.push_back(&app);
    if (byBundle.size() == 1) return *byBundle.front();

    std::vector<const RunningApplication*> byName;
    for (const auto& app : candidates)
        if (displayNameIs(platform, app, name)) byName.push_back(&app);
    // Several matches are as good as none: there is no tie-break.
    if (byName.size() != 1) return std::nullopt;
    return *byName.front();
}

Outcome<RunningApplication> targetApp(Platform& platform, const std::optional<std::string>& name) {
    if (name) {
        if (auto app = resolveApp(platform, *name)) return std::move(*app);
        return Failure{inaccessibleAppNamed(platform, *name) ? Refusal::NotOnAccessibilityBus
                                                             : Refusal::NoMatchingApp,
                       *name, 0};
    }
    if (auto app = frontmostApp(platform)) return std::move(*app);
    return Failure{Refusal::NoFrontmostApp, std::nullopt, 0};
}

Element chosenWindow(Platform& platform, const Element& app) {
    // A modal dialog in front of the application is where its user is, and
    // where the application takes input: LibreOffice keeps its document
    // window active beside a "Save Document?" dialog.
    if (Element modal = modalWindow(platform, app)) return modal;
    if (Element focused = elementAttribute(platform, app, "AXFocusedWindow")) return focused;
    if (Element main = elementAttribute(platform, app, "AXMainWindow")) return main;
    std::vector<Element> children = axChildren(platform, app);
    if (children.empty()) return nullptr;
    return children.front();
}

}  // namespace nuvra
