#include "ax/targeting.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "ax/limits.h"
#include "ax/readers.h"
#include "text/fold.h"

namespace nuvra {

namespace {

constexpr int64_t kRegularPolicy = 0;

// The element handle stored under `attribute`; a value of any other kind
// counts as absent.
Element elementAttribute(Platform& platform, const Element& app, std::string_view attribute,
                         Unanswered* unanswered) {
    std::optional<AttrValue> value = axCopy(platform, app, attribute, unanswered);
    if (!value || value->kind != ValueKind::ElementRef) return nullptr;
    return value->element;
}

Element modalWindow(Platform& platform, const Element& app, Unanswered* unanswered) {
    std::optional<AttrValue> windows;
    AXResult code = platform.copyAttributeValues(app, "AXWindows", 0, kModalSearch, windows);
    if (code == kAXCannotComplete && unanswered != nullptr) unanswered->any = true;
    if (code != kAXSuccess || !windows || windows->kind != ValueKind::Array) return nullptr;
    for (const auto& window : windows->items)
        if (window.kind == ValueKind::ElementRef && window.element &&
            axBool(platform, window.element, "AXModal", unanswered) == true)
            return window.element;
    return nullptr;
}

std::optional<RunningApplication> frontmostAmong(std::vector<RunningApplication> apps) {
    for (auto& app : apps)
        if (app.isActive) return std::move(app);
    return std::nullopt;
}

// The application a name picks, and whether it is one that did not answer.
struct Match {
    std::optional<RunningApplication> app;
    bool silent = false;
};

bool sameBundle(const std::optional<std::string>& bundle, const std::string& wanted) {
    if (!bundle) return false;
    std::optional<std::string> id = canonicallyComposed(*bundle);
    return id && *id == wanted;
}

bool sameDisplayName(Platform& platform, const std::optional<std::string>& localized,
                     std::string_view name) {
    std::string_view display = localized ? std::string_view(*localized) : std::string_view();
    // Folding strips marks, so a name of marks alone would fold to the
    // empty text; the empty name matches only an empty or missing one.
    if (display.empty() || name.empty()) return display.empty() && name.empty();
    return platform.equalIgnoringCaseAndDiacritics(display, name);
}

// An application that did not answer takes part with what is known of it
// without asking (its bundle identifier), and with the name it told before
// it stopped answering; one that never told its name matches no name.
Match matchName(Platform& platform, const std::vector<RunningApplication>& apps,
                std::string_view name) {
    // A name that is not text names nothing; matching it loosely would pick
    // an application the user never typed.
    std::optional<std::string> wanted = canonicallyComposed(name);
    if (!wanted) return {};
    auto candidate = [](const RunningApplication& app) {
        return !app.responding || app.activationPolicy == kRegularPolicy;
    };
    std::vector<const RunningApplication*> byBundle;
    for (const auto& app : apps)
        if (candidate(app) && sameBundle(app.bundleIdentifier, *wanted)) byBundle.push_back(&app);
    if (byBundle.size() == 1) return {*byBundle.front(), !byBundle.front()->responding};

    std::vector<const RunningApplication*> byName;
    for (const auto& app : apps)
        if (candidate(app) && (app.responding || app.localizedName) &&
            sameDisplayName(platform, app.localizedName, name))
            byName.push_back(&app);
    // Several matches are as good as none: there is no tie-break.
    if (byName.size() != 1) return {};
    return {*byName.front(), !byName.front()->responding};
}

Match pick(Platform& platform, std::vector<RunningApplication> apps,
           const std::optional<std::string>& name) {
    if (name) return matchName(platform, apps, *name);
    return {frontmostAmong(std::move(apps)), false};
}

int64_t silentCount(const std::vector<RunningApplication>& apps) {
    int64_t n = 0;
    for (const auto& app : apps) n += app.responding ? 0 : 1;
    return n;
}

}  // namespace

bool inaccessibleAppNamed(Platform& platform, std::string_view name) {
    std::optional<std::string> wanted = canonicallyComposed(name);
    if (!wanted) return false;
    for (const auto& app : platform.inaccessibleApplications())
        if (sameBundle(app.bundleIdentifier, *wanted) ||
            sameDisplayName(platform, app.localizedName, name))
            return true;
    return false;
}

std::optional<RunningApplication> frontmostApp(Platform& platform) {
    return frontmostAmong(platform.runningApplications());
}

std::optional<RunningApplication> resolveApp(Platform& platform, std::string_view name) {
    Match match = matchName(platform, platform.runningApplications(), name);
    if (match.silent) return std::nullopt;
    return match.app;
}

Outcome<RunningApplication> targetApp(Platform& platform, const std::optional<std::string>& name) {
    // The applications that answer at once decide, so that one that is hung
    // or busy costs a run that does not need it nothing; only when none of
    // them is the target are the others waited for.
    std::vector<RunningApplication> apps = platform.promptApplications();
    const bool unlisted = platform.applicationsUnlisted();
    Match match = pick(platform, apps, name);
    if (match.app && !match.silent) return std::move(*match.app);
    if (silentCount(apps) > 0) {
        std::vector<RunningApplication> again = platform.runningApplications();
        // A registry that stopped answering since leaves the list it told.
        if (!platform.applicationsUnlisted()) {
            apps = std::move(again);
            match = pick(platform, apps, name);
        }
        if (match.app && !match.silent) return std::move(*match.app);
    }
    if (match.app)
        return Failure{Refusal::NotResponding, match.app->localizedName.value_or(*name), 0};
    // No list is no answer: whatever was meant may well be running.
    if (unlisted) return Failure{Refusal::ListUnanswered, name, 0};
    // Windows of a process not on the bus are no answer to any question of
    // the bus, but they tell what was meant.
    if (name && inaccessibleAppNamed(platform, *name))
        return Failure{Refusal::NotOnAccessibilityBus, *name, 0};
    if (int64_t silent = silentCount(apps)) return Failure{Refusal::NoneAnswering, name, silent};
    return name ? Failure{Refusal::NoMatchingApp, *name, 0}
                : Failure{Refusal::NoFrontmostApp, std::nullopt, 0};
}

Element chosenWindow(Platform& platform, const Element& app, Unanswered* unanswered) {
    // A modal dialog in front of the application is where its user is, and
    // where the application takes input: LibreOffice keeps its document
    // window active beside a "Save Document?" dialog.
    if (Element modal = modalWindow(platform, app, unanswered)) return modal;
    if (Element focused = elementAttribute(platform, app, "AXFocusedWindow", unanswered))
        return focused;
    if (Element main = elementAttribute(platform, app, "AXMainWindow", unanswered)) return main;
    std::vector<Element> children = axChildren(platform, app, unanswered);
    if (children.empty()) return nullptr;
    return children.front();
}

}  // namespace nuvra
