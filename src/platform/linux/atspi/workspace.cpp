#include "platform/linux/atspi/workspace.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <deque>
#include <set>

#include "platform/linux/atspi/requests.h"
#include "platform/linux/limits.h"
#include "platform/linux/x11/window_at.h"

namespace nuvra::atspi {

namespace {

bool contains(const Extents& e, int x, int y) {
    return x >= e.x && y >= e.y && static_cast<int64_t>(x) < static_cast<int64_t>(e.x) + e.width &&
           static_cast<int64_t>(y) < static_cast<int64_t>(e.y) + e.height;
}

bool sameGeometry(const Extents& e, const x11::ClientWindow& w) {
    return e.x == w.x && e.y == w.y && e.width == w.width && e.height == w.height;
}

// A popup (a menu bar's open menu, a combo box's list) is an X window of its
// own, but GTK3 and Qt place its elements inside the tree of the window it
// belongs to, below the item that opened it, so no top-level window matches
// it. The deepest showing element that lies within the popup and holds the
// point stands for it. Closed menus are not showing, so the bounded search
// never enters them.
std::optional<ObjectRef> popupElementAt(BusLink& link, const std::vector<ObjectRef>& windows,
                                        const x11::ClientWindow& popup, int x, int y) {
    std::optional<ObjectRef> found;
    std::deque<ObjectRef> queue(windows.begin(), windows.end());
    for (int seen = 0; !queue.empty() && seen < kMaxPopupSearch; ++seen) {
        ObjectRef element = std::move(queue.front());
        queue.pop_front();
        auto states = getState(link, element);
        if (!states || !states->has(ATSPI_STATE_SHOWING)) continue;
        auto e = getExtents(link, element);
        if (e && contains(*e, x, y) && e->x >= popup.x && e->y >= popup.y &&
            int64_t{e->x} + e->width <= int64_t{popup.x} + popup.width &&
            int64_t{e->y} + e->height <= int64_t{popup.y} + popup.height)
            found = element;
        // Never the children of an object that makes them on demand, nor
        // more than the search can look at.
        auto count = childCountFrom(link.call(childCountRequest(element)));
        if (!count || *count > kMaxPopupSearch || states->has(ATSPI_STATE_MANAGES_DESCENDANTS))
            continue;
        if (auto children = getChildren(link, element))
            for (auto& child : *children) queue.push_back(std::move(child));
    }
    return found;
}

// How much of the two rectangles they share, as a part of both together:
// 1 for the same, 0 for apart.
double overlap(const Extents& e, const x11::ClientWindow& w) {
    const int64_t left = std::max<int64_t>(e.x, w.x), top = std::max<int64_t>(e.y, w.y);
    const int64_t right = std::min<int64_t>(int64_t{e.x} + e.width, int64_t{w.x} + w.width);
    const int64_t bottom = std::min<int64_t>(int64_t{e.y} + e.height, int64_t{w.y} + w.height);
    if (right <= left || bottom <= top) return 0;
    const double shared = static_cast<double>(right - left) * static_cast<double>(bottom - top);
    return shared / (double(e.width) * e.height + double(w.width) * w.height - shared);
}

// The accessible top-level window shown by an X client window: among the
// windows of the process that owns it, the one with the same geometry,
// else of the showing ones under the point the one most like it. Under a
// window manager LibreOffice's windows count their frame and the X window
// does not, and its dialog lies over its document window, which holds the
// point as well. Without a process number every application's windows are
// matched by geometry alone.
std::optional<ObjectRef> topLevelFor(BusLink& link, const x11::ClientWindow& window, int x,
                                     int y) {
    std::optional<ObjectRef> underPoint;
    double likeness = 0;
    for (const auto& app : registeredApps(link).value_or(std::vector<RegisteredApp>{})) {
        if (window.pid && app.pid != *window.pid) continue;
        auto windows = getChildren(link, ObjectRef{app.bus, kRootPath});
        if (!windows) continue;
        if (window.popup && window.pid) {
            if (auto popup = popupElementAt(link, *windows, window, x, y)) return popup;
        }
        for (size_t i = 0; i < windows->size() && i < kMaxWindowsAsked; ++i) {
            const ObjectRef& candidate = (*windows)[i];
            auto extents = getExtents(link, candidate);
            if (!extents) continue;
            if (sameGeometry(*extents, window)) return candidate;
            if (window.pid && contains(*extents, x, y) && overlap(*extents, window) > likeness) {
                auto states = getState(link, candidate);
                if (states && states->has(ATSPI_STATE_SHOWING))
                    underPoint = candidate, likeness = overlap(*extents, window);
            }
        }
    }
    return underPoint;
}

}  // namespace

std::optional<std::vector<RegisteredApp>> registeredApps(BusLink& link) {
    auto roots = registeredApplications(link);
    if (!roots) return std::nullopt;
    std::vector<RegisteredApp> apps;
    std::set<std::string> seen;
    for (auto& root : *roots) {
        // An application embedded twice is still one application.
        if (!seen.insert(root.bus).second) continue;
        auto pid = connectionPid(link, root.bus);
        apps.push_back(RegisteredApp{std::move(root.bus), pid ? *pid : -1});
    }
    return apps;
}

WorkspaceSurvey::WorkspaceSurvey(BusLink& link, std::map<int32_t, std::string> applicationIds)
    : link_(link) {
    std::set<std::string> seen;
    auto roots = registeredApplications(link);
    listed_ = roots.has_value();
    for (auto& root : roots.value_or(std::vector<ObjectRef>{}))
        // An application embedded twice is still one application.
        if (seen.insert(root.bus).second) apps_.push_back(RegisteredApp{std::move(root.bus), -1});
    // The bus daemon tells the processes, all in one round.
    std::vector<Request> pids;
    for (const auto& app : apps_) pids.push_back(pidRequest(app.bus));
    auto replies = link.callAll(pids);
    asked_.resize(apps_.size());
    for (size_t i = 0; i < apps_.size(); ++i) {
        if (auto pid = pidFrom(replies[i])) apps_[i].pid = *pid;
        RunningApplication& record = asked_[i].record;
        record.processIdentifier = apps_[i].pid;
        auto id = applicationIds.find(apps_[i].pid);
        if (id != applicationIds.end()) record.bundleIdentifier = id->second;
        // What it has not told: no windows, so not regular, and not active.
        record.activationPolicy = 2;
        ask(asked_[i], Step::Name, {nameRequest(ObjectRef{apps_[i].bus, kRootPath})});
    }
}

WorkspaceSurvey::~WorkspaceSurvey() = default;

void WorkspaceSurvey::ask(Asked& app, Step step, std::vector<Request> requests) {
    app.step = step;
    app.requests = std::move(requests);
    app.sent = link_.send(app.requests);
    // The time-out as sent: a look's deadline may have cut it.
    auto timeout = kCallTimeout;
    if (const auto& sentWith = app.sent.timeouts(); !sentWith.empty())
        timeout = *std::max_element(sentWith.begin(), sentWith.end());
    app.due = dbus::Clock::now() + timeout;
    app.stretched = {};
}

// One step's answers in; the next step asked. A request the application
// left unanswered ends its record there, not responding (an error it
// answered is its answer: no name, no windows).
void WorkspaceSurvey::advance(size_t i, std::vector<Reply> replies) {
    Asked& app = asked_[i];
    RunningApplication& record = app.record;
    const std::string& bus = apps_[i].bus;
    bool unanswered = link_.unresponsive(bus);
    for (size_t k = 0; k < replies.size(); ++k) unanswered = unanswered || (!replies[k] && !app.sent.answered(k));
    if (unanswered) {
        record.responding = false;
        app.step = Step::Done;
        return;
    }
    switch (app.step) {
        case Step::Name:
            if (auto name = nameFrom(replies[0]); name && !name->empty()) record.localizedName = *name;
            ask(app, Step::Windows, {childrenRequest(ObjectRef{bus, kRootPath})});
            break;
        case Step::Windows: {
            auto windows = childrenFrom(replies[0]);
            if (!windows || windows->empty()) {
                // A process without windows (a daemon that loaded the
                // bridge) stands for one that may not have a user
                // interface (policy 2, prohibited).
                app.step = Step::Done;
                break;
            }
            record.activationPolicy = 0;
            app.windows = std::move(*windows);
            std::vector<Request> states;
            for (size_t w = 0; w < app.windows.size() && w < kMaxWindowsAsked; ++w)
                states.push_back(stateRequest(app.windows[w]));
            ask(app, Step::States, std::move(states));
            break;
        }
        case Step::States:
            for (const auto& reply : replies) {
                auto states = statesFrom(reply);
                if (states && states->has(ATSPI_STATE_ACTIVE)) record.isActive = true;
            }
            app.step = Step::Done;
            break;
        case Step::Done:
            break;
    }
}

bool WorkspaceSurvey::complete() const {
    for (const auto& app : asked_)
        if (app.step != Step::Done) return false;
    return true;
}

std::vector<RunningApplication> WorkspaceSurvey::records(bool prompt) {
    const auto started = dbus::Clock::now();
    std::optional<dbus::Clock::time_point> lastDone;
    while (!complete()) {
        const auto now = dbus::Clock::now();
        bool answered = false;
        // One that has answered a step is answering: it is waited for.
        bool midway = false;
        std::vector<const BusLink::Sent*> pending;
        auto nextDue = dbus::Clock::time_point::max();
        for (size_t i = 0; i < asked_.size(); ++i) {
            Asked& app = asked_[i];
            if (app.step == Step::Done) continue;
            if (link_.arrived(app.sent) || now >= app.due) {
                advance(i, link_.collect(app.requests, app.sent, now));
                answered = true;
                if (app.step == Step::Done) lastDone = now;
            } else {
                midway = midway || app.step != Step::Name;
                pending.push_back(&app.sent);
                nextDue = std::min(nextDue, app.due);
            }
        }
        if (answered) continue;
        auto until = nextDue;
        if (prompt && !midway && lastDone) {
            // Those that have not said a word in as long again as the
            // others took to say everything are not waited for: a hung
            // neighbour costs a run next to nothing.
            const auto patience = std::max<dbus::Clock::duration>(kStragglerFloor, *lastDone - started);
            until = std::min(until, *lastDone + patience);
            if (now >= until) break;
        }
        // What others sent unasked, read meanwhile, is not the applications'
        // time, as with every reply awaited.
        const auto unasked = link_.await(pending, until);
        for (auto& app : asked_) {
            const auto stretch = std::min<dbus::Clock::duration>(
                unasked, dbus::kStretch * kCallTimeout - app.stretched);
            app.due += stretch;
            app.stretched += stretch;
        }
    }
    std::vector<RunningApplication> records;
    for (size_t i = 0; i < asked_.size(); ++i) {
        const Asked& app = asked_[i];
        // The registry may list for a moment one that has left the bus.
        if (link_.gone(apps_[i].bus)) continue;
        records.push_back(app.record);
        if (app.step != Step::Done || !app.record.responding) {
            records.back().responding = false;
            records.back().activationPolicy = 2;
            records.back().isActive = false;
        }
    }
    return records;
}

std::optional<ObjectRef> firstWindowIn(BusLink& link, const std::vector<ObjectRef>& windows,
                                       uint32_t state) {
    std::vector<Request> requests;
    for (size_t i = 0; i < windows.size() && i < kMaxWindowsAsked; ++i)
        requests.push_back(stateRequest(windows[i]));
    auto replies = link.callAll(requests);
    for (size_t i = 0; i < replies.size(); ++i) {
        auto states = statesFrom(replies[i]);
        if (states && states->has(state)) return windows[i];
    }
    return std::nullopt;
}

std::optional<ObjectRef> objectAt(BusLink& link, x11::Connection* display, int x, int y) {
    auto window = x11::clientWindowAt(display, x, y);
    if (!window) return std::nullopt;
    auto current = topLevelFor(link, *window, x, y);
    if (!current) return std::nullopt;
    for (int depth = 0; depth < kMaxHitDepth; ++depth) {
        auto next = accessibleAtPoint(link, *current, x, y);
        if (!next || (next->bus == current->bus && next->path == current->path)) break;
        // A toolkit may answer with an element it does not show (Qt: the
        // items of a closed menu); what is shown there is the one above.
        auto states = getState(link, *next);
        if (!states || !states->has(ATSPI_STATE_SHOWING)) break;
        current = std::move(next);
    }
    return current;
}

}  // namespace nuvra::atspi
