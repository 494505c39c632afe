#include "platform/linux/x11/display.h"

#include <climits>
#include <cstdlib>
#include <memory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>

#include "platform/linux/x11/server_probe.h"

namespace nuvra::x11 {

namespace {

int ignoreProtocolError(Display*, XErrorEvent*) {
    return 0;
}

// Frees what Xlib allocated for a property or a window list.
struct XFreeDeleter {
    void operator()(void* p) const {
        if (p != nullptr) XFree(p);
    }
};

// A property's raw items, or nothing when absent or of another format.
struct PropertyData {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    std::unique_ptr<unsigned char, XFreeDeleter> data;
};

std::optional<PropertyData> readProperty(Display* display, Window window, const char* name) {
    Atom atom = XInternAtom(display, name, True);
    if (atom == None) return std::nullopt;
    PropertyData result;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    int status = XGetWindowProperty(display, window, atom, 0, 65536, False, AnyPropertyType,
                                    &result.type, &result.format, &result.count, &bytesAfter,
                                    &data);
    result.data.reset(data);
    if (status != Success || result.type == None || data == nullptr) return std::nullopt;
    return result;
}

}  // namespace

DisplayConnection::~DisplayConnection() {
    if (display_ != nullptr) XCloseDisplay(display_);
}

_XDisplay* DisplayConnection::get() {
    if (!tried_) {
        tried_ = true;
        const char* name = std::getenv("DISPLAY");
        if (name != nullptr && *name != '\0' && serverAnswers(name)) {
            XSetErrorHandler(ignoreProtocolError);
            // Nothing here uses the keyboard extension; not negotiating it
            // saves two round trips to the server on every run.
            XkbIgnoreExtension(True);
            display_ = XOpenDisplay(name);
        }
    }
    return display_;
}

std::optional<int32_t> windowPid(Display* display, Window window) {
    auto prop = readProperty(display, window, "_NET_WM_PID");
    if (!prop || prop->format != 32 || prop->count < 1) return std::nullopt;
    // Format 32 items arrive as longs, whatever the width of long.
    long pid = reinterpret_cast<long*>(prop->data.get())[0];
    if (pid <= 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(pid);
}

std::optional<std::string> stringProperty(Display* display, Window window, const char* name) {
    auto prop = readProperty(display, window, name);
    if (!prop || prop->format != 8) return std::nullopt;
    return std::string(reinterpret_cast<char*>(prop->data.get()), prop->count);
}

bool hasProperty(_XDisplay* display, unsigned long window, const char* name) {
    return readProperty(display, window, name).has_value();
}

std::optional<std::string> rootStringProperty(_XDisplay* display, const char* name) {
    if (display == nullptr) return std::nullopt;
    auto value = stringProperty(display, DefaultRootWindow(display), name);
    if (!value || value->empty()) return std::nullopt;
    return value;
}

}  // namespace nuvra::x11
