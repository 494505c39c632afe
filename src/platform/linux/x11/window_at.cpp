#include "platform/linux/x11/window_at.h"

#include <deque>
#include <memory>
#include <vector>

#include <X11/Xlib.h>

#include "platform/linux/x11/display.h"

namespace nuvra::x11 {

std::vector<unsigned long> childrenOf(_XDisplay* display, unsigned long window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return {};
    std::unique_ptr<Window, int (*)(void*)> owned(children, XFree);
    return std::vector<Window>(children, children + count);
}

namespace {

bool hasWmState(Display* display, Window window) {
    return hasProperty(display, window, "WM_STATE");
}

// A window manager reparents each client into a frame; the client is the
// first window below the frame that carries WM_STATE. Without a window
// manager (bare Xvfb) the top-level window is the client itself.
Window clientOf(Display* display, Window topLevel) {
    if (hasWmState(display, topLevel)) return topLevel;
    std::deque<Window> queue{topLevel};
    int visited = 0;
    while (!queue.empty() && visited < 256) {
        Window w = queue.front();
        queue.pop_front();
        ++visited;
        for (Window child : childrenOf(display, w)) {
            if (hasWmState(display, child)) return child;
            queue.push_back(child);
        }
    }
    return topLevel;
}

}  // namespace

std::optional<ClientWindow> clientWindowAt(_XDisplay* display, int x, int y) {
    if (display == nullptr) return std::nullopt;
    Window root = DefaultRootWindow(display);
    int rx = 0, ry = 0;
    Window topLevel = None;
    if (!XTranslateCoordinates(display, root, root, x, y, &rx, &ry, &topLevel)) return std::nullopt;
    if (topLevel == None) return std::nullopt;

    ClientWindow result;
    Window client = clientOf(display, topLevel);
    result.id = client;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, client, &attributes)) return std::nullopt;
    Window unused = None;
    if (!XTranslateCoordinates(display, client, root, 0, 0, &result.x, &result.y, &unused))
        return std::nullopt;
    result.width = attributes.width;
    result.height = attributes.height;
    result.popup = attributes.override_redirect;
    result.pid = windowPid(display, client);
    if (!result.pid && client != topLevel) result.pid = windowPid(display, topLevel);
    return result;
}

std::map<int32_t, std::string> gtkApplicationIds(_XDisplay* display) {
    std::map<int32_t, std::string> ids;
    if (display == nullptr) return ids;
    for (Window topLevel : childrenOf(display, DefaultRootWindow(display))) {
        Window client = clientOf(display, topLevel);
        auto id = stringProperty(display, client, "_GTK_APPLICATION_ID");
        if (!id || id->empty()) continue;
        auto pid = windowPid(display, client);
        if (pid) ids.emplace(*pid, *id);
    }
    return ids;
}

}  // namespace nuvra::x11
