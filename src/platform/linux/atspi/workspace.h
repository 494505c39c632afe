// The desktop as a workspace: which applications are registered, what the
// workspace record of each says, and which accessible object shows a given
// screen pixel.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi/link.h"
#include "platform/platform.h"

namespace nuvra::x11 {
struct Connection;
}

namespace nuvra::atspi {

// One application registered with the AT-SPI registry, by its connection on
// the bus and its process (-1 when the bus cannot tell).
struct RegisteredApp {
    std::string bus;
    int32_t pid = -1;
};

// The registry's applications, in the registry's order, each once; nothing
// when the registry did not tell them.
std::optional<std::vector<RegisteredApp>> registeredApps(BusLink& link);

// The first of an application's top-level windows in `state`, among the
// first few: no real application has more windows than that, and asking
// each of a hostile one's thousands would cost every run that lists it.
std::optional<ObjectRef> firstWindowIn(BusLink& link, const std::vector<ObjectRef>& windows,
                                       uint32_t state);

// The records the core knows from the macOS workspace, for every
// registered application: the localized name is the application's
// accessible name, the bundle identifier its GTK application id
// (`applicationIds`, by process), the regular policy means it has a
// top-level window, and active means one of them is active.
//
// Every application is asked at once, each step of each (its name, its
// windows, their states) as soon as the one before has answered, so a hung
// or busy one holds up no other. An application that does not answer a
// step is listed as not responding, with what it told before.
class WorkspaceSurvey {
public:
    WorkspaceSurvey(BusLink& link, std::map<int32_t, std::string> applicationIds);
    ~WorkspaceSurvey();
    WorkspaceSurvey(const WorkspaceSurvey&) = delete;
    WorkspaceSurvey& operator=(const WorkspaceSurvey&) = delete;

    // Until each application has answered or let a request's time-out pass
    // (it is then not responding); prompt, not for those that have not said
    // a word in as long again as the others took to answer everything
    // (kStragglerFloor at least): they stay asked, and a later call waits
    // for them.
    std::vector<RunningApplication> records(bool prompt);
    bool complete() const;
    const std::vector<RegisteredApp>& apps() const { return apps_; }
    // Whether the registry told its applications: without that the records
    // are empty for want of an answer.
    bool listed() const { return listed_; }

private:
    enum class Step { Name, Windows, States, Done };
    struct Asked {
        Step step = Step::Name;
        RunningApplication record;
        std::vector<ObjectRef> windows;
        std::vector<Request> requests;
        BusLink::Sent sent;
        dbus::Clock::time_point due;  // when the step's answers are overdue
        dbus::Clock::duration stretched{};  // the due moved for a flood read meanwhile
    };
    void ask(Asked& app, Step step, std::vector<Request> requests);
    void advance(size_t i, std::vector<Reply> replies);

    BusLink& link_;
    std::vector<RegisteredApp> apps_;
    bool listed_ = false;
    std::vector<Asked> asked_;
};

// The deepest accessible object that shows the screen pixel (x, y), or
// nothing. AT-SPI has no desktop-wide hit test, so X tells whose window is
// on top there, and that application's components are asked from there on.
std::optional<ObjectRef> objectAt(BusLink& link, x11::Connection* display, int x, int y);

}  // namespace nuvra::atspi
