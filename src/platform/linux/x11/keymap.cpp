#include "platform/linux/x11/keymap.h"

#include <xcb/xcb.h>
// XCB's XKB header names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "platform/linux/x11/display.h"

namespace nuvra::x11 {

namespace {

constexpr uint8_t kLockMask = 0x02;  // the Lock modifier's bit

// The group and locked modifiers in force, by XKB; a server without XKB
// has one group, and its Lock is then read as off.
void readState(Connection& c, Keymap& map) {
    if (!hasExtension(c, &xcb_xkb_id)) return;
    auto used = replyTo<xcb_xkb_use_extension_reply_t>(
        c, xcb_xkb_use_extension(c.xcb, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION));
    if (!used || !used->supported) return;
    auto state = replyTo<xcb_xkb_get_state_reply_t>(
        c, xcb_xkb_get_state(c.xcb, XCB_XKB_ID_USE_CORE_KBD));
    if (!state) return;
    map.firstGroup = state->group == 0;
    map.capsLock = (state->lockedMods & kLockMask) != 0;
}

}  // namespace

std::optional<Keymap> readKeymap(Connection& c) {
    const xcb_setup_t* setup = xcb_get_setup(c.xcb);
    Keymap map;
    map.minKeycode = setup->min_keycode;
    map.maxKeycode = setup->max_keycode;
    const auto count = static_cast<uint8_t>(map.maxKeycode - map.minKeycode + 1);
    auto mapping = replyTo<xcb_get_keyboard_mapping_reply_t>(
        c, xcb_get_keyboard_mapping(c.xcb, map.minKeycode, count));
    auto modifiers = replyTo<xcb_get_modifier_mapping_reply_t>(c, xcb_get_modifier_mapping(c.xcb));
    if (!mapping || !modifiers || mapping->keysyms_per_keycode == 0) return std::nullopt;
    map.perKeycode = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    if (length < count * map.perKeycode) return std::nullopt;
    map.syms.assign(syms, syms + count * map.perKeycode);
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    if (xcb_get_modifier_mapping_keycodes_length(modifiers.get()) < 8 * perModifier)
        return std::nullopt;
    for (int m = 0; m < 8; ++m)
        for (int i = 0; i < perModifier; ++i)
            if (uint8_t code = codes[m * perModifier + i]) map.modifiers[m].push_back(code);
    readState(c, map);
    return map;
}

uint32_t keysymAt(const Keymap& map, uint8_t keycode, int position) {
    if (keycode < map.minKeycode || keycode > map.maxKeycode || position >= map.perKeycode)
        return kNoSymbol;
    return map.syms[static_cast<size_t>(keycode - map.minKeycode) * map.perKeycode + position];
}

std::optional<LayoutKey> layoutKey(const Keymap& map, uint32_t keysym) {
    if (keysym == kNoSymbol) return std::nullopt;
    for (int code = map.minKeycode; code <= map.maxKeycode; ++code) {
        const auto keycode = static_cast<uint8_t>(code);
        const uint32_t plain = keysymAt(map, keycode, 0);
        const uint32_t shifted = keysymAt(map, keycode, 1);
        if (plain == keysym) return LayoutKey{keycode, false};
        if (shifted == keysym) return LayoutKey{keycode, true};
    }
    return std::nullopt;
}

std::optional<uint8_t> modifierKey(const Keymap& map, uint32_t keysym) {
    for (const auto& row : map.modifiers)
        for (uint8_t keycode : row)
            if (keysymAt(map, keycode, 0) == keysym) return keycode;
    return std::nullopt;
}

std::vector<uint8_t> spareKeycodes(const Keymap& map) {
    std::vector<uint8_t> spare;
    for (int code = map.maxKeycode; code > map.minKeycode && code > 8; --code) {
        bool empty = true;
        for (int p = 0; p < map.perKeycode; ++p)
            empty = empty && keysymAt(map, static_cast<uint8_t>(code), p) == kNoSymbol;
        bool modifier = false;
        for (const auto& row : map.modifiers)
            for (uint8_t keycode : row) modifier = modifier || keycode == code;
        if (empty && !modifier) spare.push_back(static_cast<uint8_t>(code));
    }
    return spare;
}

uint32_t keysymOfCharacter(char32_t cp) {
    if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) return cp;
    return 0x01000000 + static_cast<uint32_t>(cp);
}

uint32_t keysymOfKey(uint16_t virtualKey) {
    // Virtual key codes as the core's key table numbers them (kVK_*).
    switch (virtualKey) {
    case 0x24: return 0xFF0D;  // Return
    case 0x30: return 0xFF09;  // Tab
    case 0x35: return 0xFF1B;  // Escape
    case 0x33: return 0xFF08;  // BackSpace
    case 0x75: return 0xFFFF;  // Delete
    case 0x31: return 0x0020;  // space
    case 0x7E: return 0xFF52;  // Up
    case 0x7D: return 0xFF54;  // Down
    case 0x7B: return 0xFF51;  // Left
    case 0x7C: return 0xFF53;  // Right
    case 0x73: return 0xFF50;  // Home
    case 0x77: return 0xFF57;  // End
    case 0x74: return 0xFF55;  // Page_Up (Prior)
    case 0x79: return 0xFF56;  // Page_Down (Next)
    case 0x72: return 0xFF63;  // Insert
    case 0x6E: return 0xFF67;  // Menu
    case 0x3B: return 0xFFE3;  // Control_L
    case 0x38: return 0xFFE1;  // Shift_L
    case 0x3A: return 0xFFE9;  // Alt_L
    case 0x37: return 0xFFEB;  // Super_L
    case 0x7A: return 0xFFBE;  // F1; F2-F24 follow F1 in keysym order
    case 0x78: return 0xFFBF;
    case 0x63: return 0xFFC0;
    case 0x76: return 0xFFC1;
    case 0x60: return 0xFFC2;
    case 0x61: return 0xFFC3;
    case 0x62: return 0xFFC4;
    case 0x64: return 0xFFC5;
    case 0x65: return 0xFFC6;
    case 0x6D: return 0xFFC7;
    case 0x67: return 0xFFC8;
    case 0x6F: return 0xFFC9;
    case 0x69: return 0xFFCA;
    case 0x6B: return 0xFFCB;
    case 0x71: return 0xFFCC;
    case 0x6A: return 0xFFCD;
    case 0x40: return 0xFFCE;
    case 0x4F: return 0xFFCF;
    case 0x50: return 0xFFD0;
    case 0x5A: return 0xFFD1;
    case 0x80: return 0xFFD2;  // F21-F24: past macOS's codes
    case 0x81: return 0xFFD3;
    case 0x82: return 0xFFD4;
    case 0x83: return 0xFFD5;
    default: return kNoSymbol;
    }
}

}  // namespace nuvra::x11
