#include "platform/linux/x11_desktop.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

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

std::vector<Window> childrenOf(Display* display, Window window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return {};
    std::unique_ptr<Window, XFreeDeleter> owned(children);
    return std::vector<Window>(children, children + count);
}

bool hasWmState(Display* display, Window window) {
    return readProperty(display, window, "WM_STATE").has_value();
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

// How long a local X server may take to answer the start of a
// connection. A live one answers in well under a millisecond.
constexpr std::chrono::milliseconds kServerAnswer{300};

// The display number of a local display name (":0", ":1.0", "unix:2");
// nothing for a display on another host, which is not probed.
std::optional<int> localDisplayNumber(std::string_view name) {
    auto colon = name.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = name.substr(0, colon);
    if (!host.empty() && host != "unix") return std::nullopt;
    int number = 0;
    size_t i = colon + 1;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        number = number * 10 + (name[i] - '0');
        if (number > 65535) return std::nullopt;
    }
    if (i == colon + 1 || (i < name.size() && name[i] != '.')) return std::nullopt;
    return number;
}

// Whether what listens on `path` (a leading NUL: an abstract socket)
// answers the start of an X connection within `budget`; nothing when
// nothing listens there. Nothing is read: any answer, or the server
// closing, is an answer.
std::optional<bool> answersOn(const std::string& path, std::chrono::milliseconds budget) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        // A full backlog (EAGAIN) means a server that does not accept.
        bool listening = errno == EAGAIN;
        close(fd);
        return listening ? std::optional<bool>(false) : std::nullopt;
    }
    bool answered = false;
    // Connection set-up, little-endian, protocol 11.0, no authorisation.
    const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (send(fd, setup, sizeof setup, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof setup)) {
        pollfd waiting{fd, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + budget;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            int ready = poll(&waiting, 1, static_cast<int>(left.count()));
            if (ready > 0) {
                answered = true;
                break;
            }
            if (ready < 0 && errno != EINTR) break;
        }
    }
    close(fd);
    return answered;
}

// Xlib waits for the server's answer to a new connection without a
// time-out, so a stopped server would hold the run forever; a local server
// is asked first, with one. (A server that stops later in the run still
// holds it: Xlib's replies have no time-out either.)
bool serverAnswers(std::string_view name) {
    auto number = localDisplayNumber(name);
    if (!number) return true;
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(*number);
    // Xlib tries the abstract socket first, then the file; where neither
    // listens, Xlib finds that out itself at once.
    if (auto abstract = answersOn(std::string(1, '\0') + path, kServerAnswer)) return *abstract;
    return answersOn(path, kServerAnswer).value_or(true);
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

std::optional<std::string> rootStringProperty(_XDisplay* display, const char* name) {
    if (display == nullptr) return std::nullopt;
    auto value = stringProperty(display, DefaultRootWindow(display), name);
    if (!value || value->empty()) return std::nullopt;
    return value;
}

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

bool hasXTest(_XDisplay* display) {
    if (display == nullptr) return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
}

void fakeMotion(_XDisplay* display, int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
}

void fakeButton(_XDisplay* display, unsigned button, bool press) {
    XTestFakeButtonEvent(display, button, press ? True : False, CurrentTime);
}

void sync(_XDisplay* display) {
    XSync(display, False);
}

}  // namespace nuvra::x11
