// Keyboard input as XTest requests, from the server's current keymap. A key
// event names what it types (a keysym); posting finds the key: a modifier
// key of the modifier map, a key of the layout (with Shift when it types
// that on its second level), or else a spare keycode bound to it for the
// run (key_bindings.h). Each event is processed by the server before post
// returns, as with pointer events.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/linux/x11/key_bindings.h"
#include "platform/linux/x11/keymap.h"
#include "platform/platform.h"

namespace nuvra::x11 {

struct KeyEvent : EventObject {
    uint32_t keysym = 0;
    bool down = false;
    bool modifier = false;   // Control_L, Shift_L, Alt_L, Super_L: a modifier-map key
    bool character = false;  // typed for what it is: layout keys only where they type it surely
};

// One run's keyboard: the keymap read on first use, the keys it holds down,
// the keycodes it has bound.
class Keyboard {
public:
    // Whether the event can be posted: the keymap has a key for it, or a
    // spare keycode to bind. Reads the keymap (and unbinds what killed runs
    // left) on first use. Events are prepared in the order they will be
    // posted, so that bindings can be made ahead.
    bool prepare(Connection* c, const KeyEvent& event);

    // Sends one event and waits until the server has processed it; false
    // when it could not (no key, or no answer in time).
    bool post(Connection* c, const KeyEvent& event);

    // Whether any key event was prepared: only then is there anything to
    // finish (and a display to open for it).
    bool used() const { return loaded_; }

    // Releases every key still held, then unbinds what the run bound.
    void finish(Connection* c);

private:
    struct Resolved {
        uint8_t keycode = 0;
        bool shift = false;  // Shift must be held for it
    };
    std::optional<Resolved> layoutFor(const KeyEvent& event) const;
    void fake(Connection& c, uint8_t keycode, bool press);

    std::optional<Keymap> map_;
    bool loaded_ = false;
    KeyBindings bindings_;
    std::vector<uint32_t> wanted_;  // keysyms to bind, in the order prepared
    size_t next_ = 0;               // the first of wanted_ not yet posted
    std::set<uint8_t> willPress_;  // layout keycodes the prepared events press
    std::set<uint8_t> held_;
    std::map<uint8_t, uint8_t> addedShift_;  // key -> the Shift key pressed for it
};

}  // namespace nuvra::x11
