#include "platform/linux/x11/activate.h"

#include <cstring>

#include <xcb/xcb.h>

#include "platform/linux/x11/client_pids.h"
#include "platform/linux/x11/display.h"
#include "platform/linux/x11/window_at.h"

namespace nuvra::x11 {

namespace {

// A desktop has tens of top-level windows; past this many the rest are not
// looked at.
constexpr size_t kMaxTopLevels = 256;
// What _NET_ACTIVE_WINDOW's source field calls a pager: a tool acting for
// the user, which a window manager does not hold to focus-stealing rules.
constexpr uint32_t kSourcePager = 2;

// The client window of a top-level one: itself, or under a window manager
// the child of its frame that carries WM_STATE.
uint32_t clientIn(Connection& c, uint32_t topLevel) {
    if (hasProperty(c, topLevel, "WM_STATE")) return topLevel;
    for (uint32_t child : childrenOf(c, topLevel))
        if (hasProperty(c, child, "WM_STATE")) return child;
    return topLevel;
}

bool viewable(Connection& c, uint32_t window) {
    auto attributes =
        replyTo<xcb_get_window_attributes_reply_t>(c, xcb_get_window_attributes(c.xcb, window));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
           attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT && !attributes->override_redirect;
}

uint32_t internAtom(Connection& c, const char* name) {
    auto atom = replyTo<xcb_intern_atom_reply_t>(
        c, xcb_intern_atom(c.xcb, 0, static_cast<uint16_t>(std::strlen(name)), name));
    return atom ? atom->atom : uint32_t{XCB_ATOM_NONE};
}

}  // namespace

bool focusInWindowOf(Connection* c, int32_t pid) {
    if (c == nullptr) return false;
    auto focus = replyTo<xcb_get_input_focus_reply_t>(*c, xcb_get_input_focus(c->xcb));
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
        return false;
    return windowOwnerPid(*c, focus->focus) == pid;
}

bool focusInXWindow(Connection* c) {
    if (c == nullptr) return false;
    auto focus = replyTo<xcb_get_input_focus_reply_t>(*c, xcb_get_input_focus(c->xcb));
    if (!focus || focus->focus == XCB_NONE) return false;
    if (focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT) return focus->focus != c->root;
    // PointerRoot: keys go to the window under the pointer.
    auto pointer = replyTo<xcb_query_pointer_reply_t>(*c, xcb_query_pointer(c->xcb, c->root));
    return pointer && pointer->child != XCB_NONE;
}

bool activateWindowOf(Connection* c, int32_t pid) {
    if (c == nullptr) return false;
    if (focusInWindowOf(c, pid)) return true;
    std::vector<uint32_t> topLevels = childrenOf(*c, c->root);
    uint32_t target = XCB_NONE;
    uint32_t client = XCB_NONE;
    size_t looked = 0;
    // Children come bottom to top: the topmost of the process's windows is
    // the one it shows last (a dialog above its main window).
    for (auto it = topLevels.rbegin(); it != topLevels.rend() && looked < kMaxTopLevels;
         ++it, ++looked) {
        if (!viewable(*c, *it)) continue;
        uint32_t inside = clientIn(*c, *it);
        if (windowOwnerPid(*c, inside) != pid) continue;
        target = *it;
        client = inside;
        break;
    }
    if (target == XCB_NONE) return false;
    if (hasProperty(*c, c->root, "_NET_SUPPORTING_WM_CHECK")) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = client;
        message.type = internAtom(*c, "_NET_ACTIVE_WINDOW");
        message.data.data32[0] = kSourcePager;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c->xcb, 0, c->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c->xcb, target, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(c->xcb, XCB_INPUT_FOCUS_PARENT, client, XCB_CURRENT_TIME);
    }
    return sync(*c);
}

}  // namespace nuvra::x11
