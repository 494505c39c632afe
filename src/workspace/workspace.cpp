#include "workspace/workspace.h"

#include <utility>

#include "ax/readers.h"
#include "ax/targeting.h"

namespace nuvra {

namespace {

uint64_t identityOf(Platform& platform, const Element& app, std::string_view attribute) {
    std::optional<AttrValue> value = axCopy(platform, app, attribute);
    if (!value || value->kind != ValueKind::ElementRef) return 0;
    return platform.identityHash(value->element);
}

// "AXWindows" where the platform has it; else the application element's
// children, which are its windows on platforms without the attribute.
std::vector<Element> windowsOf(Platform& platform, const Element& app) {
    std::optional<AttrValue> value = axCopy(platform, app, "AXWindows");
    if (!value || value->kind != ValueKind::Array) return axChildren(platform, app);
    std::vector<Element> windows;
    for (auto& item : value->items)
        if (item.kind == ValueKind::ElementRef) windows.push_back(std::move(item.element));
    return windows;
}

std::optional<ScreenRect> frameOf(Platform& platform, const Element& window) {
    std::optional<ScreenPoint> position = axPoint(platform, window);
    if (!position) return std::nullopt;
    std::optional<ScreenSize> size = axSize(platform, window);
    if (!size) return std::nullopt;
    return ScreenRect{position->x, position->y, size->width, size->height};
}

std::optional<RunningApplication> byProcess(Platform& platform, int32_t pid) {
    for (auto& app : platform.runningApplications())
        if (app.processIdentifier == pid) return std::move(app);
    return std::nullopt;
}

// The application is the active one and `window` its focused window.
bool frontmost(Platform& platform, int32_t pid, const Element& window) {
    std::optional<RunningApplication> app = byProcess(platform, pid);
    if (!app || !app->isActive) return false;
    const uint64_t focused =
        identityOf(platform, platform.createApplicationElement(pid), "AXFocusedWindow");
    return focused != 0 && focused == platform.identityHash(window);
}

// A regular application started by the launch: its own process, one its
// launcher started, or (a launcher that handed the start to a running
// instance, or whose child outlived it) the one with the bundle identifier
// the id gave it.
bool startedBy(Platform& platform, const RunningApplication& app, const LaunchedProcess& launched) {
    if (app.activationPolicy != 0) return false;
    const int32_t pid = app.processIdentifier;
    if (pid == launched.pid || (pid > 0 && platform.processDescendsFrom(pid, launched.pid)))
        return true;
    return !launched.bundleIdentifier.empty() && app.bundleIdentifier == launched.bundleIdentifier;
}

}  // namespace

Outcome<AppWindows> listWindows(Platform& platform, const std::optional<std::string>& appName) {
    Outcome<RunningApplication> app = targetApp(platform, appName);
    if (!app.ok()) return app.failure();
    AppWindows listed{std::move(app.value()), {}, false};
    const Element appElement = platform.createApplicationElement(listed.app.processIdentifier);
    std::vector<Element> windows = windowsOf(platform, appElement);
    const uint64_t focused = identityOf(platform, appElement, "AXFocusedWindow");
    const uint64_t main = identityOf(platform, appElement, "AXMainWindow");
    for (size_t i = 0; i < windows.size() && i < kMaxWindowsListed; ++i) {
        WindowRecord w;
        w.number = static_cast<int64_t>(i) + 1;
        w.element = windows[i];
        w.title = axString(platform, w.element, "AXTitle");
        w.frame = frameOf(platform, w.element);
        const uint64_t identity = platform.identityHash(w.element);
        w.focused = focused != 0 && identity == focused;
        w.main = main != 0 && identity == main;
        w.modal = axBool(platform, w.element, "AXModal").value_or(false);
        listed.windows.push_back(std::move(w));
    }
    listed.truncated = windows.size() > kMaxWindowsListed;
    return listed;
}

MaybeFailure activateApp(Platform& platform, std::string_view name, std::optional<int64_t> number) {
    Outcome<RunningApplication> app = targetApp(platform, std::string(name));
    if (!app.ok()) return app.failure();
    const int32_t pid = app.value().processIdentifier;
    const std::optional<std::string>& display = app.value().localizedName;
    Element window;
    {
        const Element appElement = platform.createApplicationElement(pid);
        if (number) {
            std::vector<Element> windows = windowsOf(platform, appElement);
            if (*number > static_cast<int64_t>(std::min(windows.size(), kMaxWindowsListed)))
                return Failure{Refusal::NoSuchWindow, display, *number};
            window = windows[static_cast<size_t>(*number - 1)];
        } else {
            window = chosenWindow(platform, appElement);
        }
    }
    if (!window) return Failure{Refusal::NoObservableWindow, display, 0};
    if (!platform.activateApplication(pid, window)) return Failure{Refusal::NotActivated, display, 0};
    const int64_t deadline = platform.monotonicMicroseconds() + kActivationBoundMicroseconds;
    for (;;) {
        platform.beginLook(deadline);
        if (frontmost(platform, pid, window)) return std::nullopt;
        if (platform.monotonicMicroseconds() >= deadline) break;
        platform.sleepMicroseconds(kActivationPollMicroseconds);
    }
    return Failure{Refusal::NotActivated, display, 0};
}

Outcome<RunningApplication> launchApp(Platform& platform, std::string_view id) {
    LaunchedProcess launched = platform.launchApplication(id);
    switch (launched.status) {
    case LaunchedProcess::Status::Started:
        break;
    case LaunchedProcess::Status::NotInstalled:
        return Failure{Refusal::NotInstalled, std::string(id), 0};
    case LaunchedProcess::Status::NotStarted: {
        Failure failure{Refusal::NotLaunched, std::string(id), 0};
        failure.detail = launched.why;
        return failure;
    }
    }
    const int64_t deadline = platform.monotonicMicroseconds() + kLaunchBoundMicroseconds;
    for (;;) {
        // An application starting up is often too busy to answer at once;
        // each look asks it again.
        platform.beginLook(deadline);
        for (auto& app : platform.runningApplications()) {
            if (!startedBy(platform, app, launched)) continue;
            // Observable: it has a window observe can read.
            if (chosenWindow(platform, platform.createApplicationElement(app.processIdentifier)))
                return std::move(app);
        }
        if (platform.monotonicMicroseconds() >= deadline) break;
        platform.sleepMicroseconds(kLaunchPollMicroseconds);
    }
    return Failure{Refusal::LaunchTimedOut, std::string(id), kLaunchBoundMicroseconds / 1'000'000};
}

}  // namespace nuvra
