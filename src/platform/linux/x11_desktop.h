// What the backend needs from the X server: the root window's properties,
// the window under a point and whom it belongs to, and XTest input. Xlib's
// macros (None, Bool, Status, True) stay inside x11_desktop.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct _XDisplay;

namespace nuvra::x11 {

// The display named by $DISPLAY, opened on first use and closed with its
// owner. Protocol errors (a window destroyed between two requests) are
// swallowed for the whole process, since Xlib's default handler exits.
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

// A string property of the root window (AT_SPI_BUS), or nothing.
std::optional<std::string> rootStringProperty(_XDisplay* display, const char* name);

// The top-level client window that shows the screen pixel (x, y): the
// topmost mapped child of the root there, or, under a window manager, the
// window inside its frame that carries WM_STATE.
struct ClientWindow {
    unsigned long id = 0;
    int x = 0;  // root coordinates of its top-left corner
    int y = 0;
    int width = 0;
    int height = 0;
    std::optional<int32_t> pid;  // _NET_WM_PID, when the client set it
};
std::optional<ClientWindow> clientWindowAt(_XDisplay* display, int x, int y);

// _GTK_APPLICATION_ID of every top-level client window that names its
// process, by process number.
std::map<int32_t, std::string> gtkApplicationIds(_XDisplay* display);

// XTest: whether the server offers it, and fake input. Buttons are X
// buttons (1 left, 2 middle, 3 right, 4-7 wheel).
bool hasXTest(_XDisplay* display);
void fakeMotion(_XDisplay* display, int x, int y);
void fakeButton(_XDisplay* display, unsigned button, bool press);
// Waits until the server has processed everything sent so far.
void sync(_XDisplay* display);

}  // namespace nuvra::x11
