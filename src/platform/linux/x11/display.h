// The X display, and what the backend reads of windows' properties. Xlib's
// macros (None, Bool, Status, True) stay inside the x11/ sources.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct _XDisplay;

namespace nuvra::x11 {

// The display named by $DISPLAY, opened on first use (once its server has
// answered, see server_probe.h) and closed with its owner. Protocol errors
// (a window destroyed between two requests) are swallowed for the whole
// process, since Xlib's default handler exits.
class DisplayConnection {
public:
    DisplayConnection() = default;
    ~DisplayConnection();
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;

    // Null when there is no display; the attempt is made only once.
    _XDisplay* get();

private:
    _XDisplay* display_ = nullptr;
    bool tried_ = false;
};

// A window's text property (format 8), its process (_NET_WM_PID), and
// whether it carries a property at all.
std::optional<std::string> stringProperty(_XDisplay* display, unsigned long window,
                                          const char* name);
std::optional<int32_t> windowPid(_XDisplay* display, unsigned long window);
bool hasProperty(_XDisplay* display, unsigned long window, const char* name);

// A non-empty string property of the root window (AT_SPI_BUS), or nothing;
// nothing also without a display.
std::optional<std::string> rootStringProperty(_XDisplay* display, const char* name);

}  // namespace nuvra::x11
