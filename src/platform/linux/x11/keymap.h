// The X server's keyboard mapping as the core protocol gives it: keysyms by
// keycode (GetKeyboardMapping), the modifier map (GetModifierMapping), and
// from XKB the group and Caps Lock in force, which decide which of a key's
// keysyms a press types.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace nuvra::x11 {

struct Connection;

constexpr uint32_t kNoSymbol = 0;

struct Keymap {
    uint8_t minKeycode = 8;
    uint8_t maxKeycode = 8;
    uint8_t perKeycode = 1;        // keysyms listed for each keycode
    std::vector<uint32_t> syms;    // perKeycode a keycode, from minKeycode
    // Keycodes of Shift, Lock, Control, Mod1-Mod5, in that order.
    std::array<std::vector<uint8_t>, 8> modifiers;
    // The keys of the layout type what their first two keysyms say only in
    // the first group and without Caps Lock; otherwise letters (or all
    // characters) go through a bound key instead.
    bool firstGroup = true;
    bool capsLock = false;
};

// Nothing when the server did not answer.
std::optional<Keymap> readKeymap(Connection& c);

// A keycode's keysym at `position` (0: unshifted, 1: shifted).
uint32_t keysymAt(const Keymap& map, uint8_t keycode, int position);

// A key of the layout that types `keysym`, and whether Shift must be held.
struct LayoutKey {
    uint8_t keycode = 0;
    bool shift = false;
};
std::optional<LayoutKey> layoutKey(const Keymap& map, uint32_t keysym);

// The key that sets a modifier (Control_L for control and so on, found in
// the modifier map), or nothing when the layout has none.
std::optional<uint8_t> modifierKey(const Keymap& map, uint32_t keysym);

// Keycodes without any keysym, which no key of the layout produces: free to
// bind for a run. The highest first; keycode 8 (evdev's reserved code) never.
std::vector<uint8_t> spareKeycodes(const Keymap& map);

// The keysym of a Unicode character: Latin-1 keysyms are its code point,
// every other character has the keysym 0x1000000 + code point.
uint32_t keysymOfCharacter(char32_t cp);

// The keysym of a named key or modifier by its virtual key code (kVK_*),
// or kNoSymbol for a code that names no key.
uint32_t keysymOfKey(uint16_t virtualKey);

}  // namespace nuvra::x11
