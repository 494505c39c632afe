// Where an application's Component positions are measured from, and what
// its toolkit's answers mean: asked once per application and run.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/linux/atspi/requests.h"
#include "platform/linux/x11/display.h"

namespace nuvra::atspi {

// What each application's toolkit and display server imply, asked once per
// application and run.
class ScreenCoordinates {
public:
    ScreenCoordinates(BusLink& link, x11::DisplayConnection& display)
        : link_(link), display_(display) {}
    // Whether its Component extents are in screen coordinates, as AT-SPI
    // defines them. GTK 4 cannot know where its windows are and answers in
    // window coordinates instead, whatever is asked, and neither can a
    // native Wayland client. An application that does not tell its
    // toolkit is taken at its word.
    bool of(const std::string& bus) {
        return (toolkit(bus).name != "GTK" || toolkit(bus).major < 4) && !nativeWayland(bus);
    }
    bool gecko(const std::string& bus) { return toolkit(bus).name == "Gecko"; }
    // GTK 4 sets the showing state on its windows alone.
    bool setsShowing(const std::string& bus) {
        return toolkit(bus).name != "GTK" || toolkit(bus).major < 4;
    }
    // A widget toolkit, whose box 0,0 0x0 means a widget not laid out; a
    // web engine's can be an element with no box of its own around content
    // that shows.
    bool widgetToolkit(const std::string& bus) {
        return toolkit(bus).name == "GTK" || toolkit(bus).name == "Qt";
    }
    // On a Wayland desktop: shows no X11 window (XWayland's are on the
    // screen's coordinates). Under a plain X11 session nothing is asked.
    bool nativeWayland(const std::string& bus);

private:
    const Toolkit& toolkit(const std::string& bus);
    BusLink& link_;
    x11::DisplayConnection& display_;
    std::map<std::string, Toolkit> known_;
    std::optional<bool> wayland_;
    std::optional<std::optional<std::set<int32_t>>> xOwners_;
    std::map<std::string, bool> native_;
};

}  // namespace nuvra::atspi
