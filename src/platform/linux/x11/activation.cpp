#include "platform/linux/x11/activation.h"

#include <algorithm>
#include <cstring>

#include <xcb/xcb.h>

#include "platform/linux/limits.h"
#include "platform/linux/x11/display.h"

namespace nuvra::x11 {

namespace {

// EWMH's source indication for a request from a pager or taskbar: the
// window manager honours it without its focus-stealing checks.
constexpr uint32_t kFromPager = 2;

}  // namespace

bool focusInXWindow(Connection* c) {
    if (c == nullptr) return false;
    auto focus = replyTo<xcb_get_input_focus_reply_t>(*c, xcb_get_input_focus(c->xcb));
    if (!focus || focus->focus == XCB_NONE) return false;
    if (focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT) return focus->focus != c->root;
    // PointerRoot: keys go to the window under the pointer.
    auto pointer = replyTo<xcb_query_pointer_reply_t>(*c, xcb_query_pointer(c->xcb, c->root));
    return pointer && pointer->child != XCB_NONE;
}

std::vector<TopLevel> topLevelsOf(Connection* c, int32_t pid) {
    std::vector<TopLevel> found;
    if (c == nullptr) return found;
    std::vector<uint32_t> tops = childrenOf(*c, c->root);
    if (tops.size() > kMaxTopLevels) tops.resize(kMaxTopLevels);
    for (uint32_t top : tops) {
        const uint32_t client = clientOf(*c, top);
        if (windowPid(*c, client) != pid) continue;
        TopLevel t;
        auto described = describeWindow(*c, client, &t.viewable);
        if (!described || described->popup) continue;
        t.window = *described;
        t.window.pid = pid;
        t.title = stringProperty(*c, client, "_NET_WM_NAME");
        if (!t.title) t.title = stringProperty(*c, client, "WM_NAME");
        found.push_back(std::move(t));
    }
    return found;
}

bool ewmhActivation(Connection& c) {
    std::vector<uint32_t> check = wordsProperty(c, c.root, "_NET_SUPPORTING_WM_CHECK");
    if (check.empty() || wordsProperty(c, check.front(), "_NET_SUPPORTING_WM_CHECK") != check)
        return false;
    const uint32_t active = atomOf(c, "_NET_ACTIVE_WINDOW");
    std::vector<uint32_t> supported = wordsProperty(c, c.root, "_NET_SUPPORTED");
    return active != 0 && std::find(supported.begin(), supported.end(), active) != supported.end();
}

bool activateWindow(Connection* c, const TopLevel& top) {
    if (c == nullptr) return false;
    const uint32_t window = top.window.id;
    if (ewmhActivation(*c)) {
        xcb_client_message_event_t message;
        std::memset(&message, 0, sizeof message);
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atomOf(*c, "_NET_ACTIVE_WINDOW");
        message.data.data32[0] = kFromPager;
        message.data.data32[1] = XCB_CURRENT_TIME;
        message.data.data32[2] = XCB_WINDOW_NONE;  // the requester has no window of its own
        xcb_send_event(c->xcb, 0, c->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
        return sync(*c);
    }
    if (!top.viewable) return false;
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c->xcb, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    // The request that can fail (a window unmapped meanwhile) is checked.
    auto focused = xcb_set_input_focus_checked(c->xcb, XCB_INPUT_FOCUS_POINTER_ROOT, window,
                                               XCB_CURRENT_TIME);
    if (!sync(*c)) return false;
    xcb_generic_error_t* error = xcb_request_check(c->xcb, focused);
    const bool taken = error == nullptr;
    std::free(error);
    return taken;
}

}  // namespace nuvra::x11
