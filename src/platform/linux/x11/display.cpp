#include "platform/linux/x11/display.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include <poll.h>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xtest.h>

#include "platform/linux/open_by.h"

namespace nuvra::x11 {

namespace {

// A property's reply, or nothing when absent.
std::optional<ReplyPtr<xcb_get_property_reply_t>> readProperty(Connection& c, uint32_t window,
                                                               const char* name) {
    auto known = c.atoms.find(name);
    if (known == c.atoms.end()) {
        auto atom = replyTo<xcb_intern_atom_reply_t>(
            c, xcb_intern_atom(c.xcb, 1, static_cast<uint16_t>(std::strlen(name)), name));
        // A server that did not answer has not said the atom is missing.
        if (!atom && c.gone) return std::nullopt;
        known = c.atoms.emplace(name, atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE}).first;
    }
    if (known->second == XCB_ATOM_NONE) return std::nullopt;
    auto prop = replyTo<xcb_get_property_reply_t>(
        c, xcb_get_property(c.xcb, 0, window, known->second, XCB_GET_PROPERTY_TYPE_ANY, 0, 65536));
    if (!prop || prop->type == XCB_ATOM_NONE) return std::nullopt;
    return prop;
}

}  // namespace

DisplayConnection::~DisplayConnection() {
    if (!connection_) return;
    // A button whose release was never sent would stay down for every
    // client after this run; sending never waits for the server.
    for (uint8_t button : connection_->heldButtons)
        xcb_test_fake_input(connection_->xcb, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
    xcb_flush(connection_->xcb);
    xcb_disconnect(connection_->xcb);
}

Connection* DisplayConnection::get() {
    if (!tried_) {
        tried_ = true;
        const char* name = std::getenv("DISPLAY");
        char* host = nullptr;
        int number = 0;
        int screen = 0;
        if (name == nullptr || xcb_parse_display(name, &host, &number, &screen) == 0)
            return nullptr;
        std::free(host);
        // XCB waits for the server's greeting without a time-out.
        auto* xcb = static_cast<xcb_connection_t*>(openBy(
            [named = std::string(name)]() -> void* { return xcb_connect(named.c_str(), nullptr); },
            [](void* opened) { xcb_disconnect(static_cast<xcb_connection_t*>(opened)); },
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyMilliseconds)));
        if (xcb == nullptr) return nullptr;
        const xcb_setup_t* setup = xcb_get_setup(xcb);  // null when refused
        auto roots = setup != nullptr ? xcb_setup_roots_iterator(setup) : xcb_screen_iterator_t{};
        for (; roots.rem > 0 && screen > 0; --screen) xcb_screen_next(&roots);
        if (roots.rem > 0) {
            connection_.emplace();
            connection_->xcb = xcb;
            connection_->root = roots.data->root;
            connection_->rootWidth = roots.data->width_in_pixels;
            connection_->rootHeight = roots.data->height_in_pixels;
        } else {
            xcb_disconnect(xcb);
        }
    }
    return connection_ && !connection_->gone ? &*connection_ : nullptr;
}

void* awaitReply(Connection& c, unsigned int sequence) {
    if (c.gone) {
        xcb_discard_reply(c.xcb, sequence);
        return nullptr;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyMilliseconds);
    pollfd waiting{xcb_get_file_descriptor(c.xcb), POLLIN, 0};
    xcb_flush(c.xcb);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_connection_has_error(c.xcb)) break;
        if (xcb_poll_for_reply(c.xcb, sequence, &reply, &error)) {
            std::free(error);
            return reply;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (poll(&waiting, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    }
    c.gone = true;
    return nullptr;
}

bool sync(Connection& c) {
    return replyTo<xcb_get_input_focus_reply_t>(c, xcb_get_input_focus(c.xcb)) != nullptr;
}

bool hasExtension(Connection& c, xcb_extension_t* extension) {
    // xcb asks for an extension's number itself and waits for it without a
    // time-out; asked ahead, its answer is in once a later request's is.
    xcb_prefetch_extension_data(c.xcb, extension);
    if (!sync(c)) return false;
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c.xcb, extension);
    return data != nullptr && data->present;
}

std::optional<int32_t> windowPid(Connection& c, uint32_t window) {
    auto prop = readProperty(c, window, "_NET_WM_PID");
    if (!prop || (*prop)->format != 32 || (*prop)->value_len < 1) return std::nullopt;
    uint32_t pid = 0;
    std::memcpy(&pid, xcb_get_property_value(prop->get()), sizeof pid);
    if (pid == 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(pid);
}

std::optional<std::string> stringProperty(Connection& c, uint32_t window, const char* name) {
    auto prop = readProperty(c, window, name);
    if (!prop || (*prop)->format != 8) return std::nullopt;
    return std::string(static_cast<const char*>(xcb_get_property_value(prop->get())),
                       static_cast<size_t>(xcb_get_property_value_length(prop->get())));
}

bool hasProperty(Connection& c, uint32_t window, const char* name) {
    return readProperty(c, window, name).has_value();
}

std::vector<uint32_t> wordsProperty(Connection& c, uint32_t window, const char* name) {
    auto prop = readProperty(c, window, name);
    if (!prop || (*prop)->format != 32) return {};
    const auto* words = static_cast<const uint32_t*>(xcb_get_property_value(prop->get()));
    return std::vector<uint32_t>(words, words + (*prop)->value_len);
}

uint32_t atomOf(Connection& c, const char* name) {
    auto known = c.atoms.find(name);
    if (known != c.atoms.end() && known->second != XCB_ATOM_NONE) return known->second;
    auto atom = replyTo<xcb_intern_atom_reply_t>(
        c, xcb_intern_atom(c.xcb, 0, static_cast<uint16_t>(std::strlen(name)), name));
    if (!atom) return 0;
    c.atoms[name] = atom->atom;
    return atom->atom;
}

std::optional<std::string> rootStringProperty(Connection* c, const char* name) {
    if (c == nullptr) return std::nullopt;
    auto value = stringProperty(*c, c->root, name);
    if (!value || value->empty()) return std::nullopt;
    return value;
}

}  // namespace nuvra::x11
